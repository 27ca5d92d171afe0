// The real Install.exe, of this build and of the 32-bit product, driven through its window against its
// own velacorte-queryd, and what the machine holds afterwards.
#include "file_digest.h"
#include "installer_driver.h"
#include "product_build.h"
#include "program_log.h"
#include "queryd_server.h"
#include "service_script.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

const std::wstring kArtifacts = ARTIFACT_FOLDER;

std::wstring shell_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

// A value and a key read back through one registry view (KEY_WOW64_32KEY, KEY_WOW64_64KEY; 0: this
// program's own).
std::wstring registry_text(HKEY root, const wchar_t *key, const wchar_t *value, REGSAM view = 0) {
  HKEY opened;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS)
    return L"<missing>";
  wchar_t data[512] = {};
  DWORD size = sizeof(data);
  LONG read = RegGetValueW(opened, nullptr, value, RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, data, &size);
  RegCloseKey(opened);
  return read == ERROR_SUCCESS ? data : L"<missing>";
}

bool key_exists(HKEY root, const wchar_t *key, REGSAM view = 0) {
  HKEY opened;
  if (RegOpenKeyExW(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
    return false;
  RegCloseKey(opened);
  return true;
}

std::wstring folder_of(const std::wstring &file) {
  return file.substr(0, file.find_last_of(L'\\'));
}

// System32 and SysWOW64 as a 64-bit program sees them, without redirection.
std::wstring native_system_folder() {
  wchar_t path[MAX_PATH] = {};
  GetSystemDirectoryW(path, MAX_PATH);
  return path;
}
std::wstring wow64_system_folder() {
  wchar_t path[MAX_PATH] = {};
  GetSystemWow64DirectoryW(path, MAX_PATH);
  return path;
}

std::string demo_contents(const std::string &name) {
  return "Velacorte demo: " + name + "\r\n";
}

std::string text_of(const std::wstring &wide) {
  std::string narrow;
  for (wchar_t c : wide)
    narrow += static_cast<char>(c < 0x80 ? c : '?');
  return narrow;
}

std::string lower(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

const wchar_t kInstallLog[] = L"c:\\Velacorte\\Install.log";
const wchar_t kHoldSetup[] = L"C:\\velacorte-testes\\segurar-setup";
const wchar_t kSummaryStart[] = L"Arquivos não instalados:";

// A program that holds `file` open without sharing, as the running product holds its own files; the
// stand-in, or a copy of it under the product's name.
class FileHolder {
public:
  explicit FileHolder(const std::wstring &file, const std::wstring &program = STANDIN_EXE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring command = L"\"" + program + L"\" segurar \"" + file + L"\"";
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
      throw std::runtime_error("the stand-in does not start");
    // It holds the file once the file cannot be opened for writing any more.
    for (int tries = 0; tries < 200; ++tries, Sleep(50)) {
      HANDLE opened = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
      if (opened == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
        return;
      if (opened != INVALID_HANDLE_VALUE)
        CloseHandle(opened);
    }
    throw std::runtime_error("the stand-in does not hold the file");
  }
  ~FileHolder() { end(); }
  FileHolder(const FileHolder &) = delete;
  FileHolder &operator=(const FileHolder &) = delete;
  void end() {
    if (!process.hProcess)
      return;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = {};
  }

private:
  PROCESS_INFORMATION process{};
};

std::wstring link_target(const fs::path &file) {
  IShellLinkW *link = nullptr;
  IPersistFile *persist = nullptr;
  wchar_t target[MAX_PATH] = {};
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void **>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&persist))) &&
      SUCCEEDED(persist->Load(file.c_str(), STGM_READ)))
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
  if (persist)
    persist->Release();
  if (link)
    link->Release();
  return target;
}

const wchar_t kProgramsFolderOf32BitPrograms[] = L"C:\\Program Files (x86)";

// The Program Files folder that 32-bit programs see, which the file list's "pfiles" names. A 64-bit
// Windows always has it; a Wine prefix made without 32-bit support lacks it, so it is given there.
std::wstring programs_folder_of_32_bit_programs() {
  const wchar_t *folder = kProgramsFolderOf32BitPrograms;
  const wchar_t windows_key[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  HKEY key;
  if (registry_text(HKEY_LOCAL_MACHINE, windows_key, L"ProgramFilesDir", KEY_WOW64_32KEY) == L"<missing>" &&
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, windows_key, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                      nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"ProgramFilesDir", 0, REG_SZ, reinterpret_cast<const BYTE *>(folder),
                   static_cast<DWORD>((wcslen(folder) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  CreateDirectoryW(folder, nullptr);
  return registry_text(HKEY_LOCAL_MACHINE, windows_key, L"ProgramFilesDir", KEY_WOW64_32KEY);
}

const wchar_t kUninstallParent[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte";
// Where a 32-bit program's entry lands, as a 64-bit program sees it.
const wchar_t kUninstallKeyOf32BitPrograms[] =
    L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte";
const wchar_t kFirebirdKey[] = L"SYSTEM\\CurrentControlSet\\services\\FirebirdServerDefaultInstance";

struct Placed {
  const char *arquivo;
  std::wstring folder;
};

class EndToEnd : public ::testing::TestWithParam<ProductBuild> {
protected:
  const ProductBuild &build() const { return GetParam(); }
  const wchar_t *install_exe() const { return build().install_exe; }
  int patience() const { return build().patience; }

  // The uninstall entry, read back through the registry view of the build's program.
  bool uninstall_entry_exists() const {
    return key_exists(HKEY_LOCAL_MACHINE, kUninstallKey, build().view());
  }
  std::wstring uninstall_entry_text(const wchar_t *value) const {
    return registry_text(HKEY_LOCAL_MACHINE, kUninstallKey, value, build().view());
  }

  // Install.exe started with a command line and left to itself: nobody answers anything. The exit code;
  // STILL_ACTIVE when it had to be ended after 5 minutes (times the patience), as a box waiting unseen
  // would make it.
  DWORD run_install(const std::wstring &arguments, const std::function<void()> &while_running = {}) const {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring command = L"\"" + std::wstring(install_exe()) + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(install_exe(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
      return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    const DWORD limit = 300000 * patience();
    for (DWORD start = GetTickCount(); while_running && GetTickCount() - start < limit &&
                                       WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT;)
      while_running();
    if (WaitForSingleObject(process.hProcess, limit) == WAIT_OBJECT_0)
      GetExitCodeProcess(process.hProcess, &code);
    else
      TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
  }

  void SetUp() override {
    CoInitialize(nullptr);
    system_folder = shell_folder(CSIDL_SYSTEMX86);
    desktop = shell_folder(CSIDL_DESKTOPDIRECTORY);
    program_files = programs_folder_of_32_bit_programs();
    clean_machine();
    // The setup programs that the run expects in the setup folder, and regsvr32.exe in the system folder.
    // The names are kept whole while the loop runs: a pointer into a temporary would name freed memory.
    fs::create_directories(L"c:\\install");
    for (const std::wstring &setup :
         {std::wstring(L"c:\\install\\UltraVNC_1.0.8.2_Setup.exe"),
          std::wstring(L"c:\\install\\IboConsoleSetup.exe"), system_folder + L"\\regsvr32.exe"})
      ASSERT_TRUE(CopyFileW(STANDIN_EXE, setup.c_str(), FALSE)) << fs::path(setup);
  }
  void TearDown() override { CoUninitialize(); }

  void clean_machine() {
    std::error_code ignored;
    for (const std::wstring &folder :
         {std::wstring(L"c:\\Velacorte"), std::wstring(L"c:\\install"), std::wstring(L"C:\\velacorte-testes"),
          std::wstring(L"C:\\SPED"), std::wstring(L"C:\\Program Files\\Firebird"),
          program_files + L"\\Velacorte"})
      fs::remove_all(folder, ignored);
    for (const wchar_t *file : {L"midas.dll", L"dbexpint.dll", L"fbclient.dll", L"rave.dll", L"capicom.dll",
                                L"msxml5.dll", L"msxml5r.dll"})
      fs::remove(system_folder + L"\\" + file, ignored);
    for (const wchar_t *file : {L"Leia-me.txt", L"Velacorte.lnk", L"Velacorte Servidor.lnk",
                                L"Velacorte Estação.lnk", L"Utilitários Velacorte.lnk"})
      fs::remove(desktop + L"\\" + file, ignored);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"VELACORTE");
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY parent;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallParent, 0, KEY_ALL_ACCESS | view, &parent) ==
          ERROR_SUCCESS) {
        RegDeleteTreeW(parent, L"Velacorte");
        RegCloseKey(parent);
      }
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kFirebirdKey);
  }

  // Sets the type and the options (in the window's order: Firebird, UltraVNC, IBO Console, configuration,
  // database) and presses "Instalar".
  void start_run(InstallerDriver &installer, const std::wstring &type, std::initializer_list<bool> options) {
    installer.choose_type(type);
    const wchar_t *captions[] = {L"Instalar Firebird", L"Instalar UltraVNC", L"Instalar IBO Console",
                                 L"Configurar Caminho BD", L"Baixar Banco de Dados"};
    int i = 0;
    for (bool ticked : options)
      installer.set_option(captions[i++], ticked);
    installer.press_install();
  }

  // Requests of the download host for product archives, by check_id.
  int fetches(const std::string &path) const {
    auto log = service.log();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string &line) {
      return line.rfind("GET\t" + path + "\t", 0) == 0 || line == "GET\t" + path;
    }));
  }

  void expect_placed(const std::vector<Placed> &files) {
    for (const Placed &file : files) {
      fs::path placed = fs::path(file.folder) / file.arquivo;
      EXPECT_EQ(contents(placed), demo_contents(file.arquivo)) << placed;
    }
  }
  void expect_absent(const std::vector<Placed> &files) {
    for (const Placed &file : files)
      EXPECT_FALSE(fs::exists(fs::path(file.folder) / file.arquivo)) << file.arquivo;
  }

  queryd_test::QuerydServer service;
  std::wstring system_folder, desktop, program_files;
};

