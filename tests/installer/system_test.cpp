// The installer's work on the machine, read back through Win32: target folders, the folder tree, the
// uninstall entry and desktop shortcuts.
#include "Unit1.h"
#include "test_files.h"
#include "test_run.h"
#include "text.h"

#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::wstring folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path)) ? path : L"";
}

// The name of the last component as the file system stores it.
std::wstring stored_name(const std::wstring &path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return L"";
  FindClose(search);
  return found.cFileName;
}

class Machine : public ::testing::Test {
protected:
  void SetUp() override {
    CoInitialize(nullptr);
    form = std::make_unique<TForm1>(GetModuleHandleW(nullptr));
  }
  void TearDown() override {
    form.reset();
    CoUninitialize();
  }
  std::unique_ptr<TForm1> form;
};

TEST_F(Machine, VersionInfoIsTheMajorVersionWindowsReports) {
  EXPECT_EQ(form->version_info(), LOBYTE(LOWORD(GetVersion())));
  EXPECT_GE(form->version_info(), 6);
}

// ProgramFilesDir as 32-bit programs see it; a Wine prefix without 32-bit support lacks it.
class ProgramFilesOf32BitPrograms {
public:
  ProgramFilesOf32BitPrograms() {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, nullptr, 0,
                    KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr);
    DWORD size = sizeof(before);
    had_value = RegQueryValueExW(key, L"ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE *>(before),
                                 &size) == ERROR_SUCCESS;
  }
  ~ProgramFilesOf32BitPrograms() {
    if (had_value)
      set(before);
    else
      remove();
    RegCloseKey(key);
  }
  void set(const std::wstring &path) {
    RegSetValueExW(key, L"ProgramFilesDir", 0, REG_SZ, reinterpret_cast<const BYTE *>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  }
  void remove() { RegDeleteValueW(key, L"ProgramFilesDir"); }

private:
  HKEY key = nullptr;
  wchar_t before[MAX_PATH] = {};
  bool had_value = false;
};

TEST_F(Machine, TrataLocalResolvesEachCode) {
  wchar_t wow64[MAX_PATH] = {};
  ASSERT_GT(GetSystemWow64DirectoryW(wow64, MAX_PATH), 0u);
  ProgramFilesOf32BitPrograms view;
  std::string program_files = "C:\\Program Files (x86)"; // not the 64-bit view's "C:\\Program Files"
  view.set(text::widen(program_files));
  std::string desktop = text::narrow(folder(CSIDL_DESKTOPDIRECTORY));
  ASSERT_FALSE(program_files.empty());
  ASSERT_FALSE(desktop.empty());
  struct Case {
    std::string local, folder;
  };
  const Case table[] = {
      {"system", text::narrow(wow64)},
      {"pfiles\\Velacorte", program_files + "\\Velacorte"},
      {"pfiles", program_files},
      {"c:\\pfiles\\a\\pfiles", "c:\\" + program_files + "\\a\\" + program_files},
      {"desktop", desktop},
      {"c:\\velacorte\\dados", "c:\\velacorte\\dados"},
      {"System", "System"},
      {"Desktop", "Desktop"},
      {"PFILES\\x", "PFILES\\x"},
      {"system ", "system "},
      {"desktop\\x", "desktop\\x"},
      {"", ""},
  };
  for (const Case &c : table)
    EXPECT_EQ(form->trata_local(c.local), c.folder) << c.local;

  // Without the value, "pfiles" gives way to the empty text.
  view.remove();
  EXPECT_EQ(form->trata_local("pfiles\\Velacorte"), "\\Velacorte");
  EXPECT_EQ(form->trata_local("pfiles"), "");
}

