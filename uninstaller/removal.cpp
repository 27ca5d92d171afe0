#include "removal.h"

#include "case_fold.h"
#include "file_digest.h"
#include "install_log.h"
#include "install_manifest.h"
#include "removal_rules.h"
#include "running_program.h"
#include "text.h"
#include "windows_error.h"
#include "windows_owners.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <set>

namespace uninstall {

namespace {

const char *const kEntryName = product::kUninstallEntryName;

std::string own_path() {
  wchar_t path[MAX_PATH * 2] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  return text::narrow(std::wstring_view(path, length));
}

bool same_path(const std::string &a, const std::string &b) {
  return text::fold_case(a) == text::fold_case(b);
}

std::string desktop(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path)))
    return {};
  return text::narrow(path);
}

// Where an open file's name leads, in the drive form "C:\..."; "\\?\UNC\..." stays as it is.
std::string final_path(HANDLE file) {
  wchar_t path[MAX_PATH * 2] = {};
  DWORD length = GetFinalPathNameByHandleW(file, path, MAX_PATH * 2, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= MAX_PATH * 2)
    return {};
  std::wstring found(path, length);
  if (found.rfind(L"\\\\?\\", 0) == 0 && found.rfind(L"\\\\?\\UNC\\", 0) != 0)
    found.erase(0, 4);
  return text::narrow(found);
}

class Removal {
public:
  explicit Removal(InstallLog &log) : log_(log) {}

  Outcome run();

private:
  void placed_file(const manifest::Entry &entry);
  void shortcuts(const std::vector<manifest::Entry> &entries);
  void uninstall_entry();
  void folders(const std::vector<manifest::Entry> &entries);
  void itself();
  void keep(const std::string &object, const std::string &reason) {
    log_.line("manter " + object + ": " + reason);
    outcome_.kept.push_back({object, reason});
  }

  InstallLog &log_;
  Outcome outcome_;
  const std::string self_ = own_path();
};

void Removal::placed_file(const manifest::Entry &entry) {
  if (same_path(entry.path, self_))
    return;
  Verdict by_name = path_verdict(entry.path);
  if (by_name != Verdict::Remove) {
    keep(entry.path, reason(by_name));
    return;
  }
  // One handle for the checks and the removal, so that the file judged is the file removed.
  win::File file(CreateFileW(text::widen(entry.path).c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      log_.line("remover " + entry.path + ": " + reason(Verdict::Missing));
    else
      keep(entry.path, "abrir: " + windows_error_text(error));
    return;
  }
  Verdict verdict = file_verdict(entry, final_path(file.get()), file_digest_of(file.get()));
  if (verdict != Verdict::Remove) {
    keep(entry.path, reason(verdict));
    return;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  bool removed =
      SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
  DWORD error = GetLastError();
  file.reset();
  if (removed)
    log_.line("remover " + entry.path + ": ok");
  else
    keep(entry.path, "remover: " + windows_error_text(error));
}

std::string link_target(const std::string &link) {
  Releasing<IShellLinkW> shell_link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              shell_link.out_void())))
    return {};
  Releasing<IPersistFile> file;
  wchar_t path[MAX_PATH] = {};
  if (FAILED(shell_link->QueryInterface(IID_IPersistFile, file.out_void())) ||
      FAILED(file->Load(text::widen(link).c_str(), STGM_READ)) ||
      shell_link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK)
    return {};
  return text::narrow(path);
}

