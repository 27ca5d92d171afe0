// The product's entry in Windows' list of installed programs.
#include "uninstall_entry.h"

#include "Exception.h"
#include "install_log.h"
#include "install_record.h"
#include "text.h"

#include <windows.h>

#include <memory>
#include <variant>

namespace {

struct CloseKey {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, CloseKey>;

void write_value(HKEY key, const wchar_t *name, const std::variant<std::wstring, DWORD> &data) {
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

const char kEntryName[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte";

} // namespace

void write_uninstall_entry(const std::string &Versao, InstallLog &Log, InstallRecord &Record) {
  HKEY opened;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                    KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) {
    Log.line("gravar " + std::string(kEntryName) + ": a chave Uninstall não abre");
    return;
  }
  Key parent(opened);

  HKEY created;
  if (RegCreateKeyExW(parent.get(), L"Velacorte", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &created, nullptr) != ERROR_SUCCESS)
    throw Exception("Failed to create key Velacorte");
  RegCloseKey(created);

  HKEY current_key;
  if (RegCreateKeyExW(parent.get(), L"Velacorte", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &current_key, nullptr) != ERROR_SUCCESS)
    throw Exception("Failed to create key Velacorte");
  Key current(current_key);

  write_value(current.get(), L"DisplayIcon", std::wstring(L"C:\\Velacorte\\Velacorte.exe"));
  write_value(current.get(), L"DisplayName", std::wstring(L"Velacorte"));
  write_value(current.get(), L"DisplayVersion", text::widen(Versao));
  write_value(current.get(), L"InstallLocation", std::wstring(L"C:\\Velacorte\\"));
  write_value(current.get(), L"Language", DWORD(0));
  write_value(current.get(), L"NoModify", DWORD(1));
  write_value(current.get(), L"NoRepair", DWORD(1));
  write_value(current.get(), L"Publisher", std::wstring(L"Velacorte"));
  write_value(current.get(), L"UninstallString", std::wstring(L"C:\\Velacorte\\Uninstall.exe"));
  write_value(current.get(), L"VersionMajor", DWORD(0));
  // "VerisonMinor" is the name the product has always written; readers of the entry know it so.
  write_value(current.get(), L"VerisonMinor", DWORD(0));
  Record.uninstall_entry(kEntryName);
  Log.line("gravar " + std::string(kEntryName) + ": 11 valores, DisplayVersion " + Versao + ", ok");
}
