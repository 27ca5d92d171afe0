// The installer's record of a run: the folders it created, the files it placed with their digests, and
// the manifest merged with the lines of earlier runs.
#include "install_log.h"
#include "install_record.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace fs = std::filesystem;

namespace {

const fs::path kFolder = L"c:\\registro-manifesto";
const std::string kManifest = "c:\\registro-manifesto\\Install.manifest";

class InstallRecordTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::remove_all(kFolder);
    fs::create_directories(kFolder);
  }
  void TearDown() override {
    // The log holds its file open.
    owned_log.reset();
    fs::remove_all(kFolder);
  }
  std::unique_ptr<InstallLog> owned_log =
      std::make_unique<InstallLog>(L"c:\\registro-manifesto\\Install.log");
  InstallLog &log = *owned_log;
};

TEST_F(InstallRecordTest, ARunIsMergedIntoTheManifestOfEarlierRuns) {
  const std::string earlier_file = "c:\\registro-manifesto\\antigo.dll";
  std::ofstream(kManifest, std::ios::binary)
      << manifest::to_line({manifest::Kind::File, earlier_file, 3,
                            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"})
      << "\n{\"version\":1,\"kind\":\"fi";

  InstallRecord record(kManifest);
  // Only the folders that did not exist are the run's: the scratch folder itself was there.
  EXPECT_TRUE(record.create_folder(L"c:\\registro-manifesto\\NFE2\\Schemas\\ve310"));
  EXPECT_TRUE(record.create_folder(L"c:\\registro-manifesto\\NFE2\\Schemas"));
  std::ofstream("c:\\registro-manifesto\\NFE2\\abc.txt", std::ios::binary) << "abc";
  record.file("c:\\registro-manifesto\\NFE2\\abc.txt", log);
  record.file("c:\\registro-manifesto\\nunca colocado.dll", log);
  record.shortcut("c:\\registro-manifesto\\Velacorte.lnk");
  record.uninstall_entry(
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte");
  record.save(log);

  manifest::FileReading read = manifest::read_file(kManifest);
  ASSERT_TRUE(read.found);
  EXPECT_TRUE(read.contents.skipped.empty()) << "the cut line of the earlier run is dropped when rewritten";
  using manifest::Entry;
  using manifest::Kind;
  std::vector<Entry> expected = {
      {Kind::File, earlier_file, 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Kind::Folder, "c:\\registro-manifesto\\NFE2", 0, {}},
      {Kind::Folder, "c:\\registro-manifesto\\NFE2\\Schemas", 0, {}},
      {Kind::Folder, "c:\\registro-manifesto\\NFE2\\Schemas\\ve310", 0, {}},
      {Kind::File, "c:\\registro-manifesto\\NFE2\\abc.txt", 3,
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {Kind::Shortcut, "c:\\registro-manifesto\\Velacorte.lnk", 0, {}},
      {Kind::UninstallEntry,
       "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte",
       0,
       {}},
  };
  EXPECT_EQ(read.contents.entries, expected);
  EXPECT_FALSE(fs::exists(kManifest + ".tmp"));

  std::string log_text = contents(L"c:\\registro-manifesto\\Install.log");
  EXPECT_NE(log_text.find("linha 2 descartada"), std::string::npos) << log_text;
  EXPECT_NE(log_text.find("manifesto c:\\registro-manifesto\\nunca colocado.dll"), std::string::npos)
      << log_text;
  EXPECT_NE(log_text.find("gravar " + kManifest + ": 6 objetos desta execução, 7 ao todo, ok"),
            std::string::npos)
      << log_text;

  // The same objects again: the manifest keeps one line for each.
  InstallRecord again(kManifest);
  again.file("c:\\registro-manifesto\\NFE2\\abc.txt", log);
  again.save(log);
  EXPECT_EQ(manifest::read_file(kManifest).contents.entries, expected);
}

TEST_F(InstallRecordTest, AManifestThatCannotBeReplacedIsNamedInTheLog) {
  fs::create_directories(kManifest + ".tmp");
  InstallRecord record(kManifest);
  record.shortcut("c:\\registro-manifesto\\Velacorte.lnk");
  record.save(log);
  EXPECT_FALSE(fs::exists(kManifest));
  std::string log_text = contents(L"c:\\registro-manifesto\\Install.log");
  EXPECT_NE(log_text.find("gravar " + kManifest + ".tmp: não abre"), std::string::npos) << log_text;
}
} // namespace
