// The product settings and, on a server, the product's database user.
#include "Unit1.h"

#include "pathFirebird.h"
#include "product_settings.h"
#include "run_steps.h"
#include "text.h"

void TForm1::pathVelacorte() {
  std::string firebird = pathFirebird();
  std::wstring type = run::installation_type(*this);
  if (type == L"Servidor") {
    // The database user's password stays out of the log.
    Log.hide("-pw kelp");
    run::start_program(*this, L"gsec.exe", L"-a velacorte -pw kelp", text::widen(firebird + "\\bin"),
                       SW_SHOWNORMAL);
    write_product_settings(true);
    Log.line("gravar HKEY_CURRENT_USER\\VELACORTE: 9 valores do servidor, ok");
  } else if (type == L"Estação") {
    // A workstation's settings are a convenience: the run goes on without them.
    try {
      write_product_settings(false);
      Log.line("gravar HKEY_CURRENT_USER\\VELACORTE: 9 valores da estação, ok");
    } catch (const std::exception &failure) {
      Log.line(std::string("gravar HKEY_CURRENT_USER\\VELACORTE: ") + failure.what());
    }
  }
}