// Runs the uninstaller that the installer placed, with `switches`; its exit code, STILL_ACTIVE when it
// had to be ended after two minutes (times `patience`).
DWORD uninstall(const std::wstring &switches, int patience) {
  std::wstring program = L"c:\\Velacorte\\Uninstall.exe";
  std::wstring command = L"\"" + program + L"\" " + switches;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return GetLastError();
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, 120000 * patience) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

int always(int button, const SeenBox &) {
  return button;
}

TEST_P(EndToEnd, ServerRunWithEveryOptionThenASecondRunOverIt) {
  InstallerDriver installer(install_exe(), patience());
  EXPECT_TRUE(save_screenshot(installer.window(), kArtifacts + L"/e2e-idle.png"));
  start_run(installer, L"Servidor", {true, true, true, true, true});
  ASSERT_TRUE(
      installer.run_until(L"Instalando Firebird", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  EXPECT_TRUE(save_screenshot(installer.window(), kArtifacts + L"/e2e-running.png"));
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  EXPECT_TRUE(installer.boxes.empty());
  Sleep(300);
  EXPECT_TRUE(save_screenshot(installer.window(), kArtifacts + L"/e2e-concluido.png"));
  EXPECT_TRUE(installer.type_box_enabled());
  // A 32-bit program on 64-bit Windows finds SysWOW64 as well.
  EXPECT_TRUE(installer.shows(L"64 Bits"));
  EXPECT_EQ(installer.total_maximum(), 12 + 3);
  EXPECT_EQ(installer.total_position(), 12 + 3);

  // Every location code of the server's list.
  const std::wstring data = L"c:\\velacorte\\dados";
  std::vector<Placed> placed = {{"Velacorte.exe", L"c:\\Velacorte"},
                                {"VelacorteServidor.exe", L"c:\\Velacorte"},
                                {"midas.dll", system_folder},
                                {"dbexpint.dll", system_folder},
                                {"rave.dll", program_files + L"\\Velacorte"},
                                {"Manual.pdf", program_files + L"\\Velacorte\\Docs"},
                                {"Leia-me.txt", desktop},
                                {"Relatorios.rav", L"c:\\Velacorte\\Relatorios"},
                                {"Parametros.dat", data},
                                {"Tabelas.dat", data},
                                {"Etiquetas.dat", data},
                                {"Utilitarios.exe", L"c:\\Velacorte\\Utilitarios"}};
  expect_placed(placed);
  expect_absent({{"VelacorteEstacao.exe", L"c:\\Velacorte"}, {"fbclient.dll", system_folder}});
  // "system" is the system folder of 32-bit programs, SysWOW64, never System32; "pfiles" is theirs too.
  for (const char *library : {"midas.dll", "dbexpint.dll"}) {
    EXPECT_TRUE(fs::exists(fs::path(wow64_system_folder()) / library)) << library;
    EXPECT_FALSE(fs::exists(fs::path(native_system_folder()) / library)) << library;
  }
  EXPECT_EQ(_wcsicmp(program_files.c_str(), kProgramsFolderOf32BitPrograms), 0);
  for (const char *left : {"1001.zip", "1011.zip", "Velacorte.exe", "Parametros.dat"})
    EXPECT_FALSE(fs::exists(fs::path(L"c:\\Velacorte\\tmp") / left)) << left;

  struct Link {
    const wchar_t *name, *target;
  } links[] = {{L"Velacorte.lnk", L"c:\\Velacorte\\Velacorte.exe"},
               {L"Velacorte Servidor.lnk", L"c:\\Velacorte\\VelacorteServidor.exe"},
               {L"Utilitários Velacorte.lnk", L"c:\\Velacorte\\Utilitarios\\Utilitarios.exe"}};
  for (const Link &link : links)
    EXPECT_EQ(_wcsicmp(link_target(fs::path(desktop) / link.name).c_str(), link.target), 0) << link.name;

  // The sample database, the NF-e files and their libraries.
  EXPECT_EQ(contents(L"c:\\Velacorte\\Dados\\Velacorte6.fdb"), demo_contents("Velacorte6.fdb"));
  EXPECT_TRUE(fs::exists(L"c:\\Velacorte\\Nfe2\\schemas\\nfe_v2.00.xsd"));
  for (const char *library : {"capicom.dll", "msxml5.dll", "msxml5r.dll"})
    EXPECT_EQ(contents(fs::path(system_folder) / library), demo_contents(library)) << library;

  // The programs started, each setup awaited before the next one starts.
  std::vector<ProgramEvent> events = read_program_log();
  // The two registrations are not awaited, so they may record their starts in either order.
  std::vector<std::wstring> registered;
  for (int i = find_event(events, L"regsvr32.exe", true); i >= 0;
       i = find_event(events, L"regsvr32.exe", true, i + 1)) {
    EXPECT_EQ(_wcsicmp(events[i].folder.c_str(), system_folder.c_str()), 0);
    EXPECT_EQ(_wcsicmp(folder_of(events[i].program).c_str(), wow64_system_folder().c_str()), 0)
        << events[i].program;
    EXPECT_EQ(events[i].show, SW_HIDE);
    const std::wstring &command = events[i].command_line;
    for (const wchar_t *library : {L"capicom.dll", L"msxml5.dll", L"msxml5r.dll"})
      if (command.find(library) != std::wstring::npos)
        registered.push_back(library);
  }
  std::sort(registered.begin(), registered.end());
  EXPECT_EQ(registered, (std::vector<std::wstring>{L"capicom.dll", L"msxml5.dll"}))
      << "msxml5r.dll is not registered";

  int previous_end = -1;
  for (const wchar_t *setup :
       {L"Firebird-2.5.2_x64.exe", L"UltraVNC_1.0.8.2_Setup.exe", L"IboConsoleSetup.exe"}) {
    int start = find_event(events, setup, true);
    ASSERT_GT(start, previous_end) << setup;
    EXPECT_EQ(_wcsicmp(events[start].folder.c_str(), L"c:\\install"), 0) << setup;
    EXPECT_EQ(events[start].show, SW_SHOWNORMAL) << setup;
    previous_end = find_event(events, setup, false, start);
    ASSERT_GT(previous_end, start) << setup << " ended";
  }
  int gsec = find_event(events, L"gsec.exe", true);
  ASSERT_GT(gsec, previous_end);
  EXPECT_NE(events[gsec].command_line.find(L"-a velacorte -pw kelp"), std::wstring::npos);
  EXPECT_EQ(_wcsicmp(events[gsec].folder.c_str(), L"C:\\Program Files\\Firebird\\Firebird_2_5\\bin"), 0);
  EXPECT_TRUE(fs::exists(L"c:\\install\\Firebird-2.5.2_x64.exe"));
  EXPECT_FALSE(fs::exists(L"c:\\install\\Firebird-2.5.2_x64.exe.zip"));

  // Settings, uninstall entry, token file.
  EXPECT_EQ(registry_text(HKEY_CURRENT_USER, L"VELACORTE", L"Database"),
            L"c:\\velacorte\\dados\\velacorte6.fdb");
  EXPECT_EQ(registry_text(HKEY_CURRENT_USER, L"VELACORTE", L"Path_Fotos_Clientes"),
            L"C:\\Velacorte\\Dados\\Fotos\\Clientes");
  EXPECT_EQ(uninstall_entry_text(L"DisplayVersion"), L"7.7.0.0");
  // Registry redirection: a 32-bit program's entry is under Wow6432Node, a 64-bit one's is not.
  EXPECT_EQ(key_exists(HKEY_LOCAL_MACHINE, kUninstallKeyOf32BitPrograms, KEY_WOW64_64KEY), build().wow64);
  std::string token = contents(L"c:\\velacorte\\velacorte.ini");
  EXPECT_NE(token.find("U5A1C0E97B4D"), std::string::npos) << token;
  EXPECT_EQ(fetches("/site/arquivos/instaladores/Velacorte6.zip"), 1);

  // The install log: a line for each download that the host saw and each copy, no credentials.
  std::string log = contents(kInstallLog);
  EXPECT_EQ(log.rfind(" início: instalador 7.7.0.0, tipo Servidor", 24), 23u) << log.substr(0, 200);
  for (const std::string &request : service.log()) {
    if (request.rfind("GET\t/site/arquivos/", 0) != 0)
      continue;
    std::string path = request.substr(4, request.find('\t', 4) - 4);
    EXPECT_NE(log.find(" baixar " + service.base_url() + path + ": tentativa 1, HTTP 200, "),
              std::string::npos)
        << path;
  }
  for (const Placed &file : placed) {
    std::string target = lower(fs::path(file.folder).string() + "\\" + file.arquivo);
    EXPECT_NE(lower(log).find(" copiar " + target + ": ok\r\n"), std::string::npos) << target;
  }
  EXPECT_NE(log.find(" fim: Concluído, 12 arquivos colocados, 0 não colocados\r\n"), std::string::npos);
  for (const char *secret : {"1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A", "authorization", "kelp"})
    EXPECT_EQ(lower(log).find(lower(secret)), std::string::npos) << secret;

  // The shop changed one data file since: the second run keeps its bytes as NAME.bak. An unchanged one
  // gets no .bak.
  std::ofstream(L"c:\\velacorte\\dados\\Parametros.dat", std::ios::binary) << "dados da loja";

  // A second run over the installation: the database is there, so it is not fetched again; every product
  // file is fetched and placed again.
  service.clear_log();
  fs::remove(kProgramLog);
  installer.press_install();
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  EXPECT_TRUE(installer.boxes.empty());
  EXPECT_EQ(installer.total_position(), 12 + 3);
  expect_placed(placed);
  EXPECT_EQ(fetches("/site/arquivos/instaladores/Velacorte6.zip"), 0);
  EXPECT_EQ(fetches("/site/arquivos/produto/1001.zip"), 1);
  EXPECT_EQ(contents(L"c:\\velacorte\\velacorte.ini"), token);
  events = read_program_log();
  for (const wchar_t *setup :
       {L"Firebird-2.5.2_x64.exe", L"UltraVNC_1.0.8.2_Setup.exe", L"IboConsoleSetup.exe"})
    EXPECT_GE(find_event(events, setup, false), 0) << setup;
  EXPECT_EQ(contents(L"c:\\velacorte\\dados\\Parametros.dat.bak"), "dados da loja");
  for (const char *unchanged : {"Tabelas.dat.bak", "Etiquetas.dat.bak"})
    EXPECT_FALSE(fs::exists(fs::path(L"c:\\velacorte\\dados") / unchanged)) << unchanged;
  // Both runs are in the log, one after the other.
  log = contents(kInstallLog);
  EXPECT_NE(log.find(" início: ", log.find(" fim: Concluído")), std::string::npos);
  EXPECT_EQ(installer.close(), 0u);
}

TEST_P(EndToEnd, WorkstationRunLeavesTheDataFolderEntriesAlone) {
  InstallerDriver installer(install_exe(), patience());
  start_run(installer, L"Estação", {false, false, false, true, true});
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  EXPECT_EQ(installer.total_maximum(), 11 + 3);
  EXPECT_EQ(installer.total_position(), 11 + 3);

  EXPECT_EQ(fetches("/site/arquivos/produto/1011.zip"), 0);
  EXPECT_EQ(fetches("/site/arquivos/produto/1012.zip"), 0);
  EXPECT_EQ(fetches("/site/arquivos/instaladores/Velacorte6.zip"), 0);
  expect_absent({{"Parametros.dat", L"c:\\velacorte\\dados"},
                 {"Tabelas.dat", L"c:\\velacorte\\dados"},
                 {"VelacorteServidor.exe", L"c:\\Velacorte"},
                 {"Velacorte6.fdb", L"c:\\velacorte\\dados"}});
  // Another spelling of the data folder is not the data folder's code.
  expect_placed({{"Etiquetas.dat", L"c:\\velacorte\\dados"},
                 {"VelacorteEstacao.exe", L"c:\\Velacorte"},
                 {"fbclient.dll", system_folder}});

  EXPECT_EQ(registry_text(HKEY_CURRENT_USER, L"VELACORTE", L"Database"),
            L"SERVIDOR:c:\\velacorte\\dados\\velacorte6.fdb");
  EXPECT_EQ(registry_text(HKEY_CURRENT_USER, L"VELACORTE", L"Path_Fotos_Vendedores"),
            L"\\\\SERVIDOR\\C\\Velacorte\\Dados\\Fotos\\Vendedores");
  EXPECT_EQ(find_event(read_program_log(), L"gsec.exe", true), -1);
}

TEST_P(EndToEnd, OnlyLibrariesRunPlacesLibraryFilesAndNothingElse) {
  InstallerDriver installer(install_exe(), patience());
  installer.choose_type(L"Servidor");
  installer.set_option(L"Somente DLL", true);
  for (const wchar_t *cleared : {L"Instalar Firebird", L"Instalar UltraVNC", L"Instalar IBO Console",
                                 L"Configurar Caminho BD", L"Baixar Banco de Dados"})
    EXPECT_FALSE(installer.option(cleared)) << cleared;
  installer.press_install();
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  EXPECT_EQ(installer.total_maximum(), 3 + 3);
  EXPECT_EQ(installer.total_position(), 3 + 3);

  expect_placed({{"midas.dll", system_folder},
                 {"dbexpint.dll", system_folder},
                 {"rave.dll", program_files + L"\\Velacorte"}});
  expect_absent({{"Velacorte.exe", L"c:\\Velacorte"}, {"Antigo.dll", system_folder}});
  EXPECT_EQ(fetches("/site/arquivos/instaladores/nfe2/nfe2.zip"), 0);
  EXPECT_TRUE(read_program_log().empty());
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, L"VELACORTE"));
  EXPECT_EQ(uninstall_entry_text(L"DisplayVersion"), L"7.7.0.0");
}

