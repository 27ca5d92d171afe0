#include "install_manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace manifest;

namespace {

const std::string kDigest = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

Entry file(std::string path, uint64_t size = 4) {
  return {Kind::File, std::move(path), size, kDigest};
}

// A scratch folder of the test's own inside the build tree, removed when the test ends.
struct ScratchFolder {
  std::filesystem::path path;
  explicit ScratchFolder(const std::string &name) : path(std::filesystem::path(SCRATCH_DIR) / name) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path); }
};

std::string contents(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

TEST(InstallManifest, EveryKindReadsBackAsWritten) {
  const std::vector<Entry> entries = {
      file("c:\\Velacorte\\Velacorte.exe", 1234),
      file("c:\\Velacorte\\Relatórios \"novos\"\\ficha\tA.fr3", 0),
      {Kind::Shortcut, "C:\\users\\caixa\\Desktop\\Velacorte.lnk", 0, ""},
      {Kind::Folder, "C:\\Velacorte\\NFE2\\Certificados\\Certificado Caixa", 0, ""},
      {Kind::UninstallEntry,
       "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte", 0, ""},
  };
  std::string text = to_text(entries);
  Contents read = parse(text);
  EXPECT_TRUE(read.skipped.empty());
  EXPECT_EQ(read.entries, entries);
  EXPECT_EQ(to_line(entries[0]),
            "{\"version\":1,\"kind\":\"file\",\"path\":\"c:\\\\Velacorte\\\\Velacorte.exe\","
            "\"size\":1234,\"sha256\":\"" +
                kDigest + "\"}");
  EXPECT_EQ(
      to_line(entries[3]),
      "{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\\\\NFE2\\\\Certificados\\\\Certificado "
      "Caixa\"}");
}

TEST(InstallManifest, LinesOfOtherWritersReadInAnyMemberOrderAndSpacing) {
  struct Case {
    std::string line;
    Entry entry;
  };
  const Case cases[] = {
      {" { \"path\" : \"c:\\/Velacorte\\/a.dll\" , \"sha256\":\"" + kDigest +
           "\", \"size\": 7, \"kind\":\"file\", \"version\":1 }\r",
       file("c:/Velacorte/a.dll", 7)},
      {"{\"version\":1,\"kind\":\"shortcut\",\"path\":\"C:\\\\Desktop\\\\Farm\\u00e1cia.lnk\"}",
       {Kind::Shortcut, "C:\\Desktop\\Farmácia.lnk", 0, ""}},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\\\ud834\\udd1e\",\"comment\":\"extra\"}",
       {Kind::Folder, "C:\\\xF0\x9D\x84\x9E", 0, ""}},
  };
  for (const Case &c : cases) {
    LineReading reading = read_line(c.line);
    EXPECT_TRUE(reading.ok) << c.line << ": " << reading.reason;
    EXPECT_EQ(reading.entry, c.entry) << c.line;
  }
}

TEST(InstallManifest, HostileAndCorruptLinesAreRefusedWithTheirReason) {
  struct Case {
    std::string line;
    std::string reason_holds;
  };
  const std::string good_file_tail = ",\"size\":1,\"sha256\":\"" + kDigest + "\"}";
  const Case cases[] = {
      {"not json", "não começa com {"},
      {"{\"version\":1,\"kind\":\"file\",\"path\":\"c:\\\\Velacorte\\\\a.dll\",\"size\":1,\"sha", "sem fim"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"", "falta , ou }"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"} trailing", "depois do objeto"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"}{}", "depois do objeto"},
      {"{\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"}", "\"version\""},
      {"{\"version\":\"1\",\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"}", "\"version\""},
      {"{\"version\":2,\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"}", "versão 2 desconhecida"},
      {"{\"version\":1.0,\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"}", "não é inteiro"},
      {"{\"version\":01,\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"}", "zero à esquerda"},
      {"{\"version\":-1,\"kind\":\"folder\",\"path\":\"C:\\\\Velacorte\"}", "nem número"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":null}", "nem número"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":[\"C:\\\\\"]}", "nem número"},
      {"{\"version\":1,\"kind\":\"registry\",\"path\":\"HKLM\\\\Software\"}",
       "tipo \"registry\" desconhecido"},
      {"{\"version\":1,\"kind\":\"folder\"}", "\"path\""},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"\"}", "\"path\""},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\A\",\"path\":\"C:\\\\Windows\"}", "repetido"},
      // A NUL would make "c:\Velacorte\x" and "c:\Windows" the same path to a C string.
      {"{\"version\":1,\"kind\":\"file\",\"path\":\"c:\\\\Windows\\u0000c:\\\\Velacorte\\\\x\"" +
           good_file_tail,
       "nulo"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\\xFF\xFE\"}", "UTF-8"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\\\ud800\"}", "surrogate"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\\\\\u12\"}", "\\u sem"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\\x\"}", "escape \\x"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"C:\tA\"}", "controle"},
      {"{\"version\":1,\"kind\":\"file\",\"path\":\"c:\\\\Velacorte\\\\a.dll\",\"sha256\":\"" + kDigest +
           "\"}",
       "\"size\""},
      {"{\"version\":1,\"kind\":\"file\",\"path\":\"c:\\\\Velacorte\\\\a.dll\",\"size\":18446744073709551616,"
       "\"sha256\":\"" +
           kDigest + "\"}",
       "grande demais"},
      {"{\"version\":1,\"kind\":\"file\",\"path\":\"c:\\\\Velacorte\\\\a.dll\",\"size\":1,\"sha256\":\"" +
           kDigest.substr(1) + "\"}",
       "sha256"},
      {"{\"version\":1,\"kind\":\"file\",\"path\":\"c:\\\\Velacorte\\\\a.dll\",\"size\":1,\"sha256\":\"" +
           std::string(64, 'A') + "\"}",
       "sha256"},
      {"{\"version\":1,\"kind\":\"folder\",\"path\":\"" + std::string(kLineLimit, 'a') + "\"}",
       "mais que 8192"},
  };
  for (const Case &c : cases) {
    LineReading reading = read_line(c.line);
    EXPECT_FALSE(reading.ok) << c.line;
    EXPECT_NE(reading.reason.find(c.reason_holds), std::string::npos) << c.line << ": " << reading.reason;
  }
}

