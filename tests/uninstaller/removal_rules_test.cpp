#include "removal_rules.h"
#include "report.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace uninstall;

namespace {

const std::string kDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

manifest::Entry placed(const std::string &path) {
  return {manifest::Kind::File, path, 3, kDigest};
}

} // namespace

TEST(RemovalRules, PathsByTheirNameAlone) {
  struct Case {
    std::string path;
    Verdict verdict;
  };
  const Case cases[] = {
      {"c:\\Velacorte\\Velacorte.exe", Verdict::Remove},
      {"C:\\VELACORTE\\NFE2\\Schemas\\ve310\\nfe.xsd", Verdict::Remove},
      {"c:/velacorte/Relatórios/ficha.fr3", Verdict::Remove},
      {"c:\\Velacorte\\dados\\Velacorte6.fdb", Verdict::Data},
      {"c:\\Velacorte\\DADOS\\Fotos\\Clientes\\1.jpg", Verdict::Data},
      {"c:\\Velacorte\\Dados", Verdict::Data},
      {"c:\\velacorte\\velacorte.ini", Verdict::Data},
      {"C:\\VELACORTE\\VELACORTE.INI", Verdict::Data},
      {"c:\\Velacorte\\Install.log", Verdict::Own},
      {"c:\\Velacorte\\Install.manifest", Verdict::Own},
      // Elsewhere: the system folder and Program Files hold files that other programs share.
      {"C:\\windows\\system32\\capicom.dll", Verdict::Shared},
      {"C:\\Program Files (x86)\\Velacorte\\x.dll", Verdict::Shared},
      {"d:\\Velacorte\\Velacorte.exe", Verdict::Shared},
      {"C:\\velacorte-testes\\x.txt", Verdict::Shared},
      // Names that say one thing and open another.
      {"c:\\Velacorte\\..\\windows\\system32\\kernel32.dll", Verdict::Refused},
      {"c:\\Velacorte\\NFE2\\..\\..\\windows\\win.ini", Verdict::Refused},
      {"c:\\Velacorte\\.\\Velacorte.exe", Verdict::Refused},
      {"c:\\Velacorte\\\\Velacorte.exe", Verdict::Refused},
      {"c:\\Velacorte\\dados.\\Velacorte6.fdb", Verdict::Refused},
      {"c:\\Velacorte\\dados \\Velacorte6.fdb", Verdict::Refused},
      {"c:\\Velacorte\\DADOS~1\\Velacorte6.fdb", Verdict::Refused},
      {"c:\\Velacorte\\velacorte.ini:stream", Verdict::Refused},
      {"c:\\Velacorte\\*.exe", Verdict::Refused},
      {"c:\\Velacorte.\\Velacorte.exe", Verdict::Refused},
      // A short alias may be the product folder itself.
      {"c:\\VELACO~1\\Velacorte.exe", Verdict::Refused},
      {"\\\\?\\c:\\Velacorte\\Velacorte.exe", Verdict::Refused},
      {"\\\\servidor\\c$\\Velacorte\\Velacorte.exe", Verdict::Refused},
      {"\\Velacorte\\Velacorte.exe", Verdict::Refused},
      {"Velacorte.exe", Verdict::Refused},
      {"c:\\Velacorte", Verdict::Refused},
      {"c:\\Velacorte\\", Verdict::Refused},
      {"c:\\Velacorte\\a\xFF.dll", Verdict::Refused},
      {"c:\\Velacorte\\a\x01.dll", Verdict::Refused},
  };
  for (const Case &c : cases)
    EXPECT_EQ(path_verdict(c.path), c.verdict) << c.path;
}

TEST(RemovalRules, APlacedFileIsRemovedOnlyWhenItIsTheSameFileUnchanged) {
  struct Case {
    const char *what;
    manifest::Entry recorded;
    std::string final_path;
    std::optional<FileDigest> now;
    Verdict verdict;
  };
  const FileDigest same{3, kDigest};
  const Case cases[] = {
      {"unchanged", placed("c:\\Velacorte\\a.dll"), "C:\\velacorte\\A.DLL", same, Verdict::Remove},
      {"gone", placed("c:\\Velacorte\\a.dll"), "", std::nullopt, Verdict::Missing},
      {"other size", placed("c:\\Velacorte\\a.dll"), "c:\\Velacorte\\a.dll", FileDigest{4, kDigest},
       Verdict::Changed},
      {"other content", placed("c:\\Velacorte\\a.dll"), "c:\\Velacorte\\a.dll",
       FileDigest{3, std::string(64, '0')}, Verdict::Changed},
      {"junction out of the folder", placed("c:\\Velacorte\\NFE2\\kernel32.dll"),
       "C:\\windows\\system32\\kernel32.dll", same, Verdict::Shared},
      {"junction into the data", placed("c:\\Velacorte\\NFE2\\Velacorte6.fdb"),
       "c:\\Velacorte\\Dados\\Velacorte6.fdb", same, Verdict::Data},
      {"link to another product file", placed("c:\\Velacorte\\a.dll"), "c:\\Velacorte\\b.dll", same,
       Verdict::Refused},
      {"data, even unchanged", placed("c:\\Velacorte\\dados\\x.fdb"), "c:\\Velacorte\\dados\\x.fdb", same,
       Verdict::Data},
      {"shared, even unchanged", placed("C:\\windows\\system32\\msxml5.dll"),
       "C:\\windows\\system32\\msxml5.dll", same, Verdict::Shared},
  };
  for (const Case &c : cases)
    EXPECT_EQ(file_verdict(c.recorded, c.final_path, c.now), c.verdict) << c.what;
}