TEST_P(EndToEnd, FailedDownloadsAskAndOnlyYesTriesAgain) {
  service.fail("/site/arquivos/produto/1001.zip", 3);
  service.fail("/site/arquivos/produto/1010.zip", 3);
  service.fail("/site/arquivos/instaladores/nfe2/nfe2.zip", 3);
  service.fail("/site/arquivos/instaladores/Firebird-2.5.2_x64.zip", 3);
  InstallerDriver installer(install_exe(), patience());
  start_run(installer, L"Servidor", {true, false, false, false, false});
  bool pictured = false;
  ASSERT_TRUE(
      installer.run_until_summary([&](const SeenBox &) { return installer.boxes.empty() ? IDYES : IDNO; },
                                  [&](HWND box) {
                                    if (!pictured)
                                      pictured = save_screenshot(box, kArtifacts + L"/e2e-question.png");
                                  }));
  EXPECT_TRUE(pictured);

  // 1001: Yes, a fourth attempt that succeeds; 1010: No; the NF-e files: No; Firebird: No.
  struct Expected {
    const wchar_t *text;
    int total_position;
  } expected[] = {{L"Falha ao baixar o arquivo, tentar novamente?", 0},
                  {L"Falha ao baixar o arquivo, tentar novamente?", 7},
                  {L"Falha ao baixar o arquivo, tentar novamente?", 11},
                  {L"Erro Baixando Firebird, tentar novamente?", 11}};
  ASSERT_EQ(installer.boxes.size(), std::size(expected) + 1);
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(installer.boxes[i].text, expected[i].text) << i;
    EXPECT_EQ(installer.boxes[i].title, L"") << i;
    EXPECT_EQ(installer.boxes[i].buttons, 3) << i;
    EXPECT_EQ(installer.boxes[i].total_position, expected[i].total_position) << i;
  }
  EXPECT_EQ(installer.total_position(), 12 + 3);
  // What was given up is named in the summary, the last box, with the log's path.
  const SeenBox &summary = installer.boxes.back();
  EXPECT_EQ(summary.title, L"");
  EXPECT_EQ(summary.buttons, 1);
  std::wstring base = L"http://127.0.0.1:" + std::to_wstring(service.port());
  for (std::wstring given_up :
       {L"Relatorios.rav: baixar " + base + L"/site/arquivos/produto/1010.zip: abandonado",
        L"nfe2.zip: baixar " + base + L"/site/arquivos/instaladores/nfe2/nfe2.zip: abandonado",
        L"Firebird-2.5.2_x64.exe: baixar " + base +
            L"/site/arquivos/instaladores/Firebird-2.5.2_x64.zip: abandonado",
        std::wstring(L"Total: 3 não instalado(s), 11 instalado(s)."), std::wstring(kInstallLog)})
    EXPECT_NE(summary.text.find(given_up), std::wstring::npos) << given_up << L" in " << summary.text;
  std::string log = contents(kInstallLog);
  EXPECT_NE(log.find(" perguntar \"Falha ao baixar o arquivo, tentar novamente?\": Sim\r\n"),
            std::string::npos);
  EXPECT_NE(log.find(" perguntar \"Erro Baixando Firebird, tentar novamente?\": Não\r\n"), std::string::npos);
  EXPECT_NE(log.find("/site/arquivos/produto/1001.zip: tentativa 4, HTTP 200"), std::string::npos);

  EXPECT_EQ(fetches("/site/arquivos/produto/1001.zip"), 4);
  EXPECT_EQ(fetches("/site/arquivos/produto/1010.zip"), 3);
  EXPECT_EQ(fetches("/site/arquivos/instaladores/nfe2/nfe2.zip"), 3);
  EXPECT_EQ(fetches("/site/arquivos/instaladores/Firebird-2.5.2_x64.zip"), 3);
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}, {"Utilitarios.exe", L"c:\\Velacorte\\Utilitarios"}});
  expect_absent({{"Relatorios.rav", L"c:\\Velacorte\\Relatorios"}, {"capicom.dll", system_folder}});
  // Given up NF-e files are neither copied nor registered; the given-up Firebird setup is not there to start.
  EXPECT_EQ(find_event(read_program_log(), L"regsvr32.exe", true), -1);
  EXPECT_EQ(find_event(read_program_log(), L"Firebird-2.5.2_x64.exe", true), -1);
  EXPECT_EQ(installer.close(), 1603u);
}