TEST_F(Machine, CriaPastasMakesTheTreeWithItsLetterCase) {
  fs::remove_all(L"C:\\Velacorte");
  fs::remove_all(L"C:\\SPED");
  form->criaPastas();

  const wchar_t *const tree[] = {
      L"C:\\Velacorte\\Dados",
      L"C:\\Velacorte\\Dados\\Fotos\\Clientes",
      L"C:\\Velacorte\\Dados\\Fotos\\Dependentes",
      L"C:\\Velacorte\\Dados\\Fotos\\Vendedores",
      L"C:\\Velacorte\\nfce",
      L"C:\\Velacorte\\nfce\\Schemas\\ve200",
      L"C:\\Velacorte\\nfce\\Schemas\\ve300",
      L"C:\\Velacorte\\nfce\\Schemas\\ve310",
      L"C:\\Velacorte\\NFE2",
      L"C:\\Velacorte\\NFE2\\Paf",
      L"C:\\Velacorte\\NFE2\\Capicom",
      L"C:\\Velacorte\\NFE2\\Certificados",
      L"C:\\Velacorte\\NFE2\\Certificados\\Certificado Caixa",
      L"C:\\Velacorte\\NFE2\\Certificados\\Chave_Publica_Nfe",
      L"C:\\Velacorte\\NFE2\\DPEC",
      L"C:\\Velacorte\\NFE2\\Report",
      L"C:\\Velacorte\\NFE2\\Schemas\\ve200",
      L"C:\\Velacorte\\NFE2\\Schemas\\ve300",
      L"C:\\Velacorte\\NFE2\\Schemas\\ve310",
      L"C:\\Velacorte\\NFE2\\Url",
      L"C:\\Velacorte\\NFE2\\XML",
      L"C:\\Velacorte\\NFE2\\XMLNFE",
      L"C:\\Velacorte\\NFE2\\CONSNFE",
      L"C:\\Velacorte\\NFE2\\INUTNFE",
      L"C:\\Velacorte\\NFE2\\DPECNFE",
      L"C:\\Velacorte\\NFE2\\PDF",
      L"C:\\Velacorte\\BkpUpdate",
      L"C:\\Velacorte\\BkpSNGPC",
      L"C:\\Velacorte\\paf",
      L"C:\\Velacorte\\ecfs",
      L"C:\\Velacorte\\Febrafar",
      L"C:\\SPED",
  };
  for (const wchar_t *path : tree) {
    SCOPED_TRACE(text::narrow(path));
    EXPECT_TRUE(fs::is_directory(path));
    // Every component, parents made on the way included, carries the letter case of the list.
    fs::path partial = L"C:\\";
    for (const fs::path &part : fs::path(path).relative_path()) {
      partial /= part;
      EXPECT_EQ(stored_name(partial.wstring()), part.wstring());
    }
  }
  size_t made = 0;
  for (auto it = fs::recursive_directory_iterator(L"C:\\Velacorte"); it != fs::recursive_directory_iterator();
       ++it)
    made += it->is_directory();
  EXPECT_EQ(made, 31u + 3u); // with the parents Fotos, nfce\Schemas and NFE2\Schemas

  // A second run leaves what is there as it was.
  write_file(L"C:\\Velacorte\\Dados\\Fotos\\Clientes\\foto.jpg", "jpeg");
  form->criaPastas();
  EXPECT_TRUE(fs::exists(L"C:\\Velacorte\\Dados\\Fotos\\Clientes\\foto.jpg"));
}

TEST_F(Machine, CriaPastasGoesOnPastAFolderItCannotMake) {
  fs::remove_all(L"C:\\Velacorte");
  write_file(L"C:\\Velacorte\\nfce", "a file in the way");
  form->criaPastas();
  EXPECT_TRUE(fs::is_regular_file(L"C:\\Velacorte\\nfce"));
  EXPECT_FALSE(fs::exists(L"C:\\Velacorte\\nfce\\Schemas\\ve200"));
  EXPECT_TRUE(fs::is_directory(L"C:\\Velacorte\\NFE2\\PDF"));
  EXPECT_TRUE(fs::is_directory(L"C:\\SPED"));
  fs::remove_all(L"C:\\Velacorte");
}

class UninstallEntry : public Machine {
protected:
  static constexpr const wchar_t *key_path =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velacorte";
  void SetUp() override {
    Machine::SetUp();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_path);
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_path);
    Machine::TearDown();
  }
  struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };
  static Value read(const wchar_t *name) {
    Value value;
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key_path, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, nullptr,
                     &size) != ERROR_SUCCESS)
      return {};
    value.data.resize(size);
    RegGetValueW(HKEY_LOCAL_MACHINE, key_path, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                 value.data.data(), &size);
    value.data.resize(size);
    return value;
  }
  static std::vector<BYTE> text_data(const std::wstring &text) {
    const BYTE *bytes = reinterpret_cast<const BYTE *>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
  }
  static std::vector<BYTE> number_data(DWORD number) {
    const BYTE *bytes = reinterpret_cast<const BYTE *>(&number);
    return std::vector<BYTE>(bytes, bytes + sizeof(number));
  }
};

TEST_F(UninstallEntry, WritesTheElevenValuesWithTheirTypes) {
  HKEY key;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  const wchar_t *old = L"6.0.0.1";
  RegSetValueExW(key, L"DisplayVersion", 0, REG_SZ, reinterpret_cast<const BYTE *>(old), 16);
  RegSetValueExW(key, L"EstimatedSize", 0, REG_SZ, reinterpret_cast<const BYTE *>(old), 16);
  RegCloseKey(key);

  form->criaChaveInstalacao(form->versaoVelacorte);

  struct Expected {
    const wchar_t *name;
    DWORD type;
    std::vector<BYTE> data;
  };
  const Expected table[] = {
      {L"DisplayIcon", REG_SZ, text_data(L"C:\\Velacorte\\Velacorte.exe")},
      {L"DisplayName", REG_SZ, text_data(L"Velacorte")},
      {L"DisplayVersion", REG_SZ, text_data(L"7.7.0.0")},
      {L"InstallLocation", REG_SZ, text_data(L"C:\\Velacorte\\")},
      {L"Language", REG_DWORD, number_data(0)},
      {L"NoModify", REG_DWORD, number_data(1)},
      {L"NoRepair", REG_DWORD, number_data(1)},
      {L"Publisher", REG_SZ, text_data(L"Velacorte")},
      {L"UninstallString", REG_SZ, text_data(L"C:\\Velacorte\\Uninstall.exe")},
      {L"VersionMajor", REG_DWORD, number_data(0)},
      {L"VerisonMinor", REG_DWORD, number_data(0)},
      {L"EstimatedSize", REG_SZ, text_data(L"6.0.0.1")}, // not ours: left as it was
  };
  for (const Expected &e : table) {
    SCOPED_TRACE(text::narrow(e.name));
    Value value = read(e.name);
    EXPECT_EQ(value.type, e.type);
    EXPECT_EQ(value.data, e.data);
  }
  EXPECT_EQ(read(L"VersionMinor").type, DWORD(REG_NONE));
}