TEST(RemovalRules, OnlyShortcutsOnTheDesktopsThatOpenTheProductAreItsOwn) {
  const std::vector<std::string> desktops = {"C:\\users\\caixa\\Desktop\\", "C:\\users\\Public\\Desktop"};
  struct Case {
    std::string link;
    std::string target;
    bool product;
  };
  const Case cases[] = {
      {"C:\\users\\caixa\\Desktop\\Velacorte.lnk", "c:\\Velacorte\\Velacorte.exe", true},
      {"c:\\USERS\\Public\\desktop\\Velacorte.LNK", "C:\\VELACORTE\\Velacorte.exe", true},
      {"C:\\users\\caixa\\Desktop\\Word.lnk", "C:\\Program Files\\Office\\winword.exe", false},
      {"C:\\users\\caixa\\Desktop\\Dados.lnk", "c:\\Velacorte\\dados", false},
      {"C:\\users\\caixa\\Desktop\\Velacorte.exe", "c:\\Velacorte\\Velacorte.exe", false},
      {"C:\\users\\caixa\\Desktop\\sub\\Velacorte.lnk", "c:\\Velacorte\\Velacorte.exe", false},
      {"C:\\users\\caixa\\Desktop\\..\\Documents\\Velacorte.lnk", "c:\\Velacorte\\Velacorte.exe", false},
      {"C:\\windows\\system32\\Velacorte.lnk", "c:\\Velacorte\\Velacorte.exe", false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(is_product_shortcut(c.link, c.target, desktops), c.product) << c.link;
}

TEST(RemovalRules, FoldersAreTriedDeepestFirstAndNeverTheData) {
  std::vector<manifest::Entry> entries = {
      placed("c:\\Velacorte\\Relatorios\\Vendas\\mes.fr3"),
      {manifest::Kind::Folder, "c:\\velacorte\\nfe2", 0, {}},
      {manifest::Kind::Folder, "c:\\Velacorte\\Dados\\Extra", 0, {}},
      {manifest::Kind::Folder, "C:\\Windows\\Temp", 0, {}},
      {manifest::Kind::Folder, "c:\\Velacorte\\..\\Windows", 0, {}},
  };
  std::vector<std::string> folders = folders_to_try(entries);
  auto at = [&](const std::string &path) {
    return std::find(folders.begin(), folders.end(), path) - folders.begin();
  };
  auto tried = [&](const std::string &path) { return at(path) < static_cast<long>(folders.size()); };
  EXPECT_TRUE(tried("C:\\Velacorte\\Relatorios\\Vendas"));
  EXPECT_TRUE(tried("C:\\Velacorte\\Relatorios"));
  EXPECT_LT(at("C:\\Velacorte\\Relatorios\\Vendas"), at("C:\\Velacorte\\Relatorios"));
  EXPECT_LT(at("C:\\Velacorte\\NFE2\\Schemas\\ve310"), at("C:\\Velacorte\\NFE2\\Schemas"));
  EXPECT_LT(at("C:\\Velacorte\\NFE2\\Schemas"), at("C:\\Velacorte\\NFE2"));
  EXPECT_TRUE(tried("C:\\Velacorte\\nfce\\Schemas"));
  EXPECT_TRUE(tried("C:\\Velacorte\\tmp"));
  EXPECT_EQ(folders.back(), "C:\\Velacorte");
  // One try per folder, whatever the spellings the manifest and the tree use.
  EXPECT_EQ(std::count_if(folders.begin(), folders.end(),
                          [](const std::string &f) {
                            return f == "C:\\Velacorte\\NFE2" || f == "c:\\velacorte\\nfe2";
                          }),
            1);
  for (const std::string &folder : folders) {
    EXPECT_NE(path_verdict(folder + "\\x"), Verdict::Data) << folder;
    EXPECT_NE(path_verdict(folder + "\\x"), Verdict::Shared) << folder;
  }
}

TEST(RemovalReport, NamesWhatWasKeptAndWhyUpToTheLimit) {
  EXPECT_EQ(report_text({}, "c:\\Velacorte\\Install.log"), "O Velacorte foi removido deste computador.");
  std::vector<Kept> kept = {{"c:\\Velacorte\\Dados", "dados da loja"},
                            {"c:\\Velacorte\\Velacorte.exe", "alterado depois da instalação"}};
  EXPECT_EQ(report_text(kept, "c:\\Velacorte\\Install.log"),
            "O Velacorte foi removido deste computador.\n\nMantidos:\nc:\\Velacorte\\Dados: dados da loja\n"
            "c:\\Velacorte\\Velacorte.exe: alterado depois da instalação");
  std::vector<Kept> many(kKeptShown + 3, Kept{"c:\\Velacorte\\x.dll", "alterado depois da instalação"});
  std::string text = report_text(many, "c:\\Velacorte\\Install.log");
  EXPECT_NE(text.find("... e mais 3 (ver c:\\Velacorte\\Install.log)"), std::string::npos) << text;
}
