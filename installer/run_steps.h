#pragma once

// Small pieces that the steps of the installation run share.

#include <windows.h>

#include <functional>
#include <string>

class TForm1;

namespace run {

// The query service and download host, fixed when the program is built.
inline constexpr char kServiceHost[] = VELACORTE_SERVICE_HOST;

bool ticked(HWND box);
// The installation type as the type box holds it now.
std::wstring installation_type(const TForm1 &form);
void advance_total(TForm1 &form);

// One download loop: attempts follow each other until one succeeds; after every third failure in a row
// the operator is asked `question` (Yes, No, Cancel), and only Yes allows three more. False when the
// download was given up.
bool download_with_retries(const std::function<bool()> &attempt, const wchar_t *question, UINT icon);

// Unpacks `archive` into `folder`. An archive that cannot be unpacked is deleted, so that the next run
// fetches it afresh instead of finding it in place; the failure is passed on.
void unpack_or_discard(const std::string &archive, const std::string &folder);

// Starts a program through the shell, without an owner window; its outcome is not looked at.
void start_program(const std::wstring &file, const std::wstring &parameters, const std::wstring &folder,
                   int show);
// Returns once no process of program name `nome` runs, checking every 5000 ms.
void wait_while_running(const std::string &nome);

} // namespace run
