// The sample database, the NF-e files, the setup programs, the configuration and the end of the run.
#include "optional_components.h"

#include "Unit1.h"
#include "folders.h"
#include "run_steps.h"
#include "text.h"

#include <commctrl.h>

namespace run {

namespace {

std::string download_url(const std::string &path) {
  return std::string("http://") + kServiceHost + path;
}

void start_setup(const std::string &program) {
  start_program(text::widen("c:\\install\\" + program), L"", L"c:\\install", SW_SHOWNORMAL);
}

// Copies the fetched package into the setup folder and unpacks it there; failures are passed over, and a
// package that cannot be unpacked is deleted in both places.
void place_firebird_setup(const std::string &program) {
  std::wstring fetched = text::widen("c:\\Velacorte\\tmp\\" + program + ".zip");
  std::wstring copy = text::widen("c:\\Install\\" + program + ".zip");
  if (!CopyFileW(fetched.c_str(), copy.c_str(), FALSE))
    return;
  try {
    unpack_or_discard("c:\\install\\" + program + ".zip", "c:\\install");
  } catch (...) {
    DeleteFileW(fetched.c_str());
    return;
  }
  DeleteFileW(copy.c_str());
}

} // namespace

void sample_database(TForm1 &form) {
  if (installation_type(form) != L"Servidor" || file_exists(L"c:\\velacorte\\dados\\velacorte6.fdb") ||
      !ticked(form.checkBaixarBD))
    return;
  form.status("Baixando Banco de Dados");
  std::string url = download_url("/site/arquivos/instaladores/Velacorte6.zip");
  if (!download_with_retries([&] { return form.baixar_arquivo(url, "Velacorte6", "", "", ""); },
                             L"Erro baixando o banco de dados!", MB_ICONEXCLAMATION))
    return;
  try {
    unpack_or_discard("c:\\Velacorte\\tmp\\Velacorte6.zip", "c:\\velacorte\\tmp");
    if (!file_exists(L"c:\\Velacorte\\dados\\Velacorte6.fdb"))
      CopyFileW(L"c:\\Velacorte\\tmp\\Velacorte6.fdb", L"c:\\Velacorte\\Dados\\Velacorte6.fdb", TRUE);
  } catch (...) {
    // A database that cannot be unpacked is passed over; its archive is fetched afresh next time.
  }
}

void nfe_files(TForm1 &form) {
  if (ticked(form.checkDll))
    return;
  form.status("Baixando Arquivos para NF-e");
  std::string url = download_url("/site/arquivos/instaladores/nfe2/nfe2.zip");
  // Like every other download, the NF-e files can be given up after three failures in a row.
  if (!download_with_retries(
          [&] { return form.baixar_arquivo_destino(url, "nfe2.zip", "c:\\Velacorte\\Nfe2"); },
          L"Falha ao baixar o arquivo, tentar novamente?", MB_ICONQUESTION))
    return;
  advance_total(form);
  std::wstring system = text::widen(form.trata_local("system"));
  form.status("Registrando DLL");
  for (const wchar_t *library : {L"capicom.dll", L"msxml5.dll", L"msxml5r.dll"})
    CopyFileW((std::wstring(L"c:\\Velacorte\\Nfe2\\capicom\\") + library).c_str(),
              (system + L"\\" + library).c_str(), TRUE);
  start_program(L"regsvr32.exe", L"capicom.dll", system, SW_HIDE);
  start_program(L"regsvr32.exe", L"msxml5.dll", system, SW_HIDE);
}

void firebird(TForm1 &form) {
  if (!ticked(form.checkFirebird))
    return;
  wchar_t architecture[16] = {};
  GetWindowTextW(form.lblArquitetura, architecture, 16);
  bool win32 = std::wstring(architecture) == L"32 Bits";
  std::string package = win32 ? "Firebird-2.5.2_Win32" : "Firebird-2.5.2_x64";
  std::string program = package + ".exe";

  form.status("Baixando Firebird");
  std::string url = download_url("/site/arquivos/instaladores/" + package + ".zip");
  if (download_with_retries([&] { return form.baixar_arquivo(url, program, "c:\\install", "", ""); },
                            L"Erro Baixando Firebird, tentar novamente?", MB_ICONEXCLAMATION)) {
    place_firebird_setup(program);
  }
  form.status("Instalando Firebird");
  start_setup(program);
  wait_while_running(program);
}

void ultravnc(TForm1 &form) {
  if (!ticked(form.checkVnc))
    return;
  form.status("Instalando UltraVNC");
  start_setup("UltraVNC_1.0.8.2_Setup.exe");
  wait_while_running("UltraVNC_1.0.8.2_Setup.exe");
}

void ibo_console(TForm1 &form) {
  if (!ticked(form.checkIbo))
    return;
  form.status("Instalando IBOConsole");
  start_setup("IboConsoleSetup.exe");
  wait_while_running("IboConsoleSetup.exe");
}

void configuration(TForm1 &form) {
  if (!ticked(form.checkCaminhoBd))
    return;
  form.status("Configurando");
  form.pathVelacorte();
}

void completion(TForm1 &form) {
  form.criaChaveInstalacao(form.versaoVelacorte);
  // Shown once the run is back in the message loop.
  SetWindowTextW(form.lblStatus, L"Concluído");
  EnableWindow(form.ComboBox1, TRUE);
  SendMessageW(form.pbTotal, PBM_SETPOS, SendMessageW(form.pbTotal, PBM_GETRANGE, FALSE, 0), 0);
}

} // namespace run
