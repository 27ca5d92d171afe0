// The sample database, the NF-e files, the setup programs, the configuration and the end of the run.
#include "optional_components.h"

#include "Unit1.h"
#include "folders.h"
#include "place_uninstaller.h"
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

void start_setup(TForm1 &form, const std::string &program) {
  start_program(form, text::widen("c:\\install\\" + program),
                form.answers.unattended() ? kSilentSetupSwitches : L"", L"c:\\install", SW_SHOWNORMAL);
}

void register_library(TForm1 &form, const std::wstring &system, const std::wstring &library) {
  std::wstring parameters =
      form.answers.unattended() ? kSilentRegistrationSwitch + (L" " + library) : library;
  start_program(form, L"regsvr32.exe", parameters, system, SW_HIDE);
}

void count_not_placed(TForm1 &form, RunOutcome &outcome, const std::string &file, const std::string &reason) {
  form.Log.line("não colocado " + file + ": " + reason);
  outcome.not_placed(file, reason);
}

// Checks the signature of `file`, from the download host, before it is started or registered. False when
// its content changed after signing: it is then deleted and counted as not placed under `component`. An
// unsigned file, or a certificate that expired or is not trusted, only goes to the log: old vendor setups are
// often signed with certificates that have since expired.
bool signature_allows(TForm1 &form, RunOutcome &outcome, const std::string &file,
                      const std::string &component) {
  SignatureCheck check = check_signature(text::widen(file));
  std::string what = "assinatura " + file + ": " + signature_text(check);
  if (check.verdict == SignatureCheck::Altered) {
    // Nothing may start it later by mistake.
    DeleteFileW(text::widen(file).c_str());
    form.Log.line(what + ", recusado e apagado");
    count_not_placed(form, outcome, component, what);
    return false;
  }
  form.Log.line(what + (check.verdict == SignatureCheck::Doubtful ? ", usado mesmo assim" : ""));
  return true;
}

// Copies the fetched package into the setup folder and unpacks it there. The reason when that fails; a
// package that cannot be unpacked is deleted in both places.
std::optional<std::string> place_firebird_setup(TForm1 &form, const std::string &program) {
  std::string fetched = "c:\\Velacorte\\tmp\\" + program + ".zip";
  std::string copy = "c:\\Install\\" + program + ".zip";
  if (!CopyFileW(text::widen(fetched).c_str(), text::widen(copy).c_str(), FALSE))
    return "copiar " + copy + ": " + windows_error_text(GetLastError());
  try {
    unpack_or_discard(form, "c:\\install\\" + program + ".zip", "c:\\install");
  } catch (const std::exception &failure) {
    DeleteFileW(text::widen(fetched).c_str());
    return std::string("desempacotar ") + failure.what();
  }
  DeleteFileW(text::widen(copy).c_str());
  return std::nullopt;
}

} // namespace

void sample_database(TForm1 &form, RunOutcome &outcome) {
  if (installation_type(form) != L"Servidor" || file_exists(L"c:\\velacorte\\dados\\velacorte6.fdb") ||
      !ticked(form.checkBaixarBD))
    return;
  form.status("Baixando Banco de Dados");
  std::string url = download_url("/site/arquivos/instaladores/Velacorte6.zip");
  if (!download_with_retries(
          form, url, [&] { return form.baixar_arquivo(url, "Velacorte6", "", "", ""); },
          L"Erro baixando o banco de dados!", MB_ICONEXCLAMATION)) {
    count_not_placed(form, outcome, "Velacorte6.fdb", given_up(url));
    return;
  }
  try {
    unpack_or_discard(form, "c:\\Velacorte\\tmp\\Velacorte6.zip", "c:\\velacorte\\tmp");
  } catch (const std::exception &failure) {
    // Its archive is fetched afresh next time.
    count_not_placed(form, outcome, "Velacorte6.fdb", std::string("desempacotar ") + failure.what());
    return;
  }
  // An existing database is never replaced.
  if (file_exists(L"c:\\Velacorte\\dados\\Velacorte6.fdb"))
    return;
  if (CopyFileW(L"c:\\Velacorte\\tmp\\Velacorte6.fdb", L"c:\\Velacorte\\Dados\\Velacorte6.fdb", TRUE))
    form.Log.line("copiar c:\\Velacorte\\Dados\\Velacorte6.fdb: ok");
  else
    count_not_placed(form, outcome, "Velacorte6.fdb",
                     "copiar c:\\Velacorte\\Dados\\Velacorte6.fdb: " + windows_error_text(GetLastError()));
}

