#include "pathFirebird.h"

#include "Exception.h"
#include "SeparaTexto.h"
#include "text.h"
#include "windows_owners.h"

#include <windows.h>

#include <algorithm>

std::string firebird_folder_from_image_path(const std::string &image_path) {
  TextList pieces;
  SeparaTexto(image_path, U'\\', pieces, true);
  if (pieces.Count() < 3)
    return "";
  std::string folder;
  for (size_t i = 0; i + 2 < pieces.Count(); ++i) {
    // An empty piece (from a leading "\\") is dropped until something has been gathered.
    if (folder.empty())
      folder = pieces[i];
    else
      folder += "\\" + pieces[i];
  }
  std::erase(folder, '"');
  return folder;
}

std::string pathFirebird() {
  win::Key key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\FirebirdServerDefaultInstance",
                    0, KEY_ALL_ACCESS, key.out()) != ERROR_SUCCESS)
    return "";

  DWORD type = 0, size = 0;
  std::wstring value;
  LONG status = RegQueryValueExW(key.get(), L"ImagePath", nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ)
    throw Exception("Invalid data type for 'ImagePath'");
  if (status == ERROR_SUCCESS && size > 0) {
    value.resize(size / sizeof(wchar_t) + 1);
    status = RegQueryValueExW(key.get(), L"ImagePath", nullptr, &type, reinterpret_cast<BYTE *>(value.data()),
                              &size);
    value.resize(status == ERROR_SUCCESS ? wcsnlen(value.c_str(), size / sizeof(wchar_t)) : 0);
  }
  return firebird_folder_from_image_path(text::narrow(value));
}
