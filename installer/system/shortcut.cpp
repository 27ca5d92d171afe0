// Desktop shortcuts to placed files, through the shell's link object.
#include "shortcut.h"

#include "Exception.h"
#include "folders.h"
#include "install_record.h"
#include "text.h"
#include "windows_error.h"
#include "windows_owners.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

namespace {

std::wstring with_separator(std::wstring folder) {
  if (folder.empty() || folder.back() != L'\\')
    folder += L'\\';
  return folder;
}

void remove_file(const std::wstring &path) {
  for (int attempt = 0; attempt < 11; ++attempt)
    if (file_exists(path))
      DeleteFileW(path.c_str());
}

} // namespace

bool make_desktop_shortcut(const std::string &path_file_name, const std::string &name,
                           InstallRecord &Record) {
  Releasing<IUnknown> object;
  HRESULT created = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                     IID_IUnknown, object.out_void());
  if (FAILED(created))
    throw Exception(windows_error_text(static_cast<DWORD>(created)));
  Releasing<IShellLinkW> link;
  Releasing<IPersistFile> file;
  if (FAILED(object->QueryInterface(IID_IShellLinkW, link.out_void())) ||
      FAILED(object->QueryInterface(IID_IPersistFile, file.out_void())))
    throw Exception("Interface not supported");

  std::wstring target = text::widen(path_file_name);
  link->SetPath(target.c_str());
  size_t cut = target.find_last_of(L"\\:");
  std::wstring working =
      with_separator(cut == std::wstring::npos ? std::wstring() : target.substr(0, cut + 1));
  link->SetWorkingDirectory(working.c_str());

  std::wstring link_name = text::widen(text::trim_controls(name)) + L".lnk";
  // A desktop that cannot be found gives no link path: nothing is saved or removed at the drive's root.
  std::wstring user_desktop = shell_folder(CSIDL_DESKTOP);
  std::wstring common_desktop = shell_folder(CSIDL_COMMON_DESKTOPDIRECTORY);
  if (user_desktop.empty())
    return false;
  std::wstring user_link = with_separator(user_desktop) + link_name;
  remove_file(user_link);
  if (!common_desktop.empty())
    remove_file(with_separator(common_desktop) + link_name);
  if (file_exists(user_link))
    return false;
  if (file->Save(user_link.c_str(), FALSE) != S_OK)
    return false;
  Record.shortcut(text::narrow(user_link));
  return true;
}
