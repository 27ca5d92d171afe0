#include "place_uninstaller.h"

#include "Unit1.h"
#include "resource.h"
#include "text.h"
#include "windows_error.h"
#include "windows_owners.h"

namespace run {

namespace {

// The uninstaller's bytes in the program's resources; empty when the program carries none.
std::string_view carried_uninstaller() {
  HRSRC found =
      FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_UNINSTALLER), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void *bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes)
    return {};
  return std::string_view(static_cast<const char *>(bytes), SizeofResource(nullptr, found));
}

// Writes `bytes` to a temporary file beside `path`, then puts it in place in one rename.
std::string write_whole(const std::string &path, std::string_view bytes) {
  const std::wstring temporary = text::widen(path + ".tmp");
  win::File file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file)
    return "criar " + path + ".tmp: " + windows_error_text(GetLastError());
  DWORD written = 0;
  bool whole = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
  DWORD error = GetLastError();
  file.reset();
  if (!whole) {
    DeleteFileW(temporary.c_str());
    return "escrever " + path + ".tmp: " + windows_error_text(error);
  }
  if (!MoveFileExW(temporary.c_str(), text::widen(path).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error = GetLastError();
    DeleteFileW(temporary.c_str());
    return "renomear " + path + ".tmp para " + path + ": " + windows_error_text(error);
  }
  return {};
}

} // namespace

void place_uninstaller(TForm1 &form) {
  const std::string what = std::string("gravar ") + kUninstallerPath;
  if (form.Record.placed(kUninstallerPath)) {
    form.Log.line(what + ": fica o da lista de arquivos");
    return;
  }
  std::string_view bytes = carried_uninstaller();
  if (bytes.empty()) {
    form.Log.line(what + ": o instalador não o traz");
    return;
  }
  std::string failure = write_whole(kUninstallerPath, bytes);
  if (!failure.empty()) {
    form.Log.line(what + ": " + failure);
    return;
  }
  form.Log.line(what + ": " + std::to_string(bytes.size()) + " bytes, ok");
  form.Record.file(kUninstallerPath, form.Log);
}

} // namespace run