TEST_P(EndToEnd, GivenUpFirebirdDoesNotStartAnOlderSetup) {
  // An earlier run left a setup program in the setup folder.
  ASSERT_TRUE(CopyFileW(STANDIN_EXE, L"c:\\install\\Firebird-2.5.2_x64.exe", FALSE));
  service.fail("/site/arquivos/instaladores/Firebird-2.5.2_x64.zip", 3);
  InstallerDriver installer(install_exe(), patience());
  start_run(installer, L"Servidor", {true, false, false, false, false});
  ASSERT_TRUE(installer.run_until_summary([](const SeenBox &) { return IDNO; }));
  ASSERT_EQ(installer.boxes.size(), 2u);
  EXPECT_NE(installer.boxes[1].text.find(L"Firebird-2.5.2_x64.exe: baixar "), std::wstring::npos);
  EXPECT_EQ(find_event(read_program_log(), L"Firebird-2.5.2_x64.exe", true), -1);
}

TEST_P(EndToEnd, StalledArchiveIsAFailedAttemptAndTheRunGoesOn) {
  // The host accepts three requests for the archive and never answers them.
  service.fail("/site/arquivos/produto/1001.zip", 3, 0);
  InstallerDriver installer(install_exe(), patience());
  start_run(installer, L"Servidor", {false, false, false, false, false});
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDYES, b); }));
  ASSERT_EQ(installer.boxes.size(), 1u);
  EXPECT_EQ(installer.boxes[0].text, L"Falha ao baixar o arquivo, tentar novamente?");
  EXPECT_EQ(fetches("/site/arquivos/produto/1001.zip"), 4);
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}});
  EXPECT_NE(contents(kInstallLog).find("/site/arquivos/produto/1001.zip: tentativa 3, sem resposta"),
            std::string::npos);
  EXPECT_EQ(installer.close(), 0u);
}

