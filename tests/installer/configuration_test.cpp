#include "Exception.h"
#include "pathFirebird.h"
#include "product_settings.h"
#include "text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t kFirebirdKey[] = L"SYSTEM\\CurrentControlSet\\services\\FirebirdServerDefaultInstance";

TEST(FirebirdFolder, FromImagePath) {
  struct Case {
    const char *image_path;
    const char *folder;
  } cases[] = {
      {"\"C:\\Program Files\\Firebird\\Firebird_2_5\\bin\\fbserver.exe\" -s DefaultInstance",
       "C:\\Program Files\\Firebird\\Firebird_2_5"},
      {"fbserver.exe", ""},
      {"C:\\fbserver.exe", ""},
      {"", ""},
      {"\\\\servidor\\C\\Firebird\\bin\\fbserver.exe", "servidor\\C\\Firebird"},
      {"\"\\\\servidor\\C\\Firebird\\bin\\fbserver.exe\"", "\\\\servidor\\C\\Firebird"},
      {"D:\\bin\\fb.exe", "D:"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(firebird_folder_from_image_path(c.image_path), c.folder) << c.image_path;
}

class FirebirdServiceEntry : public ::testing::Test {
protected:
  void SetUp() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kFirebirdKey); }
  void TearDown() override { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kFirebirdKey); }

  void SetImagePath(DWORD type, const void *data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFirebirdKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"ImagePath", 0, type, static_cast<const BYTE *>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

TEST_F(FirebirdServiceEntry, MissingEntryGivesEmptyFolder) {
  EXPECT_EQ(pathFirebird(), "");
}

TEST_F(FirebirdServiceEntry, ReadsTextValuesAsStored) {
  for (DWORD type : {REG_SZ, REG_EXPAND_SZ}) {
    std::wstring path = L"\"%ProgramFiles%\\Firebird\\Firebird_2_5\\bin\\fbserver.exe\" -s DefaultInstance";
    SetImagePath(type, path.c_str(), static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(pathFirebird(), "%ProgramFiles%\\Firebird\\Firebird_2_5") << type;
  }
}

TEST_F(FirebirdServiceEntry, ValueThatIsNotTextIsAnError) {
  DWORD number = 7;
  SetImagePath(REG_DWORD, &number, sizeof(number));
  try {
    pathFirebird();
    FAIL() << "no exception";
  } catch (const Exception &e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'ImagePath'");
  }
}

std::wstring read_text(HKEY key, const wchar_t *name) {
  wchar_t buffer[512];
  DWORD size = sizeof(buffer), type = 0;
  EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
  EXPECT_EQ(size % sizeof(wchar_t), 0u);
  EXPECT_EQ(buffer[size / sizeof(wchar_t) - 1], L'\0') << "stored with its terminating null";
  return std::wstring(buffer);
}

DWORD read_number(HKEY key, const wchar_t *name) {
  DWORD value = 0, size = sizeof(value), type = 0;
  EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
  return value;
}

TEST(ProductSettings, ServerThenWorkstationReplacesTheLocations) {
  RegDeleteKeyW(HKEY_CURRENT_USER, L"VELACORTE");
  const std::wstring host = text::widen(kServerHostName);
  struct Expected {
    const wchar_t *name;
    std::wstring server, workstation;
  } texts[] = {
      {L"Database", L"c:\\velacorte\\dados\\velacorte6.fdb", host + L":c:\\velacorte\\dados\\velacorte6.fdb"},
      {L"Database_Bulas", L"c:\\velacorte\\dados\\bulas.gdb", host + L":c:\\velacorte\\dados\\bulas.gdb"},
      {L"Path_Fotos_Clientes", L"C:\\Velacorte\\Dados\\Fotos\\Clientes",
       L"\\\\" + host + L"\\C\\Velacorte\\Dados\\Fotos\\Clientes"},
      {L"Path_Fotos_Dependentes", L"C:\\Velacorte\\Dados\\Fotos\\Dependentes",
       L"\\\\" + host + L"\\C\\Velacorte\\Dados\\Fotos\\Dependentes"},
      {L"Path_Fotos_Vendedores", L"C:\\Velacorte\\Dados\\Fotos\\Vendedores",
       L"\\\\" + host + L"\\C\\Velacorte\\Dados\\Fotos\\Vendedores"},
      {L"Pasta_VidaLink", L"C:\\PDV01", L"C:\\PDV01"},
  };
  for (bool server : {true, false}) {
    write_product_settings(server);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"VELACORTE", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const Expected &e : texts)
      EXPECT_EQ(read_text(key, e.name), server ? e.server : e.workstation) << e.name;
    EXPECT_EQ(read_number(key, L"Colunas"), 60u);
    EXPECT_EQ(read_number(key, L"Impressora"), 5u);
    EXPECT_EQ(read_number(key, L"Salto_Picote"), 15u);
    RegCloseKey(key);
  }
}

} // namespace
