// The product's entry in Windows' list of installed programs.
#include "uninstall_entry.h"

#include "Exception.h"
#include "install_log.h"
#include "install_record.h"
#include "product.h"
#include "text.h"
#include "windows_owners.h"

#include <windows.h>

#include <variant>
#include <vector>

namespace {

using Data = std::variant<std::wstring, DWORD>;

void write_value(HKEY key, const wchar_t *name, const Data &data) {
  LONG result;
  if (const std::wstring *text = std::get_if<std::wstring>(&data))
    result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text->c_str()),
                            static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t)));
  else
    result = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&std::get<DWORD>(data)),
                            sizeof(DWORD));
  if (result != ERROR_SUCCESS)
    throw Exception("Failed to set data for '" + text::narrow(name) + "'");
}

struct Value {
  const wchar_t *name;
  Data data;
};

// Its paths spell the product folder "C:\Velacorte", as readers of the entry have always seen them.
std::vector<Value> entry_values(const std::string &version) {
  const std::wstring folder = text::widen(product::kFolder);
  return {
      {L"DisplayIcon", folder + L"\\Velacorte.exe"},
      {L"DisplayName", std::wstring(L"Velacorte")},
      {L"DisplayVersion", text::widen(version)},
      {L"InstallLocation", folder + L"\\"},
      {L"Language", DWORD(0)},
      {L"NoModify", DWORD(1)},
      {L"NoRepair", DWORD(1)},
      {L"Publisher", std::wstring(L"Velacorte")},
      {L"UninstallString", folder + L"\\Uninstall.exe"},
      {L"VersionMajor", DWORD(0)},
      // "VerisonMinor" is the name the product has always written; readers of the entry know it so.
      {L"VerisonMinor", DWORD(0)},
  };
}

} // namespace

void write_uninstall_entry(const std::string &Versao, InstallLog &Log, InstallRecord &Record) {
  const std::string key_name = product::kUninstallEntryName;
  std::wstring key_path = text::widen(product::kUninstallKey);
  std::wstring list = key_path.substr(0, key_path.rfind(L'\\'));
  std::wstring entry = key_path.substr(list.size() + 1);
  win::Key parent;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, list.c_str(), 0, KEY_ALL_ACCESS, parent.out()) != ERROR_SUCCESS) {
    Log.line("gravar " + key_name + ": a chave Uninstall não abre");
    return;
  }
  // The entry is created, closed, and created once more to be written, as the product always did.
  win::Key created;
  if (RegCreateKeyExW(parent.get(), entry.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, created.out(), nullptr) != ERROR_SUCCESS)
    throw Exception("Failed to create key " + text::narrow(entry));
  created.reset();
  win::Key current;
  if (RegCreateKeyExW(parent.get(), entry.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, current.out(), nullptr) != ERROR_SUCCESS)
    throw Exception("Failed to create key " + text::narrow(entry));
  std::vector<Value> values = entry_values(Versao);
  for (const Value &value : values)
    write_value(current.get(), value.name, value.data);
  Record.uninstall_entry(key_name);
  Log.line("gravar " + key_name + ": " + std::to_string(values.size()) + " valores, DisplayVersion " +
           Versao + ", ok");
}