TEST_P(EndToEnd, FileInUseIsNamedAndTheNextRunPlacesIt) {
  fs::create_directories(L"c:\\Velacorte");
  std::ofstream(L"c:\\Velacorte\\Velacorte.exe", std::ios::binary) << "versão antiga";
  {
    FileHolder product(L"c:\\Velacorte\\Velacorte.exe");
    InstallerDriver installer(install_exe(), patience());
    start_run(installer, L"Servidor", {false, false, false, false, false});
    ASSERT_TRUE(installer.run_until_summary([](const SeenBox &) { return IDNO; }));
    ASSERT_EQ(installer.boxes.size(), 1u);
    const SeenBox &summary = installer.boxes[0];
    EXPECT_EQ(summary.title, L"");
    EXPECT_EQ(summary.buttons, 1);
    EXPECT_EQ(summary.text.rfind(kSummaryStart, 0), 0u) << summary.text;
    for (const wchar_t *named : {L"Velacorte.exe: copiar c:\\Velacorte\\Velacorte.exe: em uso\r\n",
                                 L"Total: 1 não instalado(s), 11 instalado(s).", kInstallLog})
      EXPECT_NE(summary.text.find(named), std::wstring::npos) << named << L" in " << summary.text;
    EXPECT_FALSE(fs::exists(L"c:\\Velacorte\\tmp\\Velacorte.exe"));
    EXPECT_EQ(installer.close(), 1603u);
  }
  InstallerDriver installer(install_exe(), patience());
  start_run(installer, L"Servidor", {false, false, false, false, false});
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDNO, b); }));
  EXPECT_TRUE(installer.boxes.empty());
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}});
  EXPECT_EQ(installer.close(), 0u);
}

TEST_P(EndToEnd, WindowAnswersWhileASetupRunsAndASecondInstallerIsRefused) {
  fs::create_directories(L"C:\\velacorte-testes");
  std::ofstream(kHoldSetup) << "";
  InstallerDriver installer(install_exe(), patience());
  start_run(installer, L"Servidor", {false, true, false, false, false});
  ASSERT_TRUE(installer.run_until(L"Instalando UltraVNC", [](const SeenBox &b) { return always(IDNO, b); }));
  // Longer than one check of the setup program: the window answers each time within a second.
  for (DWORD start = GetTickCount(); GetTickCount() - start < 7000; Sleep(250)) {
    DWORD_PTR result = 0;
    ASSERT_NE(SendMessageTimeoutW(installer.window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result), 0)
        << "after " << GetTickCount() - start << " ms";
    EXPECT_FALSE(installer.install_enabled());
  }
  RefusedStart second = start_refused(install_exe(), IDOK, patience());
  EXPECT_EQ(second.box.text, L"O instalador já está em execução.");
  EXPECT_EQ(second.box.title, L"");
  EXPECT_EQ(second.exit_code, 1618u);
  // Without a person, the refusal goes to the log instead of a box.
  EXPECT_EQ(run_install(L"/VERYSILENT /TIPO=Servidor"), 1618u);
  EXPECT_NE(contents(kInstallLog).find(" iniciar: O instalador já está em execução.\r\n"), std::string::npos);
  EXPECT_EQ(installer.status(), L"Instalando UltraVNC");

  fs::remove(kHoldSetup);
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDNO, b); }));
  EXPECT_TRUE(installer.install_enabled());
  EXPECT_EQ(installer.close(), 0u);
}

// What file properties and deployment consoles read from the program file.
TEST_P(EndToEnd, ProgramFileCarriesItsVersionResource) {
  DWORD size = GetFileVersionInfoSizeW(install_exe(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(install_exe(), 0, size, data.data()));
  struct Value {
    const wchar_t *name, *expected;
  } values[] = {{L"FileDescription", L"Instalador Velacorte"},
                {L"ProductName", L"Velacorte"},
                {L"FileVersion", L"7.7.0.0"},
                {L"ProductVersion", L"7.7.0.0"},
                {L"CompanyName", L""},
                {L"LegalCopyright", L""}};
  for (const Value &value : values) {
    wchar_t *text = nullptr;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\041604B0\\") + value.name;
    ASSERT_TRUE(VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void **>(&text), &length)) << path;
    EXPECT_EQ(std::wstring(text, wcsnlen(text, length)), value.expected) << path;
  }
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00070007u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
}

TEST_P(EndToEnd, WindowClosedWithoutARunExits1602) {
  InstallerDriver installer(install_exe(), patience());
  EXPECT_EQ(installer.close(), 1602u);
}

TEST_P(EndToEnd, QueryFailuresEndTheRunBeforeAnyDownload) {
  const std::string query = "/servicos/wsdl/selectxml/selectxml.php";
  struct Case {
    const char *name;
    std::function<void()> break_service, mend_service;
    const wchar_t *report_start;
    const wchar_t *named; // what the report must name: the service's message, or the address that failed
  } cases[] = {
      {"HTTP 503", [&] { service.fail(query, 1, 503); }, [] {}, L"Erro na execução do comando", L""},
      {"no answer", [&] { service.fail(query, 1, 0); }, [] {}, L"Erro na execução do comando",
       L"selectxml.php"},
      {"failure status",
       [&] { run_script(service, "ALTER TABLE sistema.check_files RENAME TO check_files_fora"); },
       [&] { run_script(service, "ALTER TABLE sistema.check_files_fora RENAME TO check_files"); },
       L"consultar sistema.check_files: ", L"no such table"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    clean_machine();
    c.break_service();
    service.clear_log();
    DWORD exit_code = 0;
    {
      InstallerDriver installer(install_exe(), patience());
      start_run(installer, L"Servidor", {false, false, false, false, false});
      bool reported = installer.answer_one_box(IDOK);
      c.mend_service();
      ASSERT_TRUE(reported);
      const SeenBox &report = installer.boxes[0];
      EXPECT_EQ(report.title, L"Install");
      EXPECT_EQ(report.text.rfind(c.report_start, 0), 0u) << report.text;
      EXPECT_NE(report.text.find(c.named), std::wstring::npos) << report.text;
      EXPECT_NE(report.text.find(kInstallLog), std::wstring::npos) << report.text;
      Sleep(500);
      EXPECT_FALSE(installer.type_box_enabled());
      EXPECT_NE(installer.status().rfind(L"Concluído", 0), 0u);
      exit_code = installer.close();
    }
    EXPECT_EQ(exit_code, 1603u);
    for (const std::string &line : service.log())
      EXPECT_EQ(line.find("/site/arquivos/"), std::string::npos) << line;
    EXPECT_FALSE(fs::exists(L"c:\\Velacorte\\Velacorte.exe"));
    EXPECT_FALSE(uninstall_entry_exists());
    EXPECT_NE(contents(kInstallLog).find(" fim: falha: "), std::string::npos);
  }
}

TEST_P(EndToEnd, ArchiveThatCannotBeUnpackedIsFetchedAfreshByTheNextRun) {
  // The first download of one archive answers an HTML page with status 200.
  service.fail("/site/arquivos/produto/1002.zip", 1, 200);
  InstallerDriver installer(install_exe(), patience());
  start_run(installer, L"Servidor", {false, false, false, false, false});
  ASSERT_TRUE(installer.run_until_summary([](const SeenBox &) { return IDCANCEL; }));
  ASSERT_EQ(installer.boxes.size(), 1u);
  EXPECT_NE(
      installer.boxes[0].text.find(L"VelacorteServidor.exe: desempacotar \"c:\\Velacorte\\tmp\\1002.zip\""),
      std::wstring::npos)
      << installer.boxes[0].text;
  expect_absent({{"VelacorteServidor.exe", L"c:\\Velacorte"}});
  EXPECT_FALSE(fs::exists(L"c:\\Velacorte\\tmp\\1002.zip"));
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}});

  service.clear_log();
  installer.press_install();
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  EXPECT_EQ(fetches("/site/arquivos/produto/1002.zip"), 1);
  expect_placed({{"VelacorteServidor.exe", L"c:\\Velacorte"}});
  EXPECT_EQ(_wcsicmp(link_target(fs::path(desktop) / L"Velacorte Servidor.lnk").c_str(),
                     L"c:\\Velacorte\\VelacorteServidor.exe"),
            0);
}

