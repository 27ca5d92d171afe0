// The real Install.exe against a file list that offers digests, and against setup programs and
// libraries whose signatures are good, absent or broken. The list's sha256 column is added here and taken
// away again: every other run of the service's list has none, as today's services have none.
#include "installer_driver.h"
#include "program_log.h"
#include "queryd_server.h"
#include "service_script.h"
#include "test_files.h"
#include "text.h"
#include "uMySql.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const wchar_t kInstallLog[] = L"c:\\Velacorte\\Install.log";
const wchar_t kFirebirdKey[] = L"SYSTEM\\CurrentControlSet\\services\\FirebirdServerDefaultInstance";
const std::wstring kSeed = SEED_FOLDER;

std::string upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::wstring system_folder() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_SYSTEMX86, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

struct Row {
  std::string check_id;
  std::string sha256; // the column's value, when the list has the column
};

class PayloadRun : public ::testing::Test {
protected:
  void SetUp() override {
    clean_machine();
    fs::create_directories(L"c:\\install");
    ASSERT_TRUE(CopyFileW(STANDIN_EXE, (system_folder() + L"\\regsvr32.exe").c_str(), FALSE));
    run_script(
        "CREATE TABLE IF NOT EXISTS sistema.check_files_sem_sha256 AS SELECT * FROM sistema.check_files");
    for (const char *package : {"instaladores/Firebird-2.5.2_x64.zip", "instaladores/nfe2/nfe2.zip"})
      packages.push_back({files() / package, contents(files() / package)});
    sha256sum = contents(kSeed + L"\\sha256\\caso.zip.sha256").substr(0, 64);
  }
  void TearDown() override {
    run_script("DELETE FROM sistema.check_files" +
               std::string(column_added ? ";ALTER TABLE sistema.check_files DROP COLUMN sha256" : "") +
               ";INSERT INTO sistema.check_files SELECT * FROM sistema.check_files_sem_sha256");
    for (const auto &[path, bytes] : packages)
      write_file(path, bytes);
    std::error_code ignored;
    fs::remove_all(files() / "sha256-teste", ignored);
    clean_machine();
  }

  void clean_machine() {
    std::error_code ignored;
    for (const wchar_t *folder : {L"c:\\Velacorte", L"c:\\install", L"C:\\velacorte-testes", L"C:\\SPED",
                                  L"C:\\Program Files\\Firebird"})
      fs::remove_all(folder, ignored);
    for (const wchar_t *file : {L"capicom.dll", L"msxml5.dll", L"msxml5r.dll"})
      fs::remove(system_folder() + L"\\" + file, ignored);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"VELACORTE");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kFirebirdKey);
  }

  fs::path files() const { return fs::path(service.files_folder()); }

  void run_script(const std::string &sql) { ::run_script(service, sql); }

  // Replaces the list with one entry per row, each the archive caso.zip under its own name, holding
  // Verificado.txt for the folder c:\velacorte-testes\<check_id>; with the sha256 column when asked.
  void set_list(const std::vector<Row> &rows, bool with_sha256) {
    std::string sql = "DELETE FROM sistema.check_files";
    if (with_sha256) {
      sql += ";ALTER TABLE sistema.check_files ADD COLUMN sha256 CHAR(64)";
      column_added = true;
    }
    for (const Row &row : rows) {
      write_file(files() / "sha256-teste" / (row.check_id + ".zip"), contents(kSeed + L"\\sha256\\caso.zip"));
      sql += ";INSERT INTO sistema.check_files VALUES (" + literal(row.check_id) + ",'Verificado.txt'," +
             literal("c:\\velacorte-testes\\" + row.check_id) + ",'',''," + literal(link(row.check_id)) +
             ",'S','*'" + (with_sha256 ? "," + literal(row.sha256) : "") + ")";
    }
    run_script(sql);
  }

  std::string link(const std::string &check_id) const {
    return service.base_url() + "/site/arquivos/sha256-teste/" + check_id + ".zip";
  }

  int fetches(const std::string &check_id) const {
    auto log = service.log();
    std::string request = "GET\t/site/arquivos/sha256-teste/" + check_id + ".zip";
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string &line) {
      return line.rfind(request + "\t", 0) == 0 || line == request;
    }));
  }

  bool placed(const std::string &check_id) const {
    return contents("c:\\velacorte-testes\\" + check_id + "\\Verificado.txt") ==
           "Velacorte teste: Verificado.txt\r\n";
  }

  // A server run with only Firebird ticked, or nothing; the run's boxes, each answered No.
  void install(InstallerDriver &installer, bool firebird, bool with_failures) {
    installer.choose_type(L"Servidor");
    for (const wchar_t *option :
         {L"Instalar UltraVNC", L"Instalar IBO Console", L"Configurar Caminho BD", L"Baixar Banco de Dados"})
      installer.set_option(option, false);
    installer.set_option(L"Instalar Firebird", firebird);
    service.clear_log();
    installer.press_install();
    auto no = [](const SeenBox &) { return IDNO; };
    ASSERT_TRUE(with_failures ? installer.run_until_summary(no) : installer.run_until(L"Concluído", no));
  }

  queryd_test::QuerydServer service;
  std::vector<std::pair<fs::path, std::string>> packages;
  std::string sha256sum;
  bool column_added = false;
};

