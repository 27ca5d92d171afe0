// velacorte-queryd: the reference query service and download host of the tests, benchmarks and demo.

#include "Database.h"
#include "QueryService.h"
#include "ServiceHost.h"
#include "demo_catalogue.h"
#include "mariadb_connection.h"
#include "product.h"
#include "request_control.h"
#include "sqlite_connection.h"
#include "stop_signals.h"
#include "tls_context.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// A stop ends the process within this time, whatever its requests are waiting for.
constexpr std::chrono::milliseconds stop_grace{1500};

constexpr const char *default_token = product::kDefaultCredentials;

constexpr const char *usage =
    R"(usage: velacorte-queryd [--listen ADDR] [--port N] [--port-file FILE] [--db FILE] [--files FOLDER]
                        [--token ID:SENHA] [--demo] [--no-sha256] [--log FILE] [--control]
                        [--public-address HOST]
                        [--statement-timeout SECONDS] [--max-body BYTES] [--max-reply BYTES]
                        [--read-deadline SECONDS] [--workers N] [--queue N] [--lenient] [--latin1]
                        [--tls-cert FILE --tls-key FILE]
                        [--mariadb SOCKET|HOST:PORT [--mariadb-user USER] [--mariadb-password PASSWORD]
                         [--mariadb-database NAME]] [--help]

Runs the query service (SOAP selectxml at /servicos/wsdl/selectxml/selectxml.php, WSDL at ?wsdl)
and the download host (GET /site/arquivos/... from FOLDER) on SQLite, or on a MariaDB server.

  --listen ADDR          address to listen on (default 127.0.0.1)
  --port N               port (default 0: a free one); the first line on stdout names it
  --port-file FILE       also write the port to FILE
  --db FILE              database file (default: one in a temporary folder, removed at the end);
                         schema "sistema" lives in FILE.sistema
  --files FOLDER         folder of the download host (default with --demo: a temporary folder)
  --token ID:SENHA       the Basic credentials to accept (default: the installer's default token)
  --demo                 build the sample catalogue and its archives
  --no-sha256            with --demo: a file list without the sha256 column, as older services have
  --log FILE             append the request log to FILE
  --control              serve the control API of the tests (/_control/...) to requests with the token
  --public-address HOST  the host that the demo's links name (default: the listening address; the
                         machine's name when listening on every address)
  --statement-timeout S  cancel a statement after S seconds (default 30)
  --max-body BYTES       refuse larger request bodies, counted once inflated (gzip, deflate), with 413
                         (default 16777216)
  --max-reply BYTES      answer larger replies with a failure, counted as their rows are read; what
                         such a request wrote is undone (default 268435456)
  --read-deadline S      close a connection whose request has not arrived whole in S seconds (default 10)
  --workers N            requests served at once (default 32)
  --queue N              connections that wait for a worker; more are answered 503 (default 64)
  --lenient              take requests that the maker's service refuses (no or another SOAPAction,
                         another Content-Type or namespace, parameters by position, unknown options)
  --latin1               send text columns as ISO-8859-1 bytes without a byte-order mark
  --mariadb ADDRESS      run the SQL on the MariaDB server at a socket path or HOST:PORT, instead of
                         SQLite (--db); schema "sistema" is the server's database of that name
  --mariadb-user USER    (default root)
  --mariadb-password P   (default none)
  --mariadb-database DB  the database of unqualified names (default velacorte)
  --tls-cert FILE        serve HTTPS with this certificate (PEM, the server's first, then any
                         intermediate ones); the demo's links then begin with https://
  --tls-key FILE         the certificate's private key (PEM)
  --help                 show this text
)";

struct Settings {
  std::string listen = "127.0.0.1";
  int port = 0;
  std::string port_file;
  std::string db;
  std::string files;
  std::string token = default_token;
  bool demo = false;
  bool sha256 = true;
  std::string log;
  bool control = false;
  std::string public_address;
  StatementLimits statements;
  ConnectionLimits connections;
  bool lenient = false;
  bool latin1 = false;
  bool mariadb = false;
  MariadbSettings mariadb_server;
  std::string tls_certificate;
  std::string tls_key;
};

[[noreturn]] void bad_usage(const std::string &message) {
  std::cerr << "velacorte-queryd: " << message << "\n" << usage;
  std::exit(2);
}

