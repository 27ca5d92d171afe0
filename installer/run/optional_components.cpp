// The sample database, the NF-e files, the setup programs, the configuration and the end of the run.
#include "optional_components.h"

#include "Unit1.h"
#include "controls.h"
#include "folders.h"
#include "messages.h"
#include "place_uninstaller.h"
#include "product.h"
#include "run_outcome.h"
#include "run_steps.h"
#include "setup_signature.h"
#include "text.h"
#include "url_parts.h"
#include "windows_error.h"

#include <commctrl.h>

#include <optional>

namespace run {

namespace {

std::string download_url(const std::string &path) {
  return service_host_address(kServiceHost) + path;
}

// What the setup programs of Firebird, UltraVNC and IBO Console, and regsvr32, are given when no person
// is there to click through them: no window or box that would wait unseen, no restart.
constexpr wchar_t kSilentSetupSwitches[] = L"/VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP-";
constexpr wchar_t kSilentRegistrationSwitch[] = L"/s";

const std::string kSetup = product::kSetupFolder;
const std::string kTemporary = product::kTemporaryFolder;

void start_setup(TForm1 &form, const std::string &program) {
  start_program(form, text::widen(kSetup + "\\" + program),
                form.answers.unattended() ? kSilentSetupSwitches : L"", text::widen(kSetup), SW_SHOWNORMAL);
}

// A setup program that the operator put in the setup folder: started and awaited when `box` is ticked.
void run_placed_setup(TForm1 &form, HWND box, const std::string &status, const std::string &program) {
  if (!ticked(box))
    return;
  form.status(status);
  start_setup(form, program);
  wait_while_running(form, program);
}

void register_library(TForm1 &form, const std::wstring &system, const std::wstring &library) {
  std::wstring parameters =
      form.answers.unattended() ? kSilentRegistrationSwitch + (L" " + library) : library;
  start_program(form, L"regsvr32.exe", parameters, system, SW_HIDE);
}

// Checks the signature of `file`, from the download host, before it is started or registered. False when
// its content changed after signing: it is then deleted and counted as not placed under `component`. An
// unsigned file, or a certificate that expired or is not trusted, only goes to the log: old vendor setups are
// often signed with certificates that have since expired.
bool signature_allows(TForm1 &form, RunOutcome &outcome, const std::string &file,
                      const std::string &component) {
  SignatureCheck check = check_signature(text::widen(file));
  Failure what{"assinatura", file, signature_text(check)};
  if (check.verdict == SignatureCheck::Altered) {
    // Nothing may start it later by mistake.
    DeleteFileW(text::widen(file).c_str());
    form.Log.line(what.text() + ", recusado e apagado");
    count_not_placed(form, outcome, component, what);
    return false;
  }
  form.Log.line(what.text() + (check.verdict == SignatureCheck::Doubtful ? ", usado mesmo assim" : ""));
  return true;
}

// Copies the fetched package into the setup folder and unpacks it there. The reason when that fails; a
// package that cannot be unpacked is deleted in both places.
std::optional<Failure> place_firebird_setup(TForm1 &form, const std::string &program) {
  std::string fetched = kTemporary + "\\" + program + ".zip";
  std::string copy = kSetup + "\\" + program + ".zip";
  if (!CopyFileW(text::widen(fetched).c_str(), text::widen(copy).c_str(), FALSE))
    return Failure{"copiar", copy, windows_error_text(GetLastError())};
  try {
    unpack_or_discard(form, copy, kSetup);
  } catch (const FailureError &failure) {
    DeleteFileW(text::widen(fetched).c_str());
    return failure.failure();
  }
  DeleteFileW(text::widen(copy).c_str());
  return std::nullopt;
}

} // namespace

void sample_database(TForm1 &form, RunOutcome &outcome) {
  const std::string database = product::kSampleDatabase;
  if (installation_type(form) != L"Servidor" || file_exists(text::widen(database)) ||
      !ticked(form.checkBaixarBD))
    return;
  form.status(message::kDownloadingDatabase);
  std::string url = download_url("/site/arquivos/instaladores/Velacorte6.zip");
  if (!download_with_retries(
          form, url, [&] { return form.baixar_arquivo(url, "Velacorte6", "", "", ""); },
          message::kRetryDatabase, MB_ICONEXCLAMATION)) {
    count_not_placed(form, outcome, "Velacorte6.fdb", given_up(url));
    return;
  }
  try {
    unpack_or_discard(form, kTemporary + "\\Velacorte6.zip", text::lower_ascii(kTemporary));
  } catch (const FailureError &failure) {
    // Its archive is fetched afresh next time.
    count_not_placed(form, outcome, "Velacorte6.fdb", failure.failure());
    return;
  }
  // An existing database is never replaced.
  if (file_exists(text::widen(database)))
    return;
  if (CopyFileW(text::widen(kTemporary + "\\Velacorte6.fdb").c_str(), text::widen(database).c_str(), TRUE))
    form.Log.line("copiar " + database + ": ok");
  else
    count_not_placed(form, outcome, "Velacorte6.fdb",
                     {"copiar", database, windows_error_text(GetLastError())});
}

void nfe_files(TForm1 &form, RunOutcome &outcome) {
  if (ticked(form.checkDll))
    return;
  form.status(message::kDownloadingNfe);
  std::string url = download_url("/site/arquivos/instaladores/nfe2/nfe2.zip");
  // Like every other download, the NF-e files can be given up after three failures in a row.
  if (!download_with_retries(
          form, url, [&] { return form.baixar_arquivo_destino(url, "nfe2.zip", product::kNfeFolder); },
          message::kRetryDownload, MB_ICONQUESTION)) {
    count_not_placed(form, outcome, "nfe2.zip", given_up(url));
    return;
  }
  advance_total(form);
  std::wstring system = text::widen(form.trata_local("system"));
  form.status(message::kRegisteringLibraries);
  struct Library {
    const wchar_t *name;
    bool registered;
    bool allowed = true;
  } libraries[] = {{L"capicom.dll", true}, {L"msxml5.dll", true}, {L"msxml5r.dll", false}};
  for (Library &library : libraries) {
    std::wstring source = text::widen(std::string(product::kNfeFolder) + "\\capicom\\") + library.name;
    // regsvr32 runs the code of what it registers, with the run's rights: a library changed after signing
    // is neither copied nor registered.
    library.allowed = !library.registered ||
                      signature_allows(form, outcome, text::narrow(source), text::narrow(library.name));
    if (!library.allowed)
      continue;
    // A library already in the system folder is kept: the copy does not replace it.
    std::wstring target = system + L"\\" + library.name;
    bool copied = CopyFileW(source.c_str(), target.c_str(), TRUE);
    std::string result = copied ? "ok" : windows_error_text(GetLastError());
    form.Log.line("copiar " + text::narrow(target) + ": " + result);
  }
  for (const Library &library : libraries)
    if (library.registered && library.allowed)
      register_library(form, system, library.name);
}

void firebird(TForm1 &form, RunOutcome &outcome) {
  if (!ticked(form.checkFirebird))
    return;
  bool win32 = window_text(form.lblArquitetura) == L"32 Bits";
  std::string package = win32 ? "Firebird-2.5.2_Win32" : "Firebird-2.5.2_x64";
  std::string program = package + ".exe";

  form.status(message::kDownloadingFirebird);
  std::string url = download_url("/site/arquivos/instaladores/" + package + ".zip");
  std::optional<Failure> failure;
  if (!download_with_retries(
          form, url, [&] { return form.baixar_arquivo(url, program, kSetup, "", ""); },
          message::kRetryFirebird, MB_ICONEXCLAMATION))
    failure = given_up(url);
  else
    failure = place_firebird_setup(form, program);
  // A setup left in the setup folder by an earlier run is not started in place of this one.
  if (failure) {
    count_not_placed(form, outcome, program, *failure);
    return;
  }
  if (!signature_allows(form, outcome, kSetup + "\\" + program, program))
    return;
  form.status(message::kInstallingFirebird);
  start_setup(form, program);
  wait_while_running(form, program);
}

void ultravnc(TForm1 &form) {
  run_placed_setup(form, form.checkVnc, message::kInstallingUltraVnc, "UltraVNC_1.0.8.2_Setup.exe");
}

void ibo_console(TForm1 &form) {
  run_placed_setup(form, form.checkIbo, message::kInstallingIboConsole, "IboConsoleSetup.exe");
}

void configuration(TForm1 &form) {
  if (!ticked(form.checkCaminhoBd))
    return;
  form.status(message::kConfiguring);
  form.pathVelacorte();
}

void completion(TForm1 &form, const RunOutcome &outcome) {
  place_uninstaller(form);
  form.criaChaveInstalacao(form.versaoVelacorte);
  form.Record.save(form.Log);
  bool failures = outcome.ending() == RunEnding::CompletedWithFailures;
  const wchar_t *status = failures ? message::kCompletedWithFailures : message::kCompleted;
  // Shown once the run is back in the message loop, or behind the summary box.
  SetWindowTextW(form.lblStatus, status);
  EnableWindow(form.ComboBox1, TRUE);
  SendMessageW(form.pbTotal, PBM_SETPOS, SendMessageW(form.pbTotal, PBM_GETRANGE, FALSE, 0), 0);
  form.Log.line("fim: " + text::narrow(status) + ", " + std::to_string(outcome.placed_count()) +
                " arquivos colocados, " + std::to_string(outcome.failures().size()) + " não colocados");
  record_ending(outcome.ending());
  if (failures)
    form.answers.tell(form.Log, text::widen(outcome.summary(text::narrow(form.Log.path()))), MB_ICONWARNING);
}

} // namespace run
