// The real Install.exe of this build, driven through its window against its own velacorte-queryd, and
// what the machine holds afterwards.
#include "installer_driver.h"
#include "program_log.h"
#include "queryd_server.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

const std::wstring kArtifacts = ARTIFACT_FOLDER;

std::wstring shell_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::wstring registry_text(HKEY root, const wchar_t *key, const wchar_t *value) {
  wchar_t data[512] = {};
  DWORD size = sizeof(data);
  if (RegGetValueW(root, key, value, RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, data, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return data;
}

bool key_exists(HKEY root, const wchar_t *key) {
  HKEY opened;
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return false;
  RegCloseKey(opened);
  return true;
}

std::string contents(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string demo_contents(const std::string &name) {
  return "Velacorte demo: " + name + "\r\n";
}

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

// The Program Files folder that 32-bit programs see, which the file list's "pfiles" names. A 64-bit
// Windows always has it; a Wine prefix without 32-bit support lacks it, so it is given here.
std::wstring programs_folder_of_32_bit_programs() {
  const wchar_t folder[] = L"C:\\Program Files (x86)";
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, nullptr, 0,
                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"ProgramFilesDir", 0, REG_SZ, reinterpret_cast<const BYTE *>(folder),
                   sizeof(folder));
    RegCloseKey(key);
  }
  CreateDirectoryW(folder, nullptr);
  return folder;
}

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte";
const wchar_t kFirebirdKey[] = L"SYSTEM\\CurrentControlSet\\services\\FirebirdServerDefaultInstance";

struct Placed {
  const char *arquivo;
  std::wstring folder;
};

class EndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    CoInitialize(nullptr);
    system_folder = shell_folder(CSIDL_SYSTEMX86);
    desktop = shell_folder(CSIDL_DESKTOPDIRECTORY);
    program_files = programs_folder_of_32_bit_programs();
    clean_machine();
    // The setup programs that the run expects in the setup folder, and regsvr32.exe in the system folder.
    fs::create_directories(L"c:\\install");
    for (const wchar_t *setup :
         {L"c:\\install\\UltraVNC_1.0.8.2_Setup.exe", L"c:\\install\\IboConsoleSetup.exe",
          (system_folder + L"\\regsvr32.exe").c_str()})
      ASSERT_TRUE(CopyFileW(STANDIN_EXE, setup, FALSE)) << setup;
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
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
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

int always(int button, const SeenBox &) {
  return button;
}

TEST_F(EndToEnd, ServerRunWithEveryOptionThenASecondRunOverIt) {
  InstallerDriver installer(INSTALL_EXE);
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
  EXPECT_EQ(registry_text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"), L"7.7.0.0");
  std::string token = contents(L"c:\\velacorte\\velacorte.ini");
  EXPECT_NE(token.find("U5A1C0E97B4D"), std::string::npos) << token;
  EXPECT_EQ(fetches("/site/arquivos/instaladores/Velacorte6.zip"), 1);

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
}

TEST_F(EndToEnd, WorkstationRunLeavesTheDataFolderEntriesAlone) {
  InstallerDriver installer(INSTALL_EXE);
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

TEST_F(EndToEnd, OnlyLibrariesRunPlacesLibraryFilesAndNothingElse) {
  InstallerDriver installer(INSTALL_EXE);
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
  EXPECT_EQ(registry_text(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"), L"7.7.0.0");
}

TEST_F(EndToEnd, FailedDownloadsAskAndOnlyYesTriesAgain) {
  service.fail("/site/arquivos/produto/1001.zip", 3);
  service.fail("/site/arquivos/produto/1010.zip", 3);
  service.fail("/site/arquivos/instaladores/nfe2/nfe2.zip", 3);
  service.fail("/site/arquivos/instaladores/Firebird-2.5.2_x64.zip", 3);
  InstallerDriver installer(INSTALL_EXE);
  start_run(installer, L"Servidor", {true, false, false, false, false});
  bool pictured = false;
  ASSERT_TRUE(installer.run_until(
      L"Concluído", [&](const SeenBox &) { return installer.boxes.empty() ? IDYES : IDNO; },
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
  ASSERT_EQ(installer.boxes.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(installer.boxes[i].text, expected[i].text) << i;
    EXPECT_EQ(installer.boxes[i].title, L"") << i;
    EXPECT_EQ(installer.boxes[i].buttons, 3) << i;
    EXPECT_EQ(installer.boxes[i].total_position, expected[i].total_position) << i;
  }
  EXPECT_EQ(installer.total_position(), 12 + 3);

  EXPECT_EQ(fetches("/site/arquivos/produto/1001.zip"), 4);
  EXPECT_EQ(fetches("/site/arquivos/produto/1010.zip"), 3);
  EXPECT_EQ(fetches("/site/arquivos/instaladores/nfe2/nfe2.zip"), 3);
  EXPECT_EQ(fetches("/site/arquivos/instaladores/Firebird-2.5.2_x64.zip"), 3);
  expect_placed({{"Velacorte.exe", L"c:\\Velacorte"}, {"Utilitarios.exe", L"c:\\Velacorte\\Utilitarios"}});
  expect_absent({{"Relatorios.rav", L"c:\\Velacorte\\Relatorios"}, {"capicom.dll", system_folder}});
  // Given up NF-e files are neither copied nor registered; the given-up Firebird setup is not there to start.
  EXPECT_EQ(find_event(read_program_log(), L"regsvr32.exe", true), -1);
  EXPECT_EQ(find_event(read_program_log(), L"Firebird-2.5.2_x64.exe", true), -1);
}

TEST_F(EndToEnd, QueryServiceFailureEndsTheRunBeforeAnyDownload) {
  service.fail("/servicos/wsdl/selectxml/selectxml.php", 1, 503);
  InstallerDriver installer(INSTALL_EXE);
  start_run(installer, L"Servidor", {false, false, false, false, false});
  ASSERT_TRUE(installer.answer_one_box(IDOK));
  EXPECT_EQ(installer.boxes[0].title, L"Install");
  EXPECT_EQ(installer.boxes[0].text.rfind(L"Erro na execução do comando", 0), 0u) << installer.boxes[0].text;
  Sleep(500);
  EXPECT_FALSE(installer.type_box_enabled());
  EXPECT_NE(installer.status(), L"Concluído");
  for (const std::string &line : service.log())
    EXPECT_EQ(line.find("/site/arquivos/"), std::string::npos) << line;
  EXPECT_FALSE(fs::exists(L"c:\\Velacorte\\Velacorte.exe"));
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(EndToEnd, ArchiveThatCannotBeUnpackedIsFetchedAfreshByTheNextRun) {
  // The first download of one archive answers an HTML page with status 200.
  service.fail("/site/arquivos/produto/1002.zip", 1, 200);
  InstallerDriver installer(INSTALL_EXE);
  start_run(installer, L"Servidor", {false, false, false, false, false});
  ASSERT_TRUE(installer.run_until(L"Concluído", [](const SeenBox &b) { return always(IDCANCEL, b); }));
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

} // namespace
