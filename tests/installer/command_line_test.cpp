// The installer's command line: each line of the table, what it asks for and the options it makes.
#include "command_line.h"

#include <gtest/gtest.h>

namespace {

using Ticks = std::array<bool, kComponents>; // firebird, ultravnc, ibo, caminho, banco, dll

InstallOptions made(RunMode mode, std::string type, std::optional<Ticks> components = std::nullopt,
                    std::string log_path = "", int rounds = 2, std::string proxy = "") {
  InstallOptions options;
  options.proxy = std::move(proxy);
  options.mode = mode;
  options.type = std::move(type);
  options.components = components;
  options.log_path = std::move(log_path);
  options.rounds = rounds;
  return options;
}

struct Case {
  std::vector<std::string> arguments;
  CommandLine::Request request;
  InstallOptions expected;
};

const RunMode kSilent = RunMode::Silent, kVerySilent = RunMode::VerySilent;
const CommandLine::Request kRun = CommandLine::Run, kHelp = CommandLine::Help;

const Case kRuns[] = {
    {{}, kRun, made(RunMode::Window, "")},
    {{"/SILENT", "/TIPO=Servidor"}, kRun, made(kSilent, "Servidor")},
    {{"/verysilent", "/tipo=Servidor"}, kRun, made(kVerySilent, "Servidor")},
    {{"/TIPO=Estacao", "/VerySilent"}, kRun, made(kVerySilent, "Estação")},
    {{"/SILENT", "/TIPO=Estação"}, kRun, made(kSilent, "Estação")},
    {{"/SILENT", "/TIPO=Servidor", "/COMPONENTES=firebird,dll"},
     kRun,
     made(kSilent, "Servidor", Ticks{true, false, false, false, false, true})},
    {{"/SILENT", "/TIPO=Servidor", "/componentes=ultravnc,ibo,caminho,banco"},
     kRun,
     made(kSilent, "Servidor", Ticks{false, true, true, true, true, false})},
    // An empty list clears every box.
    {{"/SILENT", "/TIPO=Servidor", "/COMPONENTES="}, kRun, made(kSilent, "Servidor", Ticks{})},
    {{"/VERYSILENT", "/TIPO=Servidor", "/LOG=C:\\Logs\\Instalação Loja 3.log"},
     kRun,
     made(kVerySilent, "Servidor", std::nullopt, "C:\\Logs\\Instalação Loja 3.log")},
    // A value is taken as written, '=' and all.
    {{"/VERYSILENT", "/TIPO=Servidor", "/log=a=b.log"},
     kRun,
     made(kVerySilent, "Servidor", std::nullopt, "a=b.log")},
    {{"/VERYSILENT", "/TIPO=Servidor", "/TENTATIVAS=1"},
     kRun,
     made(kVerySilent, "Servidor", std::nullopt, "", 1)},
    {{"/VERYSILENT", "/TIPO=Servidor", "/Tentativas=100"},
     kRun,
     made(kVerySilent, "Servidor", std::nullopt, "", 100)},
    {{"/VERYSILENT", "/TIPO=Servidor", "/PROXY=192.168.0.1:3128"},
     kRun,
     made(kVerySilent, "Servidor", std::nullopt, "", 2, "192.168.0.1:3128")},
    {{"/VERYSILENT", "/TIPO=Servidor", "/proxy=proxy.loja.local:8080"},
     kRun,
     made(kVerySilent, "Servidor", std::nullopt, "", 2, "proxy.loja.local:8080")},
    {{"/VERYSILENT", "/TIPO=Servidor", "/PROXY=direct"},
     kRun,
     made(kVerySilent, "Servidor", std::nullopt, "", 2, "DIRECT")},
    {{"/?"}, kHelp, {}},
    {{"/help"}, kHelp, {}},
    {{"/VERYSILENT", "/HeLp"}, kHelp, {}},
    // Help wins over whatever else the line holds.
    {{"/bogus", "/?"}, kHelp, {}},
};

TEST(CommandLine, EachLineMakesItsOptions) {
  for (const Case &c : kRuns) {
    std::string shown;
    for (const std::string &argument : c.arguments)
      shown += argument + " ";
    SCOPED_TRACE(shown);
    CommandLine line = parse_command_line(c.arguments);
    EXPECT_EQ(line.request, c.request) << line.error;
    if (c.request != CommandLine::Run)
      continue;
    EXPECT_EQ(line.options.mode, c.expected.mode);
    EXPECT_EQ(line.options.type, c.expected.type);
    EXPECT_EQ(line.options.components, c.expected.components);
    EXPECT_EQ(line.options.log_path, c.expected.log_path);
    EXPECT_EQ(line.options.rounds, c.expected.rounds);
    EXPECT_EQ(line.options.proxy, c.expected.proxy);
  }
}

struct Refusal {
  std::vector<std::string> arguments;
  std::string named; // what the error must name
};

const Refusal kRefused[] = {
    {{"/SILENT"}, "/TIPO="},
    {{"/VERYSILENT", "/COMPONENTES=firebird"}, "/TIPO="},
    {{"/TIPO=Servidor"}, "/SILENT"},
    {{"/SILENT", "/TIPO=servidor"}, "servidor"},
    {{"/SILENT", "/TIPO=SERVIDOR"}, "SERVIDOR"},
    {{"/SILENT", "/TIPO=Servidor "}, "Servidor "},
    {{"/SILENT", "/TIPO=estação"}, "estação"},
    {{"/SILENT", "/TIPO="}, "/TIPO"},
    {{"/SILENT", "/TIPO"}, "/TIPO"},
    {{"/SILENT", "/TIPO=Servidor", "/TIPO=Estacao"}, "/TIPO=Estacao"},
    {{"/SILENT", "/VERYSILENT", "/TIPO=Servidor"}, "/VERYSILENT"},
    {{"/SILENT", "/SILENT", "/TIPO=Servidor"}, "/SILENT"},
    {{"/SILENT=1", "/TIPO=Servidor"}, "/SILENT=1"},
    {{"/SILENT", "/TIPO=Servidor", "/COMPONENTES=firebird,java"}, "java"},
    {{"/SILENT", "/TIPO=Servidor", "/COMPONENTES=Firebird"}, "Firebird"},
    {{"/SILENT", "/TIPO=Servidor", "/COMPONENTES=firebird,"}, "\"\""},
    {{"/SILENT", "/TIPO=Servidor", "/COMPONENTES=firebird, ibo"}, " ibo"},
    {{"/SILENT", "/TIPO=Servidor", "/LOG="}, "/LOG="},
    {{"/SILENT", "/TIPO=Servidor", "/TENTATIVAS=0"}, "\"0\""},
    {{"/SILENT", "/TIPO=Servidor", "/TENTATIVAS=-1"}, "\"-1\""},
    {{"/SILENT", "/TIPO=Servidor", "/TENTATIVAS=101"}, "\"101\""},
    {{"/SILENT", "/TIPO=Servidor", "/TENTATIVAS=2x"}, "\"2x\""},
    {{"/SILENT", "/TIPO=Servidor", "/TENTATIVAS="}, "\"\""},
    {{"/SILENT", "/TIPO=Servidor", "/TENTATIVAS=99999999999999999999"}, "99999999999999999999"},
    // A proxy is one host and its port: no list, no scheme, no port out of range.
    {{"/SILENT", "/TIPO=Servidor", "/PROXY="}, "/PROXY"},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=proxy"}, "\"proxy\""},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=:3128"}, "\":3128\""},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=proxy:"}, "\"proxy:\""},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=proxy:0"}, "\"proxy:0\""},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=proxy:65536"}, "\"proxy:65536\""},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=proxy:80x"}, "\"proxy:80x\""},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=http://proxy:80"}, "http://proxy:80"},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=a:1;b:2"}, "a:1;b:2"},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=http=a:1"}, "http=a:1"},
    {{"/SILENT", "/TIPO=Servidor", "/PROXY=a:1", "/PROXY=DIRECT"}, "/PROXY=DIRECT"},
    {{"/SILENT", "/TIPO=Servidor", "-SILENT"}, "-SILENT"},
    {{"/SILENT", "/TIPO=Servidor", ""}, "\"\""},
    {{"/SILENT", "/TIPO=Servidor", "c:\\install"}, "c:\\install"},
};