const wchar_t kOwnLog[] = L"C:\\velacorte-testes\\registro da loja.log";

using Unattended = EndToEnd;

TEST_P(Unattended, LinesThatAreNotUnderstoodExit87AndChangeNothing) {
  // Each holds /VERYSILENT, so no usage box waits for anybody.
  const wchar_t *lines[] = {
      L"/VERYSILENT",
      L"/VERYSILENT /TIPO=servidor",
      L"/VERYSILENT /TIPO=Servidor /COMPONENTES=firebird,java",
      L"/VERYSILENT /TIPO=Servidor /TENTATIVAS=0",
      L"/VERYSILENT /TIPO=Servidor /SILENT",
      L"/VERYSILENT /TIPO=Servidor /LOG=",
      L"/VERYSILENT /TIPO=Servidor \"/LOG=C:\\velacorte-testes\\registro da loja.log\" extra",
      L"/VERYSILENT /TIPO=Servidor /TIPO=Estacao",
      L"/VERYSILENT \"/TIPO=Servidor;del c:\\\"",
  };
  for (const wchar_t *line : lines) {
    SCOPED_TRACE(testing::Message() << line);
    EXPECT_EQ(run_install(line), 87u);
    EXPECT_FALSE(fs::exists(L"c:\\Velacorte"));
    EXPECT_FALSE(fs::exists(kOwnLog));
    EXPECT_FALSE(fs::exists(kProgramLog));
    EXPECT_FALSE(uninstall_entry_exists());
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, L"VELACORTE"));
  }
  EXPECT_TRUE(service.log().empty());
  EXPECT_EQ(run_install(L"/VERYSILENT /?"), 0u);
  EXPECT_FALSE(fs::exists(L"c:\\Velacorte"));
}

TEST_P(Unattended, VerySilentServerRunWithEveryComponent) {
  ASSERT_EQ(run_install(L"/verysilent /TIPO=Servidor /COMPONENTES=firebird,ultravnc,ibo,caminho,banco"), 0u);
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"},
                 {"VelacorteServidor.exe", L"c:\\Velacorte"},
                 {"midas.dll", system_folder},
                 {"rave.dll", program_files + L"\\Velacorte"},
                 {"Leia-me.txt", desktop},
                 {"Parametros.dat", L"c:\\velacorte\\dados"},
                 {"Utilitarios.exe", L"c:\\Velacorte\\Utilitarios"}});
  EXPECT_EQ(contents(L"c:\\Velacorte\\Dados\\Velacorte6.fdb"), demo_contents("Velacorte6.fdb"));
  EXPECT_EQ(registry_text(HKEY_CURRENT_USER, L"VELACORTE", L"Database"),
            L"c:\\velacorte\\dados\\velacorte6.fdb");
  EXPECT_EQ(uninstall_entry_text(L"DisplayVersion"), L"7.7.0.0");

  // The setup programs got the switches that keep them from waiting for a person, each awaited in turn;
  // regsvr32 shows no result box.
  std::vector<ProgramEvent> events = read_program_log();
  int previous_end = -1;
  for (const wchar_t *setup :
       {L"Firebird-2.5.2_x64.exe", L"UltraVNC_1.0.8.2_Setup.exe", L"IboConsoleSetup.exe"}) {
    int start = find_event(events, setup, true);
    ASSERT_GT(start, previous_end) << setup;
    const std::wstring &command = events[start].command_line;
    EXPECT_NE(command.find(L" /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP-"), std::wstring::npos) << command;
    previous_end = find_event(events, setup, false, start);
    ASSERT_GT(previous_end, start) << setup;
  }
  int registrations = 0;
  for (int i = find_event(events, L"regsvr32.exe", true); i >= 0;
       i = find_event(events, L"regsvr32.exe", true, i + 1), ++registrations)
    EXPECT_NE(events[i].command_line.find(L" /s "), std::wstring::npos) << events[i].command_line;
  EXPECT_EQ(registrations, 2);

  std::string log = contents(kInstallLog);
  EXPECT_NE(log.find(" modo sem operador: /VERYSILENT, tipo Servidor, tentativas 2\r\n"), std::string::npos);
  EXPECT_NE(log.find(" fim: Concluído, 12 arquivos colocados, 0 não colocados\r\n"), std::string::npos);
  EXPECT_EQ(log.find("perguntar"), std::string::npos);
  EXPECT_EQ(log.find("mensagem"), std::string::npos);
}

TEST_P(Unattended, VerySilentWorkstationRunWritesItsOwnLog) {
  fs::create_directories(L"C:\\velacorte-testes");
  ASSERT_EQ(
      run_install(L"/VERYSILENT /TIPO=Estação /COMPONENTES=caminho \"/LOG=" + std::wstring(kOwnLog) + L"\""),
      0u);
  expect_placed({{"VelacorteEstacao.exe", L"c:\\Velacorte"}, {"fbclient.dll", system_folder}});
  expect_absent({{"Parametros.dat", L"c:\\velacorte\\dados"}, {"VelacorteServidor.exe", L"c:\\Velacorte"}});
  EXPECT_EQ(registry_text(HKEY_CURRENT_USER, L"VELACORTE", L"Database"),
            L"SERVIDOR:c:\\velacorte\\dados\\velacorte6.fdb");
  EXPECT_EQ(find_event(read_program_log(), L"Firebird-2.5.2_x64.exe", true), -1);
  EXPECT_FALSE(fs::exists(kInstallLog));
  std::string log = contents(kOwnLog);
  EXPECT_NE(log.find(" início: instalador 7.7.0.0, tipo Estação"), std::string::npos) << log.substr(0, 300);
  EXPECT_NE(log.find(" fim: Concluído, "), std::string::npos);
}

