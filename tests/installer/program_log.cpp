#include "program_log.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::vector<std::wstring> fields_of(const std::wstring &line) {
  std::vector<std::wstring> fields;
  std::wstringstream in(line);
  for (std::wstring field; std::getline(in, field, L'\t');)
    fields.push_back(field);
  return fields;
}

} // namespace

std::vector<ProgramEvent> read_program_log() {
  std::ifstream file(kProgramLog, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::wstring text(bytes.size() / 2, L'\0');
  bytes.copy(reinterpret_cast<char *>(text.data()), text.size() * 2);

  std::vector<ProgramEvent> events;
  for (size_t at = 0, end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2) {
    std::vector<std::wstring> fields = fields_of(text.substr(at, end - at));
    ProgramEvent event;
    event.start = !fields.empty() && fields[0] == L"inicio";
    if (fields.size() > 1)
      event.name = fields[1];
    if (event.start && fields.size() == 6) {
      event.command_line = fields[2];
      event.folder = fields[3];
      event.show = std::stoi(fields[4]);
      event.program = fields[5];
    }
    events.push_back(event);
  }
  return events;
}

int find_event(const std::vector<ProgramEvent> &events, const std::wstring &name, bool start, int from) {
  for (int i = from; i < static_cast<int>(events.size()); ++i)
    if (events[i].start == start && _wcsicmp(events[i].name.c_str(), name.c_str()) == 0)
      return i;
  return -1;
}
