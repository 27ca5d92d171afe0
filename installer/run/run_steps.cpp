#include "run_steps.h"

#include "ProcessoAtivo.h"
#include "Unit1.h"
#include "application.h"
#include "controls.h"
#include "network_route.h"
#include "run_outcome.h"
#include "text.h"
#include "unzip.h"
#include "url_parts.h"
#include "windows_version.h"
#include "zip_archive.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>

namespace run {

namespace {

constexpr DWORD kSetupCheckInterval = 5000;

std::string transfer_result(const Transfer &transfer) {
  std::string result = transfer.status ? "HTTP " + std::to_string(transfer.status) : "sem resposta";
  result += ", " + std::to_string(transfer.bytes) + " bytes";
  if (transfer.resumed_from > 0)
    result += ", retomado de " + std::to_string(transfer.resumed_from) + " bytes";
  if (!transfer.failure.empty())
    result += ", falhou: " + transfer.failure;
  return result;
}

} // namespace

std::wstring installation_type(const TForm1 &form) {
  return window_text(form.ComboBox1);
}

void advance_total(TForm1 &form) {
  SendMessageW(form.pbTotal, PBM_DELTAPOS, 1, 0);
}

std::string run_header(TForm1 &form) {
  std::string options;
  for (HWND box : {form.checkFirebird, form.checkVnc, form.checkIbo, form.checkCaminhoBd, form.checkBaixarBD,
                   form.checkDll}) {
    options += (options.empty() ? "" : ", ") + text::narrow(window_text(box)) + (ticked(box) ? " S" : " N");
  }
  OSVERSIONINFOW version = windows_version();
  return "início: instalador " + form.versaoVelacorte + ", tipo " + text::narrow(installation_type(form)) +
         ", opções: " + options + "; Windows " + std::to_string(version.dwMajorVersion) + "." +
         std::to_string(version.dwMinorVersion) + "." + std::to_string(version.dwBuildNumber) +
         ", servidor " + kServiceHost + ", rota " +
         describe(network_route_for(service_host_address(kServiceHost)));
}

std::string seconds_since(ULONGLONG start) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f s", static_cast<double>(GetTickCount64() - start) / 1000.0);
  return text;
}

bool download_with_retries(TForm1 &form, const std::string &url, const std::function<bool()> &attempt,
                           const wchar_t *question, UINT icon) {
  for (int failures = 0, rounds = 0, number = 1;; ++number) {
    ULONGLONG start = GetTickCount64();
    bool fetched = attempt();
    form.Log.line("baixar " + url + ": tentativa " + std::to_string(number) + ", " +
                  transfer_result(form.IdHTTP1.LastTransfer()) + ", " + seconds_since(start));
    if (fetched)
      return true;
    if (++failures > 2) {
      if (form.answers.ask(form.Log, question, icon, ++rounds) != IDYES)
        return false;
      failures = 0;
    }
  }
}

Failure given_up(const std::string &url) {
  return {"baixar", url, "abandonado"};
}

void count_not_placed(TForm1 &form, RunOutcome &outcome, const std::string &file, const Failure &failure) {
  form.Log.line("não colocado " + file + ": " + failure.text());
  outcome.not_placed(file, failure.text());
}

void unpack_or_discard(TForm1 &form, const std::string &archive, const std::string &folder) {
  try {
    size_t entries = ZipArchive(archive).entries().size();
    extract_zip(archive, folder);
    form.Log.line("desempacotar " + archive + " em " + folder + ": " + std::to_string(entries) +
                  " entradas, ok");
  } catch (const std::exception &thrown) {
    // The extraction's own text names the archive and what is wrong with it.
    Failure failure{"desempacotar", thrown.what(), ""};
    form.Log.line(failure.text());
    DeleteFileW(text::widen(archive).c_str());
    throw FailureError(failure);
  }
}

void start_program(TForm1 &form, const std::wstring &file, const std::wstring &parameters,
                   const std::wstring &folder, int show) {
  auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", file.c_str(), parameters.c_str(), folder.c_str(), show));
  // ShellExecuteW reports success by a value above 32.
  form.Log.line("executar " + text::narrow(file) + ": parâmetros \"" + text::narrow(parameters) +
                "\", pasta " + text::narrow(folder) + ", " +
                (result > 32 ? "iniciado" : "erro " + std::to_string(result)));
}

void wait_while_running(TForm1 &form, const std::string &nome) {
  ULONGLONG start = GetTickCount64();
  while (ProcessoAtivo(nome))
    application::wait_processing_messages(kSetupCheckInterval);
  form.Log.line("aguardar " + nome + ": terminou após " + seconds_since(start));
}

} // namespace run
