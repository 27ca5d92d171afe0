// How a run's outcome reads: the exit codes and the summary of what was not placed.
#include "run_outcome.h"

#include <gtest/gtest.h>

namespace {

TEST(RunOutcome, ExitCodesAreTheOnesDeploymentToolsRead) {
  struct Case {
    RunEnding ending;
    int code;
  } cases[] = {{RunEnding::Completed, 0},
               {RunEnding::CompletedWithFailures, 1603},
               {RunEnding::Failed, 1603},
               {RunEnding::NoRun, 1602},
               {RunEnding::AlreadyRunning, 1618}};
  for (const Case &c : cases)
    EXPECT_EQ(exit_code(c.ending), c.code) << static_cast<int>(c.ending);
}

TEST(RunOutcome, OneFileNotPlacedMakesTheRunEndWithFailures) {
  RunOutcome outcome;
  outcome.placed();
  EXPECT_EQ(outcome.ending(), RunEnding::Completed);
  outcome.not_placed("Velacorte.exe", "copiar c:\\Velacorte\\Velacorte.exe: em uso");
  EXPECT_EQ(outcome.ending(), RunEnding::CompletedWithFailures);
  EXPECT_EQ(outcome.summary("c:\\Velacorte\\Install.log"),
            "Arquivos não instalados:\r\n"
            "Velacorte.exe: copiar c:\\Velacorte\\Velacorte.exe: em uso\r\n"
            "\r\nTotal: 1 não instalado(s), 1 instalado(s).\r\nRegistro: c:\\Velacorte\\Install.log");
}

TEST(RunOutcome, SummaryNamesTenFilesAndCountsTheRest) {
  RunOutcome outcome;
  for (int i = 1; i <= 12; ++i)
    outcome.not_placed("arquivo" + std::to_string(i), "motivo " + std::to_string(i));
  std::string summary = outcome.summary("log");
  EXPECT_NE(summary.find("arquivo10: motivo 10\r\n... e mais 2\r\n"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("arquivo11"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Total: 12 não instalado(s), 0 instalado(s)."), std::string::npos) << summary;
  EXPECT_EQ(outcome.failures().size(), 12u);
}

} // namespace
