#include "download_file.h"

#include "Exception.h"
#include "text.h"
#include "windows_owners.h"

#include <windows.h>

namespace {

std::wstring folder_of(const std::wstring &path) {
  size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? L"." : path.substr(0, cut == 0 ? 1 : cut);
}

std::string system_error(const char *what) {
  return std::string(what) + " (erro " + std::to_string(GetLastError()) + ")";
}

// A temporary file beside the target, removed unless committed.
class TemporaryFile {
public:
  explicit TemporaryFile(const std::wstring &target) {
    wchar_t name[MAX_PATH];
    if (!GetTempFileNameW(folder_of(target).c_str(), L"vcd", 0, name))
      throw Exception("Não foi possível criar um arquivo temporário para " + text::narrow(target) + ": " +
                      system_error("GetTempFileNameW"));
    path = name;
    file.reset(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      DeleteFileW(path.c_str());
      throw Exception("Não foi possível abrir " + text::narrow(path) + ": " + system_error("CreateFileW"));
    }
  }
  ~TemporaryFile() {
    file.reset();
    if (!committed)
      DeleteFileW(path.c_str());
  }
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;

  void write(const char *data, size_t size) {
    while (size > 0) {
      DWORD written = 0;
      DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
      if (!WriteFile(file.get(), data, chunk, &written, nullptr) || written == 0)
        throw Exception("Falha ao gravar " + text::narrow(path) + ": " + system_error("WriteFile"));
      data += written;
      size -= written;
    }
  }

  void commit(const std::wstring &target) {
    BOOL closed = CloseHandle(file.release());
    if (!closed ||
        !MoveFileExW(path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      throw Exception("Falha ao gravar " + text::narrow(target) + ": " + system_error("MoveFileExW"));
    committed = true;
  }

private:
  std::wstring path;
  win::File file;
  bool committed = false;
};

} // namespace

void download_file(HttpClient &client, const std::string &url, const std::string &target) {
  std::wstring wide_target = text::widen(target);
  TemporaryFile body(wide_target);
  client.Get(url, [&](const char *data, size_t size) { body.write(data, size); });
  body.commit(wide_target);
}
