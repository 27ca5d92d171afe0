#pragma once

// What the stand-ins of the setup programs, gsec.exe and regsvr32.exe recorded in
// "C:\velacorte-testes\programas.log".

#include <string>
#include <vector>

struct ProgramEvent {
  bool start = false; // a start; otherwise the program's end
  std::wstring name;
  std::wstring command_line;
  std::wstring folder;
  int show = -1;
  std::wstring program; // the program file it was started from
};

inline constexpr wchar_t kProgramLog[] = L"C:\\velacorte-testes\\programas.log";

std::vector<ProgramEvent> read_program_log();
// Index of the first event of `name` (start or end) at or after `from`; -1 when there is none.
int find_event(const std::vector<ProgramEvent> &events, const std::wstring &name, bool start, int from = 0);