void Removal::shortcuts(const std::vector<manifest::Entry> &entries) {
  std::vector<std::string> desktops = {desktop(CSIDL_DESKTOPDIRECTORY),
                                       desktop(CSIDL_COMMON_DESKTOPDIRECTORY)};
  std::vector<std::string> links;
  for (const manifest::Entry &entry : entries)
    if (entry.kind == manifest::Kind::Shortcut)
      links.push_back(entry.path);
  // Without a manifest the product's shortcuts are still known by what they open.
  for (const std::string &folder : desktops) {
    if (folder.empty())
      continue;
    WIN32_FIND_DATAW found;
    win::Find search(FindFirstFileW(text::widen(folder + "\\*.lnk").c_str(), &found));
    if (!search)
      continue;
    do
      links.push_back(folder + "\\" + text::narrow(found.cFileName));
    while (FindNextFileW(search.get(), &found));
  }
  std::set<std::string> seen;
  for (const std::string &link : links) {
    if (!seen.insert(text::fold_case(link)).second)
      continue;
    std::string target = link_target(link);
    if (target.empty() || !is_product_shortcut(link, target, desktops))
      continue;
    if (DeleteFileW(text::widen(link).c_str()))
      log_.line("remover atalho " + link + ": ok");
    else
      keep(link, "remover: " + windows_error_text(GetLastError()));
  }
}

void Removal::uninstall_entry() {
  LONG result = RegDeleteKeyW(HKEY_LOCAL_MACHINE, text::widen(product::kUninstallKey).c_str());
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
    log_.line(std::string("remover ") + kEntryName + ": " +
              (result == ERROR_SUCCESS ? "ok" : "já não existia"));
  else
    keep(kEntryName, "remover: " + windows_error_text(static_cast<DWORD>(result)));
}

void Removal::folders(const std::vector<manifest::Entry> &entries) {
  // A folder that still holds something stays: RemoveDirectory takes only empty ones.
  for (const std::string &folder : folders_to_try(entries))
    if (RemoveDirectoryW(text::widen(folder).c_str()))
      log_.line("remover pasta " + folder + ": ok");
}

void Removal::itself() {
  if (path_verdict(self_) != Verdict::Remove)
    return;
  std::wstring self = text::widen(self_);
  if (DeleteFileW(self.c_str())) {
    log_.line("remover " + self_ + ": ok");
  } else if (MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    log_.line("remover " + self_ + ": na próxima reinicialização");
  } else {
    keep(self_, "remover: " + windows_error_text(GetLastError()));
  }
}

Outcome Removal::run() {
  manifest::FileReading reading = manifest::read_file(kManifestPath);
  const std::vector<manifest::Entry> &entries = reading.contents.entries;
  log_.line(std::string("desinstalar: ") + self_ + ", " + kManifestPath +
            (reading.found ? " com " + std::to_string(entries.size()) + " objetos" : " ausente"));
  for (const manifest::SkippedLine &skipped : reading.contents.skipped)
    keep(std::string(kManifestPath) + " linha " + std::to_string(skipped.number),
         "não lida, " + skipped.reason);

  std::vector<std::string> programs = {product::kProgram};
  for (const manifest::Entry &entry : entries) {
    std::string name = text::fold_case(entry.path);
    if (entry.kind == manifest::Kind::File && path_verdict(entry.path) == Verdict::Remove &&
        name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0 && !same_path(entry.path, self_))
      programs.push_back(entry.path);
  }
  if (std::optional<std::string> running = running_program(programs)) {
    log_.line("desinstalar: recusado, " + *running + " em execução");
    outcome_.running = *running;
    return outcome_;
  }

  for (const manifest::Entry &entry : entries)
    if (entry.kind == manifest::Kind::File)
      placed_file(entry);
  shortcuts(entries);
  uninstall_entry();
  if (!DeleteFileW(text::widen(kManifestPath).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    log_.line(std::string("remover ") + kManifestPath + ": " + windows_error_text(GetLastError()));
  itself();
  folders(entries);

  for (const char *data : {product::kFolderTree[0], product::kTokenFile})
    if (GetFileAttributesW(text::widen(data).c_str()) != INVALID_FILE_ATTRIBUTES)
      keep(data, reason(Verdict::Data));
  keep(product::kSettingsKeyName, "configurações, que uma nova instalação usa");
  return outcome_;
}

} // namespace

Outcome remove_product(InstallLog &log) {
  return Removal(log).run();
}

} // namespace uninstall