TEST_F(PayloadRun, DigestsOfTheListAreCheckedAndABadOneIsNeverFetched) {
  const std::string wrong(64, '0');
  set_list({{"4001", upper(sha256sum)},
            {"4002", wrong},
            {"4003", "xyz"},
            {"4004", ""},
            {"4005", sha256sum.substr(1)},
            {"4006", sha256sum}},
           true);
  // An archive that an earlier run left, not the one the list describes.
  write_file(L"c:\\Velacorte\\tmp\\4006.zip", "antigo");

  InstallerDriver installer(INSTALL_EXE);
  install(installer, false, true);
  ASSERT_EQ(installer.boxes.size(), 2u);
  EXPECT_EQ(installer.boxes[0].text, L"Falha ao baixar o arquivo, tentar novamente?");
  const std::wstring summary = installer.boxes[1].text;
  for (const std::string &named :
       {"Verificado.txt: baixar " + link("4002") + ": abandonado\r\n",
        "Verificado.txt: baixar " + link("4003") + ": checksum inválido \"xyz\"\r\n",
        "Verificado.txt: baixar " + link("4005") + ": checksum inválido \"" + sha256sum.substr(1) + "\"\r\n",
        std::string("Total: 3 não instalado(s), 3 instalado(s).")})
    EXPECT_NE(summary.find(text::widen(named)), std::wstring::npos) << named;
  EXPECT_EQ(installer.close(), 1603u);

  // A run that left entries not placed keeps the archives it checked by their digest, for the next run;
  // the others go as always.
  struct Expected {
    const char *check_id;
    int fetches;
    bool placed;
    bool kept;
  } expected[] = {{"4001", 1, true, true},  {"4002", 3, false, false}, {"4003", 0, false, false},
                  {"4004", 1, true, false}, {"4005", 0, false, false}, {"4006", 1, true, true}};
  std::string log = contents(kInstallLog);
  for (const Expected &e : expected) {
    const std::string archive = "c:\\Velacorte\\tmp\\" + std::string(e.check_id) + ".zip";
    EXPECT_EQ(fetches(e.check_id), e.fetches) << e.check_id;
    EXPECT_EQ(placed(e.check_id), e.placed) << e.check_id;
    EXPECT_EQ(fs::exists(archive), e.kept) << e.check_id;
    EXPECT_EQ(log.find("manter " + archive + ": verificado por sha256") != std::string::npos, e.kept)
        << e.check_id;
  }
  EXPECT_NE(log.find("sha256 c:\\Velacorte\\tmp\\4002.zip: esperado " + wrong + ", obtido " + sha256sum +
                     "; apagado"),
            std::string::npos);
  EXPECT_NE(log.find("tentativa 3, HTTP 200"), std::string::npos);
  EXPECT_NE(log.find("sha256 c:\\Velacorte\\tmp\\4006.zip: esperado " + sha256sum), std::string::npos);
  EXPECT_NE(
      log.find("nfe2.zip, Firebird-2.5.2_Win32.zip, Firebird-2.5.2_x64.zip: o serviço não oferece sha256"),
      std::string::npos);
}

TEST_F(PayloadRun, ListWithoutTheColumnIsNotChecked) {
  set_list({{"4101", ""}}, false);

  InstallerDriver installer(INSTALL_EXE);
  install(installer, false, false);
  EXPECT_TRUE(installer.boxes.empty());
  EXPECT_EQ(installer.close(), 0u);
  EXPECT_EQ(fetches("4101"), 1);
  EXPECT_TRUE(placed("4101"));
  EXPECT_EQ(contents(kInstallLog).find("sha256 c:\\Velacorte\\tmp\\4101"), std::string::npos);
}

