// The real Install.exe against file lists that a broken or hostile service could send: names that climb
// out of their folders, an empty location, archives that are not archives, a very long list. The run
// must end, place what is sound and write nothing outside the folders that the list names.
#include "installer_driver.h"
#include "product_build.h"
#include "queryd_server.h"
#include "service_script.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kDemoArchive[] = "/site/arquivos/produto/1001.zip"; // holds Velacorte.exe
const wchar_t kVictim[] = L"c:\\windows\\x.dll";
const wchar_t kWindowsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

class HostileList : public ::testing::TestWithParam<ProductBuild> {
protected:
  void SetUp() override {
    clean_machine();
    write_file(kVictim, "vítima");
    forget_program_files();
    run_script(service,
               "CREATE TABLE IF NOT EXISTS sistema.check_files_demo AS SELECT * FROM sistema.check_files");
  }
  void TearDown() override {
    run_script(service, "DELETE FROM sistema.check_files;"
                        "INSERT INTO sistema.check_files SELECT * FROM sistema.check_files_demo");
    clean_machine();
    HKEY key;
    if (!program_files.empty() && RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0,
                                                KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
      RegSetValueExW(key, L"ProgramFilesDir", 0, REG_SZ,
                     reinterpret_cast<const BYTE *>(program_files.c_str()),
                     static_cast<DWORD>((program_files.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
  }

  // A Windows whose Program Files folder cannot be read: "pfiles" does not resolve. The 32-bit view is the
  // one that the installer reads.
  void forget_program_files() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
      return;
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size) ==
        ERROR_SUCCESS)
      program_files = value;
    RegDeleteValueW(key, L"ProgramFilesDir");
    RegCloseKey(key);
  }

  void clean_machine() {
    std::error_code ignored;
    for (const wchar_t *folder : {L"c:\\Velacorte", L"c:\\velacorte-testes", L"c:\\install"})
      fs::remove_all(folder, ignored);
    fs::remove(kVictim, ignored);
  }

  // Replaces the file list with `rows`, each (check_id, arquivo, local, link path).
  void set_list(const std::vector<std::array<std::string, 4>> &rows) {
    std::string sql = "DELETE FROM sistema.check_files";
    for (const auto &row : rows)
      sql += ";INSERT INTO sistema.check_files VALUES (" + literal(row[0]) + "," + literal(row[1]) + "," +
             literal(row[2]) + ",'',''," + literal(service.base_url() + row[3]) + ",'S','*')";
    run_script(service, sql);
  }

  // A run that cannot place every entry: it ends with the summary box, the run's only box.
  void install(InstallerDriver &installer) {
    installer.choose_type(L"Servidor");
    for (const wchar_t *option : {L"Instalar Firebird", L"Instalar UltraVNC", L"Instalar IBO Console",
                                  L"Configurar Caminho BD", L"Baixar Banco de Dados"})
      installer.set_option(option, false);
    installer.press_install();
    ASSERT_TRUE(installer.run_until_summary([](const SeenBox &) { return IDNO; }));
    ASSERT_EQ(installer.boxes.size(), 1u);
    summary = installer.boxes[0].text;
  }

  queryd_test::QuerydServer service;
  std::wstring program_files;
  std::wstring summary;
};

TEST_P(HostileList, NamesThatClimbOutAndBodiesThatAreNotArchives) {
  // Bodies of the download host that are not ZIP archives.
  fs::path files = service.files_folder();
  write_file(files / "hostil" / "texto.zip", "<html>não é um arquivo</html>");
  write_file(files / "hostil" / "cortado.zip", contents(files / "produto" / "1001.zip").substr(0, 40));
  write_file(files / "hostil" / "vazio.zip", "");
  const std::string target = "c:\\velacorte-testes\\alvo";
  set_list({
      {"3001", "..\\..\\Windows\\x.dll", target, kDemoArchive},
      {"3002", "..\\velacorte.ini", target, kDemoArchive},
      {"..\\..\\velacorte-testes\\fora", "Velacorte.exe", target, kDemoArchive},
      {"3003", "c:\\velacorte-testes\\absoluto.exe", target, kDemoArchive},
      {"3004", "Velacorte.exe", "", kDemoArchive},
      {"3005", "Velacorte.exe", target, "/site/arquivos/hostil/texto.zip"},
      {"3006", "Velacorte.exe", target, "/site/arquivos/hostil/cortado.zip"},
      {"3007", "Velacorte.exe", target, "/site/arquivos/hostil/vazio.zip"},
      {"3008", "Velacorte.exe", target, kDemoArchive},
      {"3009", "Velacorte.exe", "pfiles\\velacorte-testes", kDemoArchive},
  });

  InstallerDriver installer(GetParam().install_exe, GetParam().patience);
  install(installer);
  // Every entry but the sound one is named, with its reason.
  for (const wchar_t *named : {L"..\\..\\Windows\\x.dll: nome fora da pasta: ..\\..\\Windows\\x.dll\r\n",
                               L"Velacorte.exe: nome fora da pasta: ..\\..\\velacorte-testes\\fora.zip\r\n",
                               L"Velacorte.exe: local \"\": pasta não encontrada\r\n",
                               L"Velacorte.exe: desempacotar \"c:\\Velacorte\\tmp\\3005.zip\"",
                               L"Velacorte.exe: local \"pfiles\\velacorte-testes\": pasta não encontrada\r\n",
                               L"Total: 9 não instalado(s), 1 instalado(s)."})
    EXPECT_NE(summary.find(named), std::wstring::npos) << named << L" in " << summary;
  EXPECT_EQ(installer.close(), 1603u);

  EXPECT_EQ(contents(kVictim), "vítima");
  EXPECT_TRUE(fs::exists(L"c:\\velacorte\\velacorte.ini"));
  // An unresolved "pfiles" would have put the file at the root of the current drive.
  for (const wchar_t *outside :
       {L"c:\\velacorte-testes\\velacorte.ini", L"c:\\velacorte-testes\\fora.zip",
        L"c:\\velacorte-testes\\absoluto.exe", L"c:\\Velacorte\\Velacorte.exe",
        L"c:\\velacorte-testes\\Velacorte.exe", L"c:\\Velacorte\\tmp\\Velacorte.exe"})
    EXPECT_FALSE(fs::exists(outside)) << fs::path(outside).string();
  // Only the sound entry is placed, and the broken archives do not stay behind.
  std::vector<std::string> placed;
  for (const auto &item : fs::recursive_directory_iterator(L"c:\\velacorte-testes\\alvo"))
    placed.push_back(item.path().filename().string());
  EXPECT_EQ(placed, std::vector<std::string>{"Velacorte.exe"});
  for (const char *archive : {"3005.zip", "3006.zip", "3007.zip"})
    EXPECT_FALSE(fs::exists(fs::path(L"c:\\Velacorte\\tmp") / archive)) << archive;
}

TEST_P(HostileList, TenThousandEntriesEnd) {
  // One archive serves every entry from the temporary folder, so that the run sends no download.
  fs::path files = service.files_folder();
  write_file(L"c:\\Velacorte\\tmp\\lote.zip", contents(files / "produto" / "1001.zip"));
  run_script(service,
             "DELETE FROM sistema.check_files;"
             "INSERT INTO sistema.check_files WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
             "WHERE i < 10000) SELECT 'lote', 'Velacorte.exe', 'c:\\velacorte-testes\\lote', '', '', '" +
                 service.base_url() + "/site/arquivos/produto/lote.zip', 'S', '*' FROM n");
  service.clear_log();

  InstallerDriver installer(GetParam().install_exe, GetParam().patience);
  install(installer);
  // The first entry takes the archive; the others find none. The box names ten of them.
  EXPECT_NE(summary.find(L"... e mais 9989\r\n"), std::wstring::npos) << summary;
  EXPECT_NE(summary.find(L"Total: 9999 não instalado(s), 1 instalado(s)."), std::wstring::npos) << summary;
  EXPECT_EQ(installer.total_maximum(), 10000 + 3);
  EXPECT_EQ(installer.total_position(), 10000 + 3);
  for (const std::string &line : service.log())
    EXPECT_EQ(line.find("/site/arquivos/produto/"), std::string::npos) << line;
  EXPECT_EQ(contents(L"c:\\velacorte-testes\\lote\\Velacorte.exe"), "Velacorte demo: Velacorte.exe\r\n");
}

INSTANTIATE_TEST_SUITE_P(Builds, HostileList, testing::Values(kBuild64, kBuild32), build_name);

} // namespace