TEST_P(Unattended, GivenUpDownloadAfterItsRoundsExits1603) {
  struct Case {
    const wchar_t *rounds_switch;
    int attempts;
    const char *last_answer;
  } cases[] = {{L"", 6, "Não (sem operador, rodada 2 de 2)"},
               {L" /TENTATIVAS=1", 3, "Não (sem operador, rodada 1 de 1)"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.attempts);
    clean_machine();
    service.clear_log();
    // Exactly the attempts that the rounds allow fail: one more would have succeeded.
    service.fail("/site/arquivos/produto/1001.zip", c.attempts);
    EXPECT_EQ(run_install(std::wstring(L"/VERYSILENT /TIPO=Servidor /COMPONENTES=") + c.rounds_switch),
              1603u);
    EXPECT_EQ(fetches("/site/arquivos/produto/1001.zip"), c.attempts);
    expect_absent({{"Velacorte.exe", L"c:\\Velacorte"}});
    expect_placed({{"VelacorteServidor.exe", L"c:\\Velacorte"}});
    std::string log = contents(kInstallLog);
    const std::string question = " perguntar \"Falha ao baixar o arquivo, tentar novamente?\": ";
    EXPECT_NE(log.find(question + c.last_answer + "\r\n"), std::string::npos) << log;
    EXPECT_NE(
        log.find("/site/arquivos/produto/1001.zip: tentativa " + std::to_string(c.attempts) + ", HTTP 500"),
        std::string::npos);
    EXPECT_NE(log.find(" mensagem (sem operador): Arquivos não instalados:  Velacorte.exe: baixar "),
              std::string::npos);
    EXPECT_NE(log.find(" fim: Concluído com falhas, 11 arquivos colocados, 1 não colocados\r\n"),
              std::string::npos);
  }
}

// Archives whose rows offer their digest outlive a run that could not place every entry: the next run
// checks them and fetches none again; once a run has placed every entry they go.
TEST_P(Unattended, SecondRunAfterAFileInUseFetchesNoCheckedArchiveAgain) {
  std::vector<std::string> ids;
  std::string sql =
      "CREATE TABLE IF NOT EXISTS sistema.check_files_sem_digest AS SELECT * FROM sistema.check_files;"
      "ALTER TABLE sistema.check_files ADD COLUMN sha256 VARCHAR(64) DEFAULT ''";
  for (const auto &archive : fs::directory_iterator(fs::path(service.files_folder()) / "produto")) {
    std::optional<FileDigest> digest = file_digest(archive.path().wstring());
    ASSERT_TRUE(digest) << archive.path();
    ids.push_back(archive.path().stem().string());
    sql += ";UPDATE sistema.check_files SET sha256 = '" + digest->sha256 + "' WHERE check_id = '" +
           ids.back() + "'";
  }
  run_script(service, sql);
  struct RestoreList {
    const queryd_test::QuerydServer &service;
    ~RestoreList() {
      run_script(service,
                 "DELETE FROM sistema.check_files;ALTER TABLE sistema.check_files DROP COLUMN sha256;"
                 "INSERT INTO sistema.check_files SELECT * FROM sistema.check_files_sem_digest");
    }
  } restore{service};
  auto archive_fetches = [&] {
    int count = 0;
    for (const std::string &id : ids)
      count += fetches("/site/arquivos/produto/" + id + ".zip");
    return count;
  };

  fs::create_directories(L"c:\\Velacorte");
  std::ofstream(L"c:\\Velacorte\\Velacorte.exe", std::ios::binary) << "versão antiga";
  {
    FileHolder product(L"c:\\Velacorte\\Velacorte.exe");
    service.clear_log();
    EXPECT_EQ(run_install(L"/VERYSILENT /TIPO=Servidor /COMPONENTES="), 1603u);
    EXPECT_GE(archive_fetches(), 8);
  }
  std::string log = contents(kInstallLog);
  EXPECT_NE(
      log.find(" manter c:\\Velacorte\\tmp\\1001.zip: verificado por sha256, para a próxima execução\r\n"),
      std::string::npos)
      << log;

  service.clear_log();
  EXPECT_EQ(run_install(L"/VERYSILENT /TIPO=Servidor /COMPONENTES="), 0u);
  EXPECT_EQ(archive_fetches(), 0);
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}, {"VelacorteServidor.exe", L"c:\\Velacorte"}});
  log = contents(kInstallLog);
  EXPECT_NE(log.find(" baixar Velacorte.exe: c:\\Velacorte\\tmp\\1001.zip já presente\r\n"),
            std::string::npos);
  EXPECT_NE(log.find(" apagar c:\\Velacorte\\tmp\\1001.zip: todas as entradas colocadas\r\n"),
            std::string::npos);
  for (const std::string &id : ids)
    EXPECT_FALSE(fs::exists(L"c:\\Velacorte\\tmp\\" + std::wstring(id.begin(), id.end()) + L".zip")) << id;
}

TEST_P(Unattended, FailureReportGoesToTheLog) {
  service.fail("/servicos/wsdl/selectxml/selectxml.php", 1, 503);
  EXPECT_EQ(run_install(L"/VERYSILENT /TIPO=Servidor"), 1603u);
  std::string log = contents(kInstallLog);
  EXPECT_NE(log.find(" fim: falha: Erro na execução do comando"), std::string::npos) << log;
  EXPECT_NE(log.find(" mensagem (sem operador): Erro na execução do comando"), std::string::npos) << log;
  EXPECT_FALSE(uninstall_entry_exists());
}

// The window follows the run and nothing waits for a person: the run ends by itself.
TEST_P(EndToEnd, SilentRunShowsTheWindowAndAsksNothing) {
  service.fail("/site/arquivos/produto/1001.zip", 3);
  bool shown = false, boxed = false;
  DWORD code = run_install(L"/SILENT /TIPO=Servidor /COMPONENTES=ultravnc", [&] {
    HWND form = FindWindowW(L"TForm1", L"Instalador Velacorte");
    shown = shown || (form && IsWindowVisible(form));
    boxed = boxed || FindWindowW(L"#32770", nullptr);
  });
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(boxed);
  EXPECT_EQ(fetches("/site/arquivos/produto/1001.zip"), 4);
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}});
  std::string log = contents(kInstallLog);
  EXPECT_NE(log.find(" modo sem operador: /SILENT, tipo Servidor, tentativas 2\r\n"), std::string::npos);
  EXPECT_NE(
      log.find(
          " perguntar \"Falha ao baixar o arquivo, tentar novamente?\": Sim (sem operador, rodada 1 de 2)"),
      std::string::npos);
  int vnc = find_event(read_program_log(), L"UltraVNC_1.0.8.2_Setup.exe", true);
  ASSERT_GE(vnc, 0);
  EXPECT_NE(read_program_log()[vnc].command_line.find(L"/VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP-"),
            std::wstring::npos);
}

