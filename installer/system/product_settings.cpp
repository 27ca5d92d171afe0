#include "product_settings.h"

#include "Exception.h"
#include "product.h"
#include "text.h"
#include "windows_owners.h"

#include <windows.h>

#include <string>
#include <variant>
#include <vector>

namespace {

struct Setting {
  const char *name;
  std::variant<std::string, DWORD> data;
};

std::vector<Setting> settings_for(bool server) {
  const std::string host = kServerHostName;
  const std::string share = "\\\\" + host + "\\C";
  auto local_or_remote = [&](const std::string &local, const std::string &remote) {
    return server ? local : remote;
  };
  return {
      {"Database", local_or_remote("c:\\velacorte\\dados\\velacorte6.fdb",
                                   host + ":c:\\velacorte\\dados\\velacorte6.fdb")},
      {"Database_Bulas",
       local_or_remote("c:\\velacorte\\dados\\bulas.gdb", host + ":c:\\velacorte\\dados\\bulas.gdb")},
      {"Path_Fotos_Clientes", local_or_remote("C:\\Velacorte\\Dados\\Fotos\\Clientes",
                                              share + "\\Velacorte\\Dados\\Fotos\\Clientes")},
      {"Path_Fotos_Dependentes", local_or_remote("C:\\Velacorte\\Dados\\Fotos\\Dependentes",
                                                 share + "\\Velacorte\\Dados\\Fotos\\Dependentes")},
      {"Path_Fotos_Vendedores", local_or_remote("C:\\Velacorte\\Dados\\Fotos\\Vendedores",
                                                share + "\\Velacorte\\Dados\\Fotos\\Vendedores")},
      {"Pasta_VidaLink", std::string("C:\\PDV01")},
      {"Colunas", DWORD{60}},
      {"Impressora", DWORD{5}},
      {"Salto_Picote", DWORD{15}},
  };
}

[[noreturn]] void fail(const char *name) {
  throw Exception(std::string("Failed to set data for '") + name + "'");
}

} // namespace

size_t write_product_settings(bool server) {
  const std::vector<Setting> settings = settings_for(server);
  win::Key key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, text::widen(product::kSettingsKey).c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, key.out(), nullptr) != ERROR_SUCCESS)
    fail(settings.front().name);

  for (const Setting &setting : settings) {
    std::wstring name = text::widen(setting.name);
    LONG status;
    if (const auto *number = std::get_if<DWORD>(&setting.data)) {
      status = RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(number),
                              sizeof(DWORD));
    } else {
      std::wstring value = text::widen(std::get<std::string>(setting.data));
      status =
          RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    if (status != ERROR_SUCCESS)
      fail(setting.name);
  }
  return settings.size();
}
