// velacorte-queryd: the reference query service and download host of the tests, benchmarks and demo.

#include "Database.h"
#include "QueryService.h"
#include "ServiceHost.h"
#include "demo_catalogue.h"
#include "request_control.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

constexpr const char *default_token = "06192284400461:1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A";

constexpr const char *usage =
    R"(usage: velacorte-queryd [--listen ADDR] [--port N] [--port-file FILE] [--db FILE] [--files FOLDER]
                        [--token ID:SENHA] [--demo] [--log FILE] [--help]

Runs the query service (SOAP selectxml at /servicos/wsdl/selectxml/selectxml.php, WSDL at ?wsdl)
and the download host (GET /site/arquivos/... from FOLDER) on SQLite.

  --listen ADDR     address to listen on (default 127.0.0.1)
  --port N          port (default 0: a free one); the first line on stdout names it
  --port-file FILE  also write the port to FILE
  --db FILE         database file (default: in memory); schema "sistema" lives in FILE.sistema
  --files FOLDER    folder of the download host (default with --demo: a temporary folder)
  --token ID:SENHA  the Basic credentials to accept (default: the installer's default token)
  --demo            build the sample catalogue and its archives
  --log FILE        append the request log to FILE
  --help            show this text
)";

struct Settings {
  std::string listen = "127.0.0.1";
  int port = 0;
  std::string port_file;
  std::string db = ":memory:";
  std::string files;
  std::string token = default_token;
  bool demo = false;
  std::string log;
};

[[noreturn]] void bad_usage(const std::string &message) {
  std::cerr << "velacorte-queryd: " << message << "\n" << usage;
  std::exit(2);
}

Settings parse(int argc, char **argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc)
        bad_usage(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help") {
      std::cout << usage;
      std::exit(0);
    } else if (arg == "--listen") {
      settings.listen = value();
    } else if (arg == "--port") {
      std::string text = value();
      char *end = nullptr;
      long port = std::strtol(text.c_str(), &end, 10);
      if (*end || port < 0 || port > 65535 || text.empty())
        bad_usage("invalid port " + text);
      settings.port = static_cast<int>(port);
    } else if (arg == "--port-file") {
      settings.port_file = value();
    } else if (arg == "--db") {
      settings.db = value();
    } else if (arg == "--files") {
      settings.files = value();
    } else if (arg == "--token") {
      settings.token = value();
      if (settings.token.find(':') == std::string::npos)
        bad_usage("--token takes ID:SENHA");
    } else if (arg == "--demo") {
      settings.demo = true;
    } else if (arg == "--log") {
      settings.log = value();
    } else {
      bad_usage("unknown argument " + arg);
    }
  }
  return settings;
}

std::filesystem::path temporary_folder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velacorte-queryd-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

} // namespace

int main(int argc, char **argv) {
  Settings settings = parse(argc, argv);

  // SIGINT and SIGTERM are taken by one thread that stops the server; every other thread blocks them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  try {
    std::filesystem::path files = settings.files;
    std::filesystem::path owned_files;
    if (files.empty() && settings.demo)
      files = owned_files = temporary_folder();

    Database database(settings.db);
    QueryService service(database);
    RequestControl control(settings.log);
    ServiceHost host(service, control, settings.token, files);

    int port = host.bind(settings.listen, settings.port);
    if (port <= 0) {
      std::cerr << "velacorte-queryd: cannot listen on " << settings.listen << ":" << settings.port << "\n";
      return 1;
    }
    std::string base_url = "http://" + settings.listen + ":" + std::to_string(port);
    if (settings.demo)
      build_demo_catalogue(database, files, base_url);
    if (!settings.port_file.empty()) {
      std::string temporary = settings.port_file + ".tmp";
      std::ofstream(temporary) << port << "\n";
      std::filesystem::rename(temporary, settings.port_file);
    }

    std::thread stopper([&host, &control, &stop_signals] {
      int signal = 0;
      sigwait(&stop_signals, &signal);
      control.stop_holding();
      host.stop();
    });
    std::cout << "velacorte-queryd listening on " << settings.listen << ":" << port << std::endl;
    bool served = host.serve();
    if (!served)
      pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    if (!owned_files.empty())
      std::filesystem::remove_all(owned_files);
    return served ? 0 : 1;
  } catch (const std::exception &e) {
    std::cerr << "velacorte-queryd: " << e.what() << "\n";
    return 1;
  }
}