TEST(InstallManifest, ATextWithBadLinesKeepsTheGoodOnesAndNumbersTheRest) {
  std::string text = to_line(file("c:\\Velacorte\\a.dll")) + "\n" + "garbage\n" + "\n   \n" +
                     to_line({Kind::Folder, "C:\\Velacorte\\paf", 0, ""}) + "\r\n" +
                     // A run cut while writing leaves half a line at the end.
                     to_line(file("c:\\Velacorte\\b.dll")).substr(0, 40);
  Contents read = parse(text);
  ASSERT_EQ(read.entries.size(), 2u);
  EXPECT_EQ(read.entries[0].path, "c:\\Velacorte\\a.dll");
  EXPECT_EQ(read.entries[1].path, "C:\\Velacorte\\paf");
  ASSERT_EQ(read.skipped.size(), 2u);
  EXPECT_EQ(read.skipped[0].number, 2u);
  EXPECT_EQ(read.skipped[1].number, 6u);
  EXPECT_TRUE(parse("").entries.empty());
  EXPECT_TRUE(parse(std::string("\0\0\0", 3)).entries.empty());
  EXPECT_EQ(parse(std::string("\0\0\0", 3)).skipped.size(), 1u);
}

TEST(InstallManifest, MergingKeepsEarlierRunsAndTakesTheLatestDataOfAnObject) {
  std::vector<Entry> earlier = {file("c:\\Velacorte\\a.dll", 1),
                                {Kind::Folder, "C:\\Velacorte\\paf", 0, ""},
                                file("c:\\Velacorte\\old.dll", 2)};
  std::vector<Entry> now = {file("C:\\VELACORTE\\A.DLL", 9),
                            {Kind::Shortcut, "C:\\Desktop\\V.lnk", 0, ""},
                            // A folder and a file of the same path are different objects.
                            file("C:\\Velacorte\\paf", 3)};
  std::vector<Entry> result = merged(earlier, now);
  std::vector<Entry> expected = {file("C:\\VELACORTE\\A.DLL", 9),
                                 {Kind::Folder, "C:\\Velacorte\\paf", 0, ""},
                                 file("c:\\Velacorte\\old.dll", 2),
                                 {Kind::Shortcut, "C:\\Desktop\\V.lnk", 0, ""},
                                 file("C:\\Velacorte\\paf", 3)};
  EXPECT_EQ(result, expected);
  EXPECT_EQ(merged({}, now).size(), 3u);
  EXPECT_EQ(merged(now, now), now);
}

TEST(InstallManifest, TheFileIsReplacedWholeThroughATemporaryName) {
  ScratchFolder scratch("install_manifest_file");
  const std::string path = (scratch.path / "Install.manifest").string();
  EXPECT_FALSE(read_file(path).found);

  std::vector<Entry> first = {file("c:\\Velacorte\\a.dll"), {Kind::Folder, "C:\\Velacorte\\paf", 0, ""}};
  EXPECT_EQ(write_file(path, first), "");
  // A temporary file that a cut run left behind is simply overwritten.
  std::ofstream(path + ".tmp") << "half a li";
  std::vector<Entry> second = merged(read_file(path).contents.entries, {file("c:\\Velacorte\\b.dll")});
  EXPECT_EQ(write_file(path, second), "");

  FileReading read = read_file(path);
  EXPECT_TRUE(read.found);
  EXPECT_TRUE(read.contents.skipped.empty());
  EXPECT_EQ(read.contents.entries, second);
  EXPECT_EQ(contents(path), to_text(second));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(InstallManifest, AFileThatCannotBeWrittenIsNamedAndTheOldOneStays) {
  ScratchFolder scratch("install_manifest_refused");
  const std::string path = (scratch.path / "Install.manifest").string();
  EXPECT_EQ(write_file(path, {file("c:\\Velacorte\\a.dll")}), "");
  // A folder where the temporary file goes.
  std::filesystem::create_directory(path + ".tmp");
  std::string failure = write_file(path, {file("c:\\Velacorte\\b.dll")});
  EXPECT_NE(failure.find(path + ".tmp"), std::string::npos) << failure;
  EXPECT_EQ(read_file(path).contents.entries, std::vector<Entry>{file("c:\\Velacorte\\a.dll")});

  const std::string missing_folder = (scratch.path / "absent" / "Install.manifest").string();
  EXPECT_NE(write_file(missing_folder, {}).find("gravar"), std::string::npos);
  EXPECT_FALSE(read_file(missing_folder).found);
}
