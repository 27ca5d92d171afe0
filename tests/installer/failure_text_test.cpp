// How a failure reads in the log and the boxes: operation, object and reason, in Portuguese whatever
// the language of Windows, with the code of a Windows error.
#include "failure.h"
#include "windows_error.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(FailureText, NamesTheOperationTheObjectAndTheReason) {
  struct Case {
    Failure failure;
    const char *text;
  } cases[] = {
      {{"copiar", "c:\\Velacorte\\Velacorte.exe", "em uso"}, "copiar c:\\Velacorte\\Velacorte.exe: em uso"},
      {{"baixar", "http://h/1001.zip", "abandonado"}, "baixar http://h/1001.zip: abandonado"},
      {{"nome fora da pasta", "", "..\\x.dll"}, "nome fora da pasta: ..\\x.dll"},
      {{"desempacotar", "\"c:\\tmp\\1.zip\" não é um arquivo ZIP", ""},
       "desempacotar \"c:\\tmp\\1.zip\" não é um arquivo ZIP"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.failure.text(), c.text);
    EXPECT_STREQ(FailureError(c.failure).what(), c.text);
  }
}

TEST(FailureText, WindowsErrorsReadInPortugueseWithTheirCode) {
  struct Case {
    DWORD error;
    const char *text;
  } cases[] = {
      {ERROR_SHARING_VIOLATION, "em uso"},
      {ERROR_LOCK_VIOLATION, "em uso"},
      {ERROR_ACCESS_DENIED, "acesso negado (erro 5)"},
      {ERROR_FILE_NOT_FOUND, "arquivo não encontrado (erro 2)"},
      {ERROR_DISK_FULL, "disco cheio (erro 112)"},
      {static_cast<DWORD>(REGDB_E_CLASSNOTREG), "classe não registrada (erro 0x80040154)"},
      {static_cast<DWORD>(E_NOINTERFACE), "interface não suportada (erro 0x80004002)"},
      // A code of no known meaning is named by its number alone, never by Windows' own text.
      {12345, "erro 12345"},
      {0x80071234, "erro 0x80071234"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(windows_error_text(c.error), c.text) << c.error;
}

} // namespace