double number(const std::string &option, const std::string &text, double low, double high) {
  char *end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end || !(value >= low && value <= high))
    bad_usage("invalid value " + text + " for " + option);
  return value;
}

std::chrono::milliseconds seconds(const std::string &option, const std::string &text) {
  return std::chrono::milliseconds(static_cast<long long>(number(option, text, 0.001, 86400) * 1000));
}

Settings parse(int argc, char **argv) {
  Settings settings;
  bool login_options = false;
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
      settings.port = static_cast<int>(number(arg, value(), 0, 65535));
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
    } else if (arg == "--no-sha256") {
      settings.sha256 = false;
    } else if (arg == "--log") {
      settings.log = value();
    } else if (arg == "--control") {
      settings.control = true;
    } else if (arg == "--public-address") {
      settings.public_address = value();
    } else if (arg == "--statement-timeout") {
      settings.statements.time = seconds(arg, value());
    } else if (arg == "--max-body") {
      settings.connections.max_body = static_cast<std::size_t>(number(arg, value(), 1, 1e15));
    } else if (arg == "--max-reply") {
      settings.statements.reply_bytes = static_cast<std::size_t>(number(arg, value(), 1, 1e15));
    } else if (arg == "--read-deadline") {
      settings.connections.read_deadline = seconds(arg, value());
    } else if (arg == "--workers") {
      settings.connections.workers = static_cast<std::size_t>(number(arg, value(), 1, 1024));
    } else if (arg == "--queue") {
      settings.connections.queue = static_cast<std::size_t>(number(arg, value(), 0, 100000));
    } else if (arg == "--lenient") {
      settings.lenient = true;
    } else if (arg == "--latin1") {
      settings.latin1 = true;
    } else if (arg == "--mariadb") {
      settings.mariadb = true;
      if (!read_mariadb_address(value(), settings.mariadb_server))
        bad_usage("--mariadb takes a socket path or HOST:PORT");
    } else if (arg == "--mariadb-user") {
      settings.mariadb_server.user = value();
      login_options = true;
    } else if (arg == "--mariadb-password") {
      settings.mariadb_server.password = value();
      login_options = true;
    } else if (arg == "--mariadb-database") {
      settings.mariadb_server.database = value();
      login_options = true;
    } else if (arg == "--tls-cert") {
      settings.tls_certificate = value();
    } else if (arg == "--tls-key") {
      settings.tls_key = value();
    } else {
      bad_usage("unknown argument " + arg);
    }
  }
  if (settings.mariadb && !settings.db.empty())
    bad_usage("--db and --mariadb name two databases; give one");
  if (login_options && !settings.mariadb)
    bad_usage("--mariadb-user, --mariadb-password and --mariadb-database need --mariadb");
  if (settings.tls_certificate.empty() != settings.tls_key.empty())
    bad_usage("--tls-cert and --tls-key go together");
  return settings;
}

// The folder of what the server makes for itself; removed when it ends.
class TemporaryFolder {
public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velacorte-queryd-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("create a temporary folder in " + pattern + ": failed");
    path_ = pattern;
  }
  ~TemporaryFolder() { remove(); }
  void remove() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path &path() const { return path_; }

private:
  std::filesystem::path path_;
};

bool loopback(const std::string &address) {
  return address.rfind("127.", 0) == 0 || address == "::1" || address == "localhost";
}

bool every_address(const std::string &address) {
  return address == "0.0.0.0" || address == "::" || address.empty();
}

std::string machine_name() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0 || !*name)
    return "127.0.0.1";
  return name;
}

// The address that the demo's links name: one that clients can reach.
std::string public_address(const Settings &settings) {
  if (!settings.public_address.empty())
    return settings.public_address;
  return every_address(settings.listen) ? machine_name() : settings.listen;
}

void warn_when_exposed(const Settings &settings, const std::filesystem::path &files) {
  if (loopback(settings.listen))
    return;
  std::cerr << "velacorte-queryd: warning: listening on " << settings.listen
            << ", not on loopback: the network reaches the SQL of every client that has the token";
  if (!files.empty())
    std::cerr << ", every file under " << files.string();
  if (settings.control)
    std::cerr << " and the control API (--control)";
  std::cerr << std::endl;
}