TEST_F(PayloadRun, AlteredLibraryIsNeitherCopiedNorRegisteredAndSignedOnesGoOn) {
  set_list({{"4201", ""}}, false);
  write_file(files() / "instaladores" / "Firebird-2.5.2_x64.zip",
             contents(kSeed + L"\\assinatura\\Firebird-signed.zip"));
  write_file(files() / "instaladores" / "nfe2" / "nfe2.zip", contents(kSeed + L"\\assinatura\\nfe2.zip"));

  InstallerDriver installer(INSTALL_EXE);
  install(installer, true, true);
  const std::wstring summary = installer.boxes.back().text;
  EXPECT_NE(summary.find(L"capicom.dll: assinatura c:\\Velacorte\\Nfe2\\capicom\\capicom.dll: conteúdo "
                         L"alterado após a assinatura (0x80096010)\r\n"),
            std::wstring::npos)
      << text::narrow(summary);
  EXPECT_NE(summary.find(L"Total: 1 não instalado(s), 1 instalado(s)."), std::wstring::npos);
  EXPECT_EQ(installer.close(), 1603u);

  std::vector<ProgramEvent> events = read_program_log();
  EXPECT_NE(find_event(events, L"Firebird-2.5.2_x64.exe", true), -1);
  std::vector<std::wstring> registered;
  for (int i = find_event(events, L"regsvr32.exe", true); i != -1;
       i = find_event(events, L"regsvr32.exe", true, i + 1))
    registered.push_back(events[i].command_line.substr(events[i].command_line.rfind(L' ') + 1));
  EXPECT_EQ(registered, std::vector<std::wstring>{L"msxml5.dll"});
  EXPECT_FALSE(fs::exists(system_folder() + L"\\capicom.dll"));
  EXPECT_FALSE(fs::exists(L"c:\\Velacorte\\Nfe2\\capicom\\capicom.dll"));
  EXPECT_EQ(contents(system_folder() + L"\\msxml5.dll"), contents(kSeed + L"\\assinatura\\signed.exe"));

  // What WinVerifyTrust says of a certificate that no store trusts: Windows names the root, Wine accepts.
  std::string log = contents(kInstallLog);
  size_t line = log.find("assinatura c:\\install\\Firebird-2.5.2_x64.exe: ");
  ASSERT_NE(line, std::string::npos);
  std::string verdict = log.substr(line, log.find('\n', line) - line);
  EXPECT_TRUE(verdict.find(": válida") != std::string::npos ||
              verdict.find(", usado mesmo assim") != std::string::npos)
      << verdict;
  std::cout << verdict << "\n";
}

TEST_F(PayloadRun, AlteredSetupIsNotStartedAndUnsignedLibrariesAre) {
  set_list({{"4301", ""}}, false);
  write_file(files() / "instaladores" / "Firebird-2.5.2_x64.zip",
             contents(kSeed + L"\\assinatura\\Firebird-altered.zip"));

  InstallerDriver installer(INSTALL_EXE);
  install(installer, true, true);
  const std::wstring summary = installer.boxes.back().text;
  EXPECT_NE(summary.find(L"Firebird-2.5.2_x64.exe: assinatura c:\\install\\Firebird-2.5.2_x64.exe: conteúdo "
                         L"alterado após a assinatura (0x80096010)\r\n"),
            std::wstring::npos)
      << text::narrow(summary);
  EXPECT_EQ(installer.close(), 1603u);

  std::vector<ProgramEvent> events = read_program_log();
  EXPECT_EQ(find_event(events, L"Firebird-2.5.2_x64.exe", true), -1);
  EXPECT_FALSE(fs::exists(L"c:\\install\\Firebird-2.5.2_x64.exe"));
  HKEY firebird_entry;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFirebirdKey, 0, KEY_READ, &firebird_entry), ERROR_SUCCESS);
  int first = find_event(events, L"regsvr32.exe", true);
  ASSERT_NE(first, -1);
  EXPECT_NE(find_event(events, L"regsvr32.exe", true, first + 1), -1);
  std::string log = contents(kInstallLog);
  for (const char *line :
       {"assinatura c:\\Velacorte\\Nfe2\\capicom\\capicom.dll: sem assinatura\r\n",
        "assinatura c:\\Velacorte\\Nfe2\\capicom\\msxml5.dll: sem assinatura\r\n",
        "assinatura c:\\install\\Firebird-2.5.2_x64.exe: conteúdo alterado após a assinatura "
        "(0x80096010), recusado e apagado\r\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

} // namespace
