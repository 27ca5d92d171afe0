// Stands in for the programs that the installation run starts (setup programs, gsec.exe,
// regsvr32.exe). It records how it was started in "C:\velacorte-testes\programas.log" and then acts by
// its own file name:
// - a Firebird setup registers the Firebird service entry and puts a gsec.exe stand-in in its bin folder;
// - gsec.exe and regsvr32.exe end at once;
// - any other setup program stays alive for a moment, so that the run has to wait for it, and records
//   its end, so that a test can tell that the next program started only afterwards; while the file
//   "C:\velacorte-testes\segurar-setup" exists it stays alive (60 s at most), so that a test can look at
//   the installer while it waits.
// Started as "setup_standin.exe segurar FILE" it is a program that holds FILE open without sharing, as a
// running product holds its own files, until it is ended; it records nothing.
//
// Log lines (UTF-16): "inicio", program name, command line, working folder, show command, the program
// file it was started from; or "fim" and the program name; fields separated by tabs.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

const wchar_t kLogFolder[] = L"C:\\velacorte-testes";
const wchar_t kHoldSetup[] = L"C:\\velacorte-testes\\segurar-setup";
const wchar_t kFirebirdFolder[] = L"C:\\Program Files\\Firebird\\Firebird_2_5";

std::wstring own_path() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring file_name(const std::wstring &path) {
  return path.substr(path.find_last_of(L"\\/") + 1);
}

bool starts_with_ignoring_case(const std::wstring &s, const wchar_t *prefix) {
  size_t n = wcslen(prefix);
  return s.size() >= n && _wcsnicmp(s.c_str(), prefix, n) == 0;
}

void record(const std::wstring &line) {
  CreateDirectoryW(kLogFolder, nullptr);

  std::wstring log = std::wstring(kLogFolder) + L"\\programas.log";
  for (int attempt = 0; attempt < 50; ++attempt) {
    HANDLE file =
        CreateFileW(log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written;
      WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
      CloseHandle(file);
      return;
    }
    Sleep(20); // another stand-in holds the log
  }
}

void record_start(const std::wstring &self, const std::wstring &name) {
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
  record(L"inicio\t" + name + L"\t" + GetCommandLineW() + L"\t" + folder + L"\t" + std::to_wstring(show) +
         L"\t" + self + L"\r\n");
}

void install_firebird(const std::wstring &self) {
  std::wstring bin = std::wstring(kFirebirdFolder) + L"\\bin";
  CreateDirectoryW(L"C:\\Program Files\\Firebird", nullptr);
  CreateDirectoryW(kFirebirdFolder, nullptr);
  CreateDirectoryW(bin.c_str(), nullptr);
  CopyFileW(self.c_str(), (bin + L"\\gsec.exe").c_str(), FALSE);

  std::wstring image_path = L"\"" + bin + L"\\fbserver.exe\" -s DefaultInstance";
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                      L"SYSTEM\\CurrentControlSet\\services\\FirebirdServerDefaultInstance", 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"ImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(image_path.c_str()),
                   static_cast<DWORD>((image_path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
}

void hold_open(const wchar_t *path) {
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    ExitProcess(2);
  Sleep(INFINITE);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments && count == 3 && wcscmp(arguments[1], L"segurar") == 0)
    hold_open(arguments[2]);
  const std::wstring self = own_path();
  const std::wstring name = file_name(self);
  record_start(self, name);
  if (starts_with_ignoring_case(name, L"gsec") || starts_with_ignoring_case(name, L"regsvr32"))
    return 0;
  if (starts_with_ignoring_case(name, L"Firebird"))
    install_firebird(self);
  Sleep(1000);
  for (int waited = 0; waited < 60000 && GetFileAttributesW(kHoldSetup) != INVALID_FILE_ATTRIBUTES;
       waited += 100)
    Sleep(100);
  record(L"fim\t" + name + L"\r\n");
  return 0;
}