void nfe_files(TForm1 &form, RunOutcome &outcome) {
  if (ticked(form.checkDll))
    return;
  form.status("Baixando Arquivos para NF-e");
  std::string url = download_url("/site/arquivos/instaladores/nfe2/nfe2.zip");
  // Like every other download, the NF-e files can be given up after three failures in a row.
  if (!download_with_retries(
          form, url, [&] { return form.baixar_arquivo_destino(url, "nfe2.zip", "c:\\Velacorte\\Nfe2"); },
          L"Falha ao baixar o arquivo, tentar novamente?", MB_ICONQUESTION)) {
    count_not_placed(form, outcome, "nfe2.zip", given_up(url));
    return;
  }
  advance_total(form);
  std::wstring system = text::widen(form.trata_local("system"));
  form.status("Registrando DLL");
  struct Library {
    const wchar_t *name;
    bool registered;
    bool allowed = true;
  } libraries[] = {{L"capicom.dll", true}, {L"msxml5.dll", true}, {L"msxml5r.dll", false}};
  for (Library &library : libraries) {
    std::wstring source = std::wstring(L"c:\\Velacorte\\Nfe2\\capicom\\") + library.name;
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
  wchar_t architecture[16] = {};
  GetWindowTextW(form.lblArquitetura, architecture, 16);
  bool win32 = std::wstring(architecture) == L"32 Bits";
  std::string package = win32 ? "Firebird-2.5.2_Win32" : "Firebird-2.5.2_x64";
  std::string program = package + ".exe";

  form.status("Baixando Firebird");
  std::string url = download_url("/site/arquivos/instaladores/" + package + ".zip");
  std::optional<std::string> failure;
  if (!download_with_retries(
          form, url, [&] { return form.baixar_arquivo(url, program, "c:\\install", "", ""); },
          L"Erro Baixando Firebird, tentar novamente?", MB_ICONEXCLAMATION))
    failure = given_up(url);
  else
    failure = place_firebird_setup(form, program);
  // A setup left in the setup folder by an earlier run is not started in place of this one.
  if (failure) {
    count_not_placed(form, outcome, program, *failure);
    return;
  }
  if (!signature_allows(form, outcome, "c:\\install\\" + program, program))
    return;
  form.status("Instalando Firebird");
  start_setup(form, program);
  wait_while_running(form, program);
}

void ultravnc(TForm1 &form) {
  if (!ticked(form.checkVnc))
    return;
  form.status("Instalando UltraVNC");
  start_setup(form, "UltraVNC_1.0.8.2_Setup.exe");
  wait_while_running(form, "UltraVNC_1.0.8.2_Setup.exe");
}

void ibo_console(TForm1 &form) {
  if (!ticked(form.checkIbo))
    return;
  form.status("Instalando IBOConsole");
  start_setup(form, "IboConsoleSetup.exe");
  wait_while_running(form, "IboConsoleSetup.exe");
}

void configuration(TForm1 &form) {
  if (!ticked(form.checkCaminhoBd))
    return;
  form.status("Configurando");
  form.pathVelacorte();
}

void completion(TForm1 &form, const RunOutcome &outcome) {
  place_uninstaller(form);
  form.criaChaveInstalacao(form.versaoVelacorte);
  form.Record.save(form.Log);
  bool failures = outcome.ending() == RunEnding::CompletedWithFailures;
  const wchar_t *status = failures ? L"Concluído com falhas" : L"Concluído";
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
