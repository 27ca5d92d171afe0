// Target folders of the product files and the product's fixed folder tree.
#include "folders.h"

#include "install_record.h"
#include "product.h"
#include "text.h"
#include "windows_owners.h"
#include "windows_version.h"

#include <windows.h>

#include <shlobj.h>

bool folder_exists(const std::wstring &path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool file_exists(const std::wstring &path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool create_folder(const std::wstring &path, std::vector<std::wstring> *created) {
  if (path.empty())
    return false;
  auto make = [created](const std::wstring &folder) {
    if (CreateDirectoryW(folder.c_str(), nullptr) && created)
      created->push_back(folder);
  };
  // Every prefix that ends before a separator is a parent; "C:" and "" (the root) are skipped.
  for (size_t cut = path.find_first_of(L"\\/", 1); cut != std::wstring::npos;
       cut = path.find_first_of(L"\\/", cut + 1)) {
    std::wstring parent = path.substr(0, cut);
    if (parent.back() != L':')
      make(parent);
  }
  make(path);
  return folder_exists(path);
}

std::wstring shell_folder(int csidl) {
  PIDLIST_ABSOLUTE items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)))
    return {};
  wchar_t path[MAX_PATH] = {};
  BOOL found = SHGetPathFromIDListW(items, path);
  CoTaskMemFree(items);
  return found ? std::wstring(path) : std::wstring();
}

namespace {

std::wstring folder_path(HWND owner, int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(owner, csidl, nullptr, 0, path)))
    return {};
  return path;
}

// Program Files as 32-bit programs see it, whatever the process's own registry view.
std::wstring program_files_folder() {
  win::Key key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.out()) != ERROR_SUCCESS)
    return {};
  wchar_t value[MAX_PATH + 1] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  LONG result =
      RegQueryValueExW(key.get(), L"ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  return std::wstring(value, wcsnlen(value, size / sizeof(wchar_t)));
}

} // namespace

std::string target_folder(const std::string &local, HWND owner) {
  int major = static_cast<int>(windows_version().dwMajorVersion);
  std::string folder = local;
  if (folder == "system")
    folder = text::narrow(folder_path(owner, major > 5 ? CSIDL_SYSTEMX86 : CSIDL_SYSTEM));
  if (folder.find("pfiles") != std::string::npos)
    folder = text::replace_all(folder, "pfiles", text::narrow(program_files_folder()));
  if (folder == "desktop")
    folder = text::narrow(shell_folder(CSIDL_DESKTOP));
  return folder;
}

void create_folder_tree(InstallRecord &record) {
  for (const char *folder : product::kFolderTree)
    record.create_folder(text::widen(folder));
}
