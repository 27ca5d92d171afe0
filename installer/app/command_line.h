#pragma once

// The installer's command line: no argument opens the window as always; the switches of an unattended
// run (technicians, deployment tools) make one options value. Portable: arguments come in as UTF-8.

#include <array>
#include <optional>
#include <string>
#include <vector>

enum class RunMode {
  Window,     // no argument: the operator drives the window
  Silent,     // /SILENT: the window follows the run, nothing waits for a person
  VerySilent, // /VERYSILENT: no window at all
};

// The option boxes of the window, in its order.
enum class Component { Firebird, UltraVnc, Ibo, Caminho, Banco, Dll };
inline constexpr size_t kComponents = 6;

struct InstallOptions {
  RunMode mode = RunMode::Window;
  // "Servidor" or "Estação", as the type box spells them.
  std::string type;
  // Which boxes are ticked, by Component; absent: the boxes as the window starts.
  std::optional<std::array<bool, kComponents>> components;
  // The install log's path; empty: the default.
  std::string log_path;
  // Rounds of three attempts that one download gets before it is given up.
  int rounds = 2;
  // /PROXY=: "DIRECT", or the "host:port" of the proxy that every request takes; empty: the system's
  // settings decide.
  std::string proxy;
};

struct CommandLine {
  enum Request { Run, Help, Invalid } request = Run;
  InstallOptions options;
  // For Invalid: what was wrong, naming the argument.
  std::string error;
  // Whether the line holds /VERYSILENT, also when it is refused or asks for help: then no box is shown.
  bool no_window = false;
};

inline constexpr int kMostRounds = 100;

CommandLine parse_command_line(const std::vector<std::string> &arguments);

// The usage, in Portuguese, for the help box and for a command line that is refused.
std::string usage_text();
