// The product settings and, on a server, the product's database user.
#include "Unit1.h"

#include "pathFirebird.h"
#include "product.h"
#include "product_settings.h"
#include "run_steps.h"
#include "text.h"

void TForm1::pathVelacorte() {
  std::string firebird = pathFirebird();
  std::wstring type = run::installation_type(*this);
  const std::string what = std::string("gravar ") + product::kSettingsKeyName + ": ";
  if (type == L"Servidor") {
    // The database user's password stays out of the log.
    Log.hide("-pw kelp");
    run::start_program(*this, L"gsec.exe", L"-a velacorte -pw kelp", text::widen(firebird + "\\bin"),
                       SW_SHOWNORMAL);
    size_t written = write_product_settings(true);
    Log.line(what + std::to_string(written) + " valores do servidor, ok");
  } else if (type == L"Estação") {
    // A workstation's settings are a convenience: the run goes on without them.
    try {
      size_t written = write_product_settings(false);
      Log.line(what + std::to_string(written) + " valores da estação, ok");
    } catch (const std::exception &failure) {
      Log.line(what + failure.what());
    }
  }
}