// The connections of the database that the settings name.
ConnectionOpener opener(const Settings &settings, const std::optional<TemporaryFolder> &temporary) {
  if (settings.mariadb)
    return
        [server = settings.mariadb_server](const StatementLimits &limits, const std::atomic<bool> &stopping) {
          return std::make_unique<MariadbConnection>(server, limits, stopping);
        };
  std::string db = settings.db.empty() ? (temporary->path() / "queryd.db").string() : settings.db;
  return [db](const StatementLimits &limits, const std::atomic<bool> &stopping) {
    return std::make_unique<SqliteConnection>(db, limits, stopping);
  };
}

// The demo's database on a fresh server: connected without one, the server is asked to make it.
void create_mariadb_database(const MariadbSettings &server, const StatementLimits &limits) {
  MariadbSettings without_database = server;
  without_database.database.clear();
  std::atomic<bool> never_stopping{false};
  std::string quoted;
  for (char c : server.database)
    quoted += c == '`' ? std::string("``") : std::string(1, c);
  MariadbConnection(without_database, limits, never_stopping)
      .exec("CREATE DATABASE IF NOT EXISTS `" + quoted + "`");
}

} // namespace

int main(int argc, char **argv) {
  block_stop_signals();
  Settings settings = parse(argc, argv);
  std::atomic<bool> stop_signalled{false};

  try {
    std::error_code error;
    if (!settings.files.empty() && !std::filesystem::is_directory(settings.files, error))
      throw std::runtime_error("--files " + settings.files + ": no such folder");
    std::optional<TemporaryFolder> temporary;
    if ((settings.db.empty() && !settings.mariadb) || (settings.files.empty() && settings.demo))
      temporary.emplace();
    std::filesystem::path files = settings.files;
    if (files.empty() && settings.demo)
      std::filesystem::create_directory(files = temporary->path() / "files");
    // Watched from here, so that a stop also ends a start that waits for the database.
    StopSignalWatcher watcher(stop_grace, [&temporary] {
      std::cerr << "velacorte-queryd: parar: pedidos ainda em curso " << stop_grace.count()
                << " ms depois do sinal; saída sem esperar por eles" << std::endl;
      if (temporary)
        temporary->remove();
    });

    std::optional<TlsContext> tls;
    if (!settings.tls_certificate.empty()) {
      tls.emplace(settings.tls_certificate, settings.tls_key);
      // OpenSSL writes to the socket with write(), which raises SIGPIPE when the client has gone.
      std::signal(SIGPIPE, SIG_IGN);
    }
    if (settings.demo && settings.mariadb)
      create_mariadb_database(settings.mariadb_server, settings.statements);
    Database database(opener(settings, temporary), settings.statements);
    QueryService service(database,
                         settings.latin1 ? reply::TextEncoding::latin1 : reply::TextEncoding::utf8_with_mark);
    RequestControl control(settings.log);
    ServiceHost host(service, control,
                     {settings.token, files, settings.control, settings.lenient, settings.connections,
                      tls ? tls->get() : nullptr});
    watcher.on_stop([&] {
      stop_signalled = true;
      control.stop_holding();
      host.stop();
      database.stop();
    });
    struct StopWatchEnd {
      StopSignalWatcher &watcher;
      ~StopWatchEnd() { watcher.on_stop({}); }
    } stop_watch_end{watcher};

    warn_when_exposed(settings, files);
    int port = host.bind(settings.listen, settings.port);
    if (port <= 0) {
      std::cerr << "velacorte-queryd: listen on " << settings.listen << ":" << settings.port
                << ": the address is not available or another server has the port\n";
      return 1;
    }
    if (settings.demo && settings.mariadb)
      database.exec("CREATE DATABASE IF NOT EXISTS sistema");
    if (settings.demo)
      build_demo_catalogue(database, files,
                           (tls ? "https://" : "http://") + public_address(settings) + ":" +
                               std::to_string(port),
                           settings.sha256);
    if (!settings.port_file.empty()) {
      std::string written = settings.port_file + ".tmp";
      if (!(std::ofstream(written) << port << "\n"))
        throw std::runtime_error("write the port file " + written + ": failed");
      std::filesystem::rename(written, settings.port_file);
    }
    std::cout << "velacorte-queryd listening on " << settings.listen << ":" << port << (tls ? " (HTTPS)" : "")
              << std::endl;
    return host.serve() ? 0 : 1;
  } catch (const std::exception &e) {
    if (stop_signalled)
      return 0; // stopped while starting: what failed was cancelled by the stop
    std::cerr << "velacorte-queryd: " << e.what() << "\n";
    return 1;
  }
}