TEST_P(EndToEnd, UninstallRemovesTheProductAndKeepsTheShopsDataThenAnInstallWorksAgain) {
  {
    InstallerDriver installer(install_exe(), patience());
    start_run(installer, L"Servidor", {true, true, true, true, true});
    ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
    EXPECT_EQ(installer.close(), 0u);
  }
  ASSERT_TRUE(fs::exists(L"c:\\Velacorte\\Uninstall.exe"));
  ASSERT_TRUE(fs::exists(L"c:\\Velacorte\\Install.manifest"));
  // The operator changed one placed file after the install.
  std::ofstream(L"c:\\Velacorte\\Relatorios\\Relatorios.rav", std::ios::app) << "ajuste da loja";

  EXPECT_EQ(uninstall(L"/VERYSILENT", patience()), 0u);

  // Gone: the product's files, shortcuts and uninstall entry.
  expect_absent({{"Velacorte.exe", L"c:\\Velacorte"},
                 {"VelacorteServidor.exe", L"c:\\Velacorte"},
                 {"Utilitarios.exe", L"c:\\Velacorte\\Utilitarios"},
                 {"Install.manifest", L"c:\\Velacorte"}});
  EXPECT_FALSE(fs::exists(L"c:\\Velacorte\\Utilitarios"));
  EXPECT_FALSE(fs::exists(L"c:\\Velacorte\\NFE2\\PDF"));
  for (const wchar_t *link : {L"Velacorte.lnk", L"Velacorte Servidor.lnk", L"Utilitários Velacorte.lnk"})
    EXPECT_FALSE(fs::exists(fs::path(desktop) / link)) << link;
  EXPECT_FALSE(uninstall_entry_exists());
  // Kept: the data, the token file, the settings, what other programs share, the changed file.
  const std::wstring data = L"c:\\velacorte\\dados";
  expect_placed({{"Parametros.dat", data},
                 {"Tabelas.dat", data},
                 {"midas.dll", system_folder},
                 {"rave.dll", program_files + L"\\Velacorte"},
                 {"Leia-me.txt", desktop}});
  EXPECT_EQ(contents(L"c:\\Velacorte\\Dados\\Velacorte6.fdb"), demo_contents("Velacorte6.fdb"));
  EXPECT_TRUE(fs::exists(L"c:\\velacorte\\velacorte.ini"));
  EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, L"VELACORTE"));
  EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, kFirebirdKey));
  EXPECT_TRUE(fs::exists(L"c:\\install\\IboConsoleSetup.exe"));
  EXPECT_TRUE(fs::exists(system_folder + L"\\capicom.dll"));
  EXPECT_EQ(contents(L"c:\\Velacorte\\Relatorios\\Relatorios.rav"),
            demo_contents("Relatorios.rav") + "ajuste da loja");
  std::string log = contents(kInstallLog);
  EXPECT_NE(log.find("manter c:\\Velacorte\\Relatorios\\Relatorios.rav: alterado depois da instalação"),
            std::string::npos)
      << log;
  EXPECT_NE(lower(log).find("manter " + lower(text_of(system_folder)) + "\\midas.dll: compartilhado"),
            std::string::npos)
      << log;

  InstallerDriver again(install_exe(), patience());
  start_run(again, L"Servidor", {false, false, false, false, false});
  ASSERT_TRUE(again.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}, {"Relatorios.rav", L"c:\\Velacorte\\Relatorios"}});
  EXPECT_TRUE(uninstall_entry_exists());
  EXPECT_TRUE(fs::exists(L"c:\\Velacorte\\Uninstall.exe"));
}

TEST_P(EndToEnd, UninstallAsksFirstAndNoLeavesEverythingWith1602) {
  {
    InstallerDriver installer(install_exe(), patience());
    start_run(installer, L"Servidor", {false, false, false, false, false});
    ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  }
  RefusedStart asked = start_refused(L"c:\\Velacorte\\Uninstall.exe", IDNO, patience());
  EXPECT_EQ(asked.box.text, L"Deseja remover o Velacorte deste computador?");
  EXPECT_EQ(asked.exit_code, 1602u);
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}});
  EXPECT_TRUE(fs::exists(L"c:\\Velacorte\\Uninstall.exe"));
  EXPECT_TRUE(fs::exists(L"c:\\Velacorte\\Install.manifest"));
  EXPECT_TRUE(uninstall_entry_exists());
}

TEST_P(EndToEnd, UninstallRefusesWhileAPlacedProgramRuns) {
  {
    InstallerDriver installer(install_exe(), patience());
    start_run(installer, L"Servidor", {false, false, false, false, false});
    ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  }
  // The product's program, running: a copy of the stand-in placed under its name, recorded as placed.
  ASSERT_TRUE(CopyFileW(STANDIN_EXE, L"c:\\Velacorte\\VelacorteServidor.exe", FALSE));
  fs::create_directories(L"C:\\velacorte-testes");
  std::ofstream(L"C:\\velacorte-testes\\aberto") << "x";
  {
    FileHolder running(L"C:\\velacorte-testes\\aberto", L"c:\\Velacorte\\VelacorteServidor.exe");
    EXPECT_EQ(uninstall(L"/SILENT", patience()), 1603u);
  }
  EXPECT_TRUE(fs::exists(L"c:\\Velacorte\\Velacorte.exe"));
  EXPECT_TRUE(uninstall_entry_exists());
  EXPECT_NE(contents(kInstallLog).find("recusado, c:\\Velacorte\\VelacorteServidor.exe em execução"),
            std::string::npos);
}

TEST_P(EndToEnd, UninstallWithAHostileManifestTouchesNothingOutside) {
  {
    InstallerDriver installer(install_exe(), patience());
    start_run(installer, L"Servidor", {false, false, false, false, false});
    ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
  }
  // Lines naming files elsewhere with their true size and digest, so that only the rules keep them.
  fs::create_directories(L"C:\\velacorte-testes");
  std::ofstream(L"C:\\velacorte-testes\\vitima.txt") << "abc";
  const std::string digest = "\",\"size\":3,\"sha256\":"
                             "\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"}\n";
  std::ofstream manifest(L"c:\\Velacorte\\Install.manifest", std::ios::binary | std::ios::trunc);
  for (const char *path :
       {"C:\\\\velacorte-testes\\\\vitima.txt", "c:\\\\Velacorte\\\\..\\\\velacorte-testes\\\\vitima.txt",
        "c:\\\\Velacorte\\\\dados\\\\..\\\\..\\\\velacorte-testes\\\\vitima.txt"})
    manifest << "{\"version\":1,\"kind\":\"file\",\"path\":\"" << path << digest;
  manifest << "{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\velacorte-testes\"}\n"
           << "{\"version\":1,\"kind\":\"shortcut\",\"path\":\"C:\\\\velacorte-testes\\\\vitima.txt\"}\n"
           << "{\"version\":1,\"kind\":\"file\",\"pa";
  manifest.close();

  EXPECT_EQ(uninstall(L"/VERYSILENT", patience()), 0u);

  EXPECT_EQ(contents(L"C:\\velacorte-testes\\vitima.txt"), "abc");
  EXPECT_EQ(contents(L"c:\\Velacorte\\Dados\\Parametros.dat"), demo_contents("Parametros.dat"));
  // Without the run's own lines, the shortcuts and the entry still go, and files placed stay.
  EXPECT_FALSE(fs::exists(fs::path(desktop) / L"Velacorte.lnk"));
  EXPECT_FALSE(uninstall_entry_exists());
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}});
  std::string log = contents(kInstallLog);
  EXPECT_NE(log.find("Install.manifest linha 6: não lida"), std::string::npos) << log;
  EXPECT_NE(log.find("manter C:\\velacorte-testes\\vitima.txt: compartilhado"), std::string::npos) << log;
  EXPECT_NE(log.find("manter c:\\Velacorte\\..\\velacorte-testes\\vitima.txt: caminho recusado"),
            std::string::npos)
      << log;
}

INSTANTIATE_TEST_SUITE_P(Builds, EndToEnd, testing::Values(kBuild64, kBuild32), build_name);
INSTANTIATE_TEST_SUITE_P(Builds, Unattended, testing::Values(kBuild64, kBuild32), build_name);

} // namespace