TEST(CommandLine, WrongLinesAreRefusedNamingTheArgument) {
  for (const Refusal &c : kRefused) {
    std::string shown;
    for (const std::string &argument : c.arguments)
      shown += argument + " ";
    SCOPED_TRACE(shown);
    CommandLine line = parse_command_line(c.arguments);
    EXPECT_EQ(line.request, CommandLine::Invalid);
    EXPECT_NE(line.error.find(c.named), std::string::npos) << line.error;
  }
}

TEST(CommandLine, UsageNamesEverySwitchAndExitCode) {
  std::string usage = usage_text();
  for (const char *named :
       {"/SILENT", "/VERYSILENT", "/TIPO=Servidor", "Estacao", "/COMPONENTES=", "firebird",     "ultravnc",
        "ibo",     "caminho",     "banco",          "dll",     "/LOG=",         "/TENTATIVAS=", "/PROXY=",
        "DIRECT",  "/?",          "/HELP",          "87",      "1603",          "1618"})
    EXPECT_NE(usage.find(named), std::string::npos) << named;
}

} // namespace

namespace {

// Whether a box may be shown is known also for a line that is refused or asks for help.
TEST(CommandLine, NoWindowIsToldForEveryRequest) {
  struct Case {
    std::vector<std::string> arguments;
    bool no_window;
  } cases[] = {
      {{"/VERYSILENT", "/TIPO=servidor"}, true},
      {{"/verysilent", "/?"}, true},
      {{"/TIPO=Servidor", "/VerySilent"}, true},
      {{"/SILENT", "/TIPO=servidor"}, false},
      {{"/?"}, false},
      {{}, false},
      {{"/VERYSILENT=1"}, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(parse_command_line(c.arguments).no_window, c.no_window) << c.arguments.size();
}

} // namespace
