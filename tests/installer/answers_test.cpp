// The answers of an unattended run: Yes while rounds of attempts remain, then No, each in the log with
// the question; messages reach the log and nothing else.
#include "answers.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

const fs::path kFolder = L"c:\\respostas-teste";
const std::wstring kLog = L"c:\\respostas-teste\\Install.log";

class AnswersTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::remove_all(kFolder);
    fs::create_directories(kFolder);
  }
  void TearDown() override { fs::remove_all(kFolder); }
};

TEST_F(AnswersTest, UnattendedAnswersYesWhileRoundsRemain) {
  struct Case {
    int rounds, rounds_had, answer;
    const char *logged;
  } cases[] = {
      {2, 1, IDYES, "\": Sim (sem operador, rodada 1 de 2)\r\n"},
      {2, 2, IDNO, "\": Não (sem operador, rodada 2 de 2)\r\n"},
      {1, 1, IDNO, "\": Não (sem operador, rodada 1 de 1)\r\n"},
      {5, 4, IDYES, "\": Sim (sem operador, rodada 4 de 5)\r\n"},
      {5, 9, IDNO, "\": Não (sem operador, rodada 9 de 5)\r\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.logged);
    fs::remove(kLog);
    InstallLog log(kLog);
    Answers answers = Answers::unattended(c.rounds);
    EXPECT_TRUE(answers.unattended());
    EXPECT_EQ(
        answers.ask(log, L"Erro Baixando Firebird, tentar novamente?", MB_ICONEXCLAMATION, c.rounds_had),
        c.answer);
    std::string text = contents(kLog);
    EXPECT_NE(text.find(" perguntar \"Erro Baixando Firebird, tentar novamente?" + std::string(c.logged)),
              std::string::npos)
        << text;
  }
}

TEST_F(AnswersTest, UnattendedMessageGoesToTheLogOnly) {
  InstallLog log(kLog);
  Answers::unattended(2).tell(log, L"Arquivos não instalados:\r\nVelacorte.exe: em uso", MB_ICONWARNING);
  std::string text = contents(kLog);
  EXPECT_NE(text.find(" mensagem (sem operador): Arquivos não instalados:  Velacorte.exe: em uso\r\n"),
            std::string::npos)
      << text;
  EXPECT_FALSE(Answers().unattended());
}

} // namespace
