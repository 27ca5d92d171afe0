#pragma once

// Small pieces that the steps of the installation run share. Each reports what it did to the form's
// install log.

#include "failure.h"

#include <windows.h>

#include <functional>
#include <string>

class TForm1;
class RunOutcome;

namespace run {

// The query service and download host, fixed when the program is built.
inline constexpr char kServiceHost[] = VELACORTE_SERVICE_HOST;

// The installation type as the type box holds it now.
std::wstring installation_type(const TForm1 &form);
void advance_total(TForm1 &form);

// The first line of a run's log: installer version, type, options, Windows version, service host and
// the route to it.
std::string run_header(TForm1 &form);

// Seconds since `start`, a GetTickCount64 value, for the log ("0.25 s").
std::string seconds_since(ULONGLONG start);

// One download loop of `url`: attempts follow each other until one succeeds; after every third failure
// in a row the form's answers are asked `question` (Yes, No, Cancel), and only Yes allows three more.
// False when the download was given up.
bool download_with_retries(TForm1 &form, const std::string &url, const std::function<bool()> &attempt,
                           const wchar_t *question, UINT icon);
// The failure recorded for a file whose download was given up.
Failure given_up(const std::string &url);
// A file (or component package) that the run could not place: to the log and to the outcome.
void count_not_placed(TForm1 &form, RunOutcome &outcome, const std::string &file, const Failure &failure);

// Unpacks `archive` into `folder`. An archive that cannot be unpacked is deleted, so that the next run
// fetches it afresh instead of finding it in place; the failure is thrown as a FailureError.
void unpack_or_discard(TForm1 &form, const std::string &archive, const std::string &folder);

// Starts a program through the shell, without an owner window; the outcome goes to the log only.
void start_program(TForm1 &form, const std::wstring &file, const std::wstring &parameters,
                   const std::wstring &folder, int show);
// Returns once no process of program name `nome` runs, checking every 5000 ms; the window keeps
// answering meanwhile.
void wait_while_running(TForm1 &form, const std::string &nome);

} // namespace run
