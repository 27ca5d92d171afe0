#include "command_line.h"

#include "text.h"

#include <charconv>

namespace {

struct ComponentName {
  const char *name;
  Component component;
};

constexpr ComponentName kComponentNames[] = {
    {"firebird", Component::Firebird}, {"ultravnc", Component::UltraVnc}, {"ibo", Component::Ibo},
    {"caminho", Component::Caminho},   {"banco", Component::Banco},       {"dll", Component::Dll},
};

std::optional<std::array<bool, kComponents>> components_of(const std::string &list, std::string &error) {
  std::array<bool, kComponents> ticked{};
  if (list.empty())
    return ticked;
  for (size_t start = 0;;) {
    size_t comma = list.find(',', start);
    std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    bool known = false;
    for (const ComponentName &entry : kComponentNames)
      if (name == entry.name) {
        ticked[static_cast<size_t>(entry.component)] = true;
        known = true;
      }
    if (!known) {
      error = "/COMPONENTES: componente desconhecido \"" + name + "\"";
      return std::nullopt;
    }
    if (comma == std::string::npos)
      return ticked;
    start = comma + 1;
  }
}

std::optional<int> rounds_of(const std::string &value) {
  int rounds = 0;
  auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), rounds);
  if (value.empty() || failure != std::errc() || end != value.data() + value.size() || rounds < 1 ||
      rounds > kMostRounds)
    return std::nullopt;
  return rounds;
}

// "DIRECT" in any letter case, or a host and a port from 1 to 65535, with nothing that would make the
// value a list of proxies.
std::optional<std::string> proxy_of(const std::string &value) {
  if (text::upper_ascii(value) == "DIRECT")
    return std::string("DIRECT");
  size_t colon = value.rfind(':');
  if (colon == std::string::npos || colon == 0 || value.find_first_of(" \t;=/\\") != std::string::npos)
    return std::nullopt;
  int port = 0;
  const char *digits = value.data() + colon + 1, *end = value.data() + value.size();
  auto [stop, failure] = std::from_chars(digits, end, port);
  if (digits == end || failure != std::errc() || stop != end || port < 1 || port > 65535)
    return std::nullopt;
  return value;
}

bool holds_switch(const std::vector<std::string> &arguments, const char *name) {
  for (const std::string &argument : arguments)
    if (text::upper_ascii(argument) == name)
      return true;
  return false;
}

} // namespace

CommandLine parse_command_line(const std::vector<std::string> &arguments) {
  CommandLine line;
  line.no_window = holds_switch(arguments, "/VERYSILENT");
  if (holds_switch(arguments, "/?") || holds_switch(arguments, "/HELP")) {
    line.request = CommandLine::Help;
    return line;
  }
  auto refused = [&](std::string error) {
    line.request = CommandLine::Invalid;
    line.error = std::move(error);
    line.options = {};
    return line;
  };
  InstallOptions &options = line.options;

  bool type_given = false, log_given = false, rounds_given = false, proxy_given = false;
  for (const std::string &argument : arguments) {
    size_t equals = argument.find('=');
    std::string name = text::upper_ascii(argument.substr(0, equals));
    std::string value = equals == std::string::npos ? "" : argument.substr(equals + 1);
    bool has_value = equals != std::string::npos;
    if ((name == "/SILENT" || name == "/VERYSILENT") && !has_value) {
      if (options.mode != RunMode::Window)
        return refused(argument + ": modo já dado");
      options.mode = name == "/SILENT" ? RunMode::Silent : RunMode::VerySilent;
    } else if (name == "/TIPO" && has_value && !type_given) {
      if (value == "Servidor")
        options.type = "Servidor";
      else if (value == "Estacao" || value == "Estação")
        options.type = "Estação";
      else
        return refused("/TIPO: tipo desconhecido \"" + value + "\"");
      type_given = true;
    } else if (name == "/COMPONENTES" && has_value && !options.components) {
      std::string error;
      options.components = components_of(value, error);
      if (!options.components)
        return refused(error);
    } else if (name == "/LOG" && has_value && !log_given && !value.empty()) {
      options.log_path = value;
      log_given = true;
    } else if (name == "/TENTATIVAS" && has_value && !rounds_given) {
      std::optional<int> rounds = rounds_of(value);
      if (!rounds)
        return refused("/TENTATIVAS: número inválido \"" + value + "\" (de 1 a " +
                       std::to_string(kMostRounds) + ")");
      options.rounds = *rounds;
      rounds_given = true;
    } else if (name == "/PROXY" && has_value && !proxy_given) {
      std::optional<std::string> proxy = proxy_of(value);
      if (!proxy)
        return refused("/PROXY: proxy inválido \"" + value + "\" (host:porta ou DIRECT)");
      options.proxy = *proxy;
      proxy_given = true;
    } else {
      return refused("argumento inválido \"" + argument + "\"");
    }
  }
  if (arguments.empty())
    return line;
  if (options.mode == RunMode::Window)
    return refused("falta /SILENT ou /VERYSILENT");
  if (!type_given)
    return refused("falta /TIPO=");
  return line;
}

std::string usage_text() {
  return "Uso: Install.exe [/SILENT | /VERYSILENT] /TIPO=Servidor|Estacao [opções]\r\n"
         "\r\n"
         "Sem argumentos, abre a janela do instalador.\r\n"
         "\r\n"
         "/SILENT\t\tmostra a janela e instala sem perguntar nada\r\n"
         "/VERYSILENT\tinstala sem janela\r\n"
         "/TIPO=Servidor ou /TIPO=Estacao (ou Estação): tipo da instalação\r\n"
         "/COMPONENTES=LISTA\tcomponentes marcados, separados por vírgula: firebird, ultravnc, ibo,\r\n"
         "\t\tcaminho (Configurar Caminho BD), banco (Baixar Banco de Dados), dll (Somente DLL);\r\n"
         "\t\tsem esta opção, os componentes marcados de início na janela\r\n"
         "/LOG=ARQUIVO\tgrava o registro da instalação em ARQUIVO (padrão c:\\Velacorte\\Install.log)\r\n"
         "/TENTATIVAS=N\trodadas de três tentativas por download antes de desistir (padrão 2)\r\n"
         "/PROXY=HOST:PORTA\tusa este proxy nas consultas e downloads; /PROXY=DIRECT, nenhum;\r\n"
         "\t\tsem esta opção, o proxy das configurações de Internet do Windows\r\n"
         "/? ou /HELP\tmostra este texto\r\n"
         "\r\n"
         "Códigos de saída: 0 concluído; 1603 falha ou arquivos não instalados; 1602 nenhuma instalação;\r\n"
         "1618 outro instalador em execução; 87 linha de comando inválida.\r\n";
}