TEST_F(UninstallEntry, DisplayVersionIsTheVersionGivenUnchanged) {
  for (const char *version : {"7.7.0.0", "8.0 beta ção", ""}) {
    form->criaChaveInstalacao(version);
    EXPECT_EQ(read(L"DisplayVersion").data, text_data(text::widen(version)));
  }
}

class Shortcut : public Machine {
protected:
  void SetUp() override {
    Machine::SetUp();
    user_desktop = folder(CSIDL_DESKTOPDIRECTORY);
    common_desktop = folder(CSIDL_COMMON_DESKTOPDIRECTORY);
    ASSERT_FALSE(user_desktop.empty());
    ASSERT_FALSE(common_desktop.empty());
    target = L"C:\\Velacorte\\Atalhos\\Velacorte Caixa.exe";
    write_file(target, "MZ");
  }
  void TearDown() override {
    for (const fs::path &made : made_links) {
      SetFileAttributesW(made.c_str(), FILE_ATTRIBUTE_NORMAL);
      fs::remove(made);
    }
    Machine::TearDown();
  }
  fs::path user_link(const std::wstring &name) {
    return made_links.emplace_back(fs::path(user_desktop) / name);
  }
  fs::path common_link(const std::wstring &name) {
    return made_links.emplace_back(fs::path(common_desktop) / name);
  }
  struct Link {
    std::wstring path, working_folder;
  };
  static Link read_link(const fs::path &file) {
    IShellLinkW *link = nullptr;
    IPersistFile *persist = nullptr;
    Link read;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void **>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&persist))) &&
        SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
      wchar_t value[MAX_PATH] = {};
      link->GetPath(value, MAX_PATH, nullptr, SLGP_RAWPATH);
      read.path = value;
      value[0] = 0;
      link->GetWorkingDirectory(value, MAX_PATH);
      read.working_folder = value;
    }
    if (persist)
      persist->Release();
    if (link)
      link->Release();
    return read;
  }
  std::wstring user_desktop, common_desktop, target;
  std::vector<fs::path> made_links;
};

TEST_F(Shortcut, LinkOnTheUserDesktopOpensTheFileInItsFolder) {
  struct Case {
    const char *name;
    const wchar_t *file;
  };
  const Case table[] = {
      {"Velacorte Caixa", L"Velacorte Caixa.lnk"},
      {"  \tVelacorte Ção \r\n", L"Velacorte Ção.lnk"},
      {"", L".lnk"},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.name);
    fs::path link = user_link(c.file);
    EXPECT_TRUE(form->cria_atalho(text::narrow(target), c.name));
    ASSERT_TRUE(fs::is_regular_file(link));
    Link read = read_link(link);
    EXPECT_EQ(_wcsicmp(read.path.c_str(), target.c_str()), 0) << text::narrow(read.path);
    EXPECT_EQ(read.working_folder, L"C:\\Velacorte\\Atalhos\\");
  }
}

TEST_F(Shortcut, WorkingFolderIsTheTextUpToTheLastSeparator) {
  struct Case {
    const char *path;
    const wchar_t *working_folder;
  };
  const Case table[] = {
      {"Velacorte.exe", L"\\"},
      {"c:Velacorte.exe", L"c:\\"},
      {"c:\\Velacorte.exe", L"c:\\"},
  };
  fs::path link = user_link(L"Pasta de trabalho.lnk");
  for (const Case &c : table) {
    SCOPED_TRACE(c.path);
    EXPECT_TRUE(form->cria_atalho(c.path, "Pasta de trabalho"));
    EXPECT_EQ(read_link(link).working_folder, c.working_folder);
  }
}

TEST_F(Shortcut, ReplacesTheUserLinkAndRemovesTheCommonOne) {
  fs::path user = user_link(L"Velacorte Caixa.lnk");
  fs::path common = common_link(L"Velacorte Caixa.lnk");
  write_file(user, "an older link");
  write_file(common, "a link for every user");
  EXPECT_TRUE(form->cria_atalho(text::narrow(target), "Velacorte Caixa"));
  EXPECT_FALSE(fs::exists(common));
  EXPECT_EQ(read_link(user).working_folder, L"C:\\Velacorte\\Atalhos\\");
}

TEST_F(Shortcut, LinkThatCannotBeRemovedIsKeptAndTheResultIsFalse) {
  fs::path user = user_link(L"Somente leitura.lnk");
  write_file(user, "read-only");
  SetFileAttributesW(user.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(form->cria_atalho(text::narrow(target), "Somente leitura"));
  std::ifstream kept(user, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "read-only");
}

} // namespace
