// velacorte-queryd against careless and hostile clients: each fault a client could cause, reproduced
// against a server of the test's own, and what the server does about it.

#include "QueryService.h"
#include "base64.h"
#include "queryd_client.h"
#include "raw_connection.h"
#include "request_control.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using queryd_test::call;
using queryd_test::codigo;
using queryd_test::first_row_value;
using queryd_test::mensagem;
using queryd_test::QuerydServer;
using queryd_test::resident_mb;
using Clock = std::chrono::steady_clock;

constexpr const char *endless = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                                "SELECT count(*) FROM n";

std::chrono::milliseconds since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// The table "notas" of a non-demo server, for the tests of writes.
void create_notes(const QuerydServer &server) {
  ASSERT_EQ(
      codigo(
          call(server, "create table if not exists notas (id integer primary key, texto varchar(40))").reply),
      "000");
}

TEST(QuerydTransactions, AFailedScriptLeavesLaterConfirmedWritesDurable) {
  queryd_test::ScratchFolder folder("queryd_transactions");
  queryd_test::Options options{.demo = false, .db = folder / "notas.db"};
  {
    QuerydServer server(options);
    create_notes(server);
    queryd_test::Call script =
        call(server, "BEGIN; INSERT INTO notas (texto) VALUES ('do script'); SELECT * FROM falta; COMMIT",
             "1:1;script=S");
    EXPECT_EQ(codigo(script.reply), "102") << script.reply;
    EXPECT_EQ(codigo(call(server, "INSERT INTO notas (texto) VALUES ('confirmada')").reply), "000");
    server.kill_now();
  }
  QuerydServer again(options);
  std::string rows = call(again, "select group_concat(texto) as textos from notas").reply;
  EXPECT_EQ(base64::decode(first_row_value(rows, "TEXTOS")), "confirmada") << rows;
}

TEST(QuerydTransactions, ATransactionLeftOpenIsRolledBackAndAnsweredAsAFailure) {
  QuerydServer server({.demo = false});
  create_notes(server);
  struct Case {
    std::string sql;
    std::string options;
  } cases[] = {
      {"BEGIN", "1:1;script=N"},
      {"SAVEPOINT s", "1:1;script=N"},
      {"BEGIN; INSERT INTO notas (texto) VALUES ('aberta')", "1:1;script=S"},
  };
  for (const Case &c : cases) {
    std::string reply = call(server, c.sql, c.options).reply;
    EXPECT_EQ(codigo(reply), "102") << c.sql;
    EXPECT_NE(mensagem(reply).find("transação aberta"), std::string::npos) << reply;
  }
  // Every later write is committed: another connection of the pool sees it at once.
  EXPECT_EQ(codigo(call(server, "INSERT INTO notas (texto) VALUES ('depois')").reply), "000");
  std::string rows = call(server, "select count(*) as n, sum(texto = 'aberta') as abertas from notas").reply;
  EXPECT_EQ(first_row_value(rows, "N"), "1") << rows;
  EXPECT_EQ(first_row_value(rows, "ABERTAS"), "0") << rows;
  // A transaction begun and committed in one request is a success.
  EXPECT_EQ(
      codigo(call(server, "BEGIN; INSERT INTO notas (texto) VALUES ('x'); COMMIT", "1:1;script=S").reply),
      "000");
}

TEST(QuerydTransactions, ReadersDoNotWaitForAWriter) {
  QuerydServer server({.demo = false, .arguments = {"--statement-timeout", "3"}});
  create_notes(server);
  ASSERT_EQ(codigo(call(server, "INSERT INTO notas (texto) VALUES ('antes')").reply), "000");
  auto endless_write = std::async(std::launch::async, [&] {
    return call(server,
                "INSERT INTO notas (texto) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
                "SELECT 'sem fim' FROM n")
        .reply;
  });
  std::this_thread::sleep_for(300ms);
  Clock::time_point start = Clock::now();
  std::string rows = call(server, "select count(*) as n from notas").reply;
  EXPECT_LT(since(start), 2000ms);
  EXPECT_EQ(first_row_value(rows, "N"), "1") << rows;
  EXPECT_EQ(codigo(endless_write.get()), "102");
  // The cancelled statement left nothing behind, and writing goes on.
  EXPECT_EQ(codigo(call(server, "INSERT INTO notas (texto) VALUES ('depois')").reply), "000");
  EXPECT_EQ(first_row_value(call(server, "select count(*) as n from notas").reply, "N"), "2");
}

TEST(QuerydStatementLimit, AnEndlessStatementIsCancelledAndBlocksNoOneMeanwhile) {
  QuerydServer server({.arguments = {"--statement-timeout", "4"}});
  auto endless_call = std::async(std::launch::async, [&] { return call(server, endless); });
  std::this_thread::sleep_for(300ms);
  for (int round = 0; round < 3; ++round) {
    Clock::time_point start = Clock::now();
    EXPECT_EQ(codigo(call(server, "select 1").reply), "000");
    EXPECT_EQ(server.request("GET", "/site/arquivos/produto/1001.zip").status, 200);
    EXPECT_LT(since(start), 2000ms) << "round " << round;
  }
  queryd_test::Call cancelled = endless_call.get();
  EXPECT_EQ(codigo(cancelled.reply), "102") << cancelled.reply;
  EXPECT_NE(mensagem(cancelled.reply).find("--statement-timeout"), std::string::npos) << cancelled.reply;
}

// Freezes the fixture's mariadbd for the life of the object, as a server that stops answering.
class FrozenMariadb {
public:
  FrozenMariadb() {
    std::ifstream(std::filesystem::path(queryd_test::mariadb_socket()).parent_path() / "mariadbd.pid") >>
        pid_;
    EXPECT_GT(pid_, 0) << "the fixture's mariadbd.pid";
    if (pid_ > 0)
      kill(pid_, SIGSTOP);
  }
  ~FrozenMariadb() {
    if (pid_ > 0)
      kill(pid_, SIGCONT);
  }
  FrozenMariadb(const FrozenMariadb &) = delete;
  FrozenMariadb &operator=(const FrozenMariadb &) = delete;

private:
  int pid_ = 0;
};

TEST(QuerydStatementLimit, SigtermEndsTheServerWhileAStatementRuns) {
  const std::string mariadb = queryd_test::mariadb_socket();
  struct Case {
    const char *what;
    std::vector<std::string> arguments;
    const char *sql;
    bool frozen; // the database server stops answering once the statement runs
  } cases[] = {
      {"SQLite", {}, endless, false},
      {"MariaDB", {"--mariadb", mariadb}, "select sleep(60) as s", false},
      {"MariaDB that stops answering", {"--mariadb", mariadb}, "select sleep(60) as s", true},
  };
  for (const Case &c : cases) {
    QuerydServer server({.demo = false, .arguments = c.arguments});
    auto running_call = std::async(std::launch::async, [&] {
      try {
        return call(server, c.sql).status;
      } catch (const std::exception &) {
        return 0; // the connection ended with the server
      }
    });
    std::this_thread::sleep_for(500ms);
    std::optional<FrozenMariadb> frozen;
    if (c.frozen)
      frozen.emplace();
    Clock::time_point start = Clock::now();
    EXPECT_EQ(server.stop(2000ms), 0) << c.what;
    EXPECT_LT(since(start), 2000ms) << c.what;
    running_call.get();
  }
}

TEST(QuerydStop, SigtermEndsTheServerWhileClientsHoldItsConnections) {
  queryd_test::ScratchFolder folder("queryd_stop_busy");
  std::filesystem::create_directories(folder.path() / "files");
  std::ofstream(folder / "files/grande.zip", std::ios::binary) << std::string(32 << 20, 'g');
  QuerydServer server({.files = folder / "files"});
  std::vector<std::unique_ptr<RawConnection>> clients;
  for (int i = 0; i < 4; ++i) { // trickling, silent, and a download that is never read
    clients.push_back(std::make_unique<RawConnection>(server.port()));
    if (i == 0)
      clients.back()->send_text("GET / HTTP/1.1\r\nHost: x\r\n");
    if (i == 1)
      clients.back()->send_text("GET /site/arquivos/grande.zip HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  auto endless_call = std::async(std::launch::async, [&] {
    try {
      return call(server, endless).status;
    } catch (const std::exception &) {
      return 0;
    }
  });
  std::this_thread::sleep_for(500ms);
  Clock::time_point start = Clock::now();
  EXPECT_EQ(server.stop(2000ms), 0);
  EXPECT_LT(since(start), 2000ms);
  endless_call.get();
}

TEST(QuerydSql, StatementsThatReachOtherFilesOrChangeSettingsAreRefused) {
  queryd_test::ScratchFolder folder("queryd_sql");
  std::string outside = folder / "copia.db";
  QuerydServer server;
  struct Case {
    std::string sql;
    std::string named;
  } cases[] = {
      {"ATTACH DATABASE '" + outside + "' AS outro", "ATTACH"},
      {"attach ':memory:' as memoria", "ATTACH"},
      {"DETACH DATABASE sistema", "DETACH"},
      {"/* copia */ VACUUM INTO '" + outside + "'", "VACUUM INTO"},
      {"select load_extension('/lib/x86_64-linux-gnu/libz.so.1')", "load_extension"},
      {"PRAGMA journal_mode = DELETE", "PRAGMA journal_mode"},
      {"pragma query_only = 1", "PRAGMA query_only"},
  };
  for (const Case &c : cases) {
    std::string reply = call(server, c.sql).reply;
    EXPECT_EQ(codigo(reply), "102") << c.sql;
    EXPECT_EQ(mensagem(reply).rfind(c.named + " recusado", 0), 0u) << reply;
  }
  EXPECT_FALSE(std::filesystem::exists(outside));
  EXPECT_EQ(codigo(call(server, "select * from sistema.check_files").reply), "000");
  EXPECT_EQ(codigo(call(server, "VACUUM").reply), "000");
  std::string mode = call(server, "PRAGMA journal_mode").reply;
  EXPECT_EQ(base64::decode(first_row_value(mode, "JOURNAL_MODE")), "wal") << mode;
}

TEST(QuerydLimits, RangesAreOneOrRefusedAndCostNoCopies) {
  queryd_test::ScratchFolder folder("queryd_ranges");
  std::string content(10 << 20, 'v');
  for (size_t i = 0; i < content.size(); i += 4096)
    content[i] = static_cast<char>('a' + (i / 4096) % 26);
  std::filesystem::create_directories(folder.path() / "files");
  std::ofstream(folder / "files/grande.zip", std::ios::binary) << content;
  QuerydServer server({.demo = false, .files = folder / "files"});
  const std::string target = "/site/arquivos/grande.zip";
  std::string hundred_parts = "bytes=0-0";
  for (int part = 1; part < 100; ++part)
    hundred_parts += "," + std::to_string(part * 1000) + "-" + std::to_string(part * 1000 + 99999);
  struct Case {
    std::string range;
    int status;
    std::string body; // for 200 and 206
  } cases[] = {
      {"bytes=0-4095", 206, content.substr(0, 4096)},
      {"bytes=4096-4100", 206, content.substr(4096, 5)},
      {"bytes=-3", 206, content.substr(content.size() - 3)},
      {"bytes=10485000-", 206, content.substr(10485000)},
      {"bytes=0-1,5-6", 416, ""},
      {"bytes=20000000-", 416, ""},
      {"bytes=9-3", 416, ""},
      {"items=0-1", 416, ""},
      {"", 200, content},
  };
  for (const Case &c : cases) {
    std::vector<std::string> headers;
    if (!c.range.empty())
      headers.push_back("Range: " + c.range);
    queryd_test::HttpReply reply = server.request("GET", target, "", headers);
    EXPECT_EQ(reply.status, c.status) << c.range;
    if (c.status != 416) {
      EXPECT_EQ(reply.body.size(), c.body.size()) << c.range;
      EXPECT_TRUE(reply.body == c.body) << c.range;
    }
  }
  long before = resident_mb(server.pid());
  for (int round = 0; round < 5; ++round)
    EXPECT_EQ(server.request("GET", target, "", {"Range: " + hundred_parts}).status, 416);
  EXPECT_LT(resident_mb(server.pid()) - before, 64) << "a 100-part range of a 10 MB file";
}

TEST(QuerydLimits, LargeBodiesAreRefusedUnread) {
  QuerydServer server({.arguments = {"--max-body", "1000000"}});
  long before = resident_mb(server.pid());
  {
    // Declared too large: answered before any of it is sent.
    RawConnection client(server.port());
    client.send_text("POST /servicos/wsdl/selectxml/selectxml.php HTTP/1.1\r\nHost: x\r\n" +
                     server.authorization() + "\r\nContent-Length: 419430400\r\n\r\n");
    EXPECT_EQ(client.receive(5000ms).rfind("HTTP/1.1 413", 0), 0u);
  }
  {
    // Chunked, with no length said: cut off at the limit.
    RawConnection client(server.port());
    client.send_text("POST /servicos/wsdl/selectxml/selectxml.php HTTP/1.1\r\nHost: x\r\n" +
                     server.authorization() + "\r\nTransfer-Encoding: chunked\r\n\r\n");
    std::string chunk = "10000\r\n" + std::string(0x10000, 'c') + "\r\n";
    for (int i = 0; i < 400 && client.send_text(chunk); ++i) {
    }
    EXPECT_EQ(client.receive(5000ms).rfind("HTTP/1.1 413", 0), 0u);
  }
  EXPECT_LT(resident_mb(server.pid()) - before, 64);
  // A body within the limit is served.
  EXPECT_EQ(codigo(call(server, "select '" + std::string(500000, 'x') + "' as grande").reply), "000");
}

TEST(QuerydLimits, RepliesPastTheLimitAreFailuresNamingIt) {
  QuerydServer server({.arguments = {"--max-reply", "100000"}});
  std::string reply =
      call(server, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                   "SELECT i, 'uma linha de texto qualquer' AS t FROM n")
          .reply;
  EXPECT_EQ(codigo(reply), "102");
  EXPECT_NE(mensagem(reply).find("--max-reply"), std::string::npos) << reply;
  EXPECT_NE(mensagem(reply).find("100000"), std::string::npos) << reply;
  // The statements of a script share the limit.
  std::string half = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
                     "SELECT i, 'uma linha de texto qualquer' AS t FROM n";
  EXPECT_EQ(codigo(call(server, half).reply), "000");
  EXPECT_EQ(codigo(call(server, half + ";" + half + ";" + half + ";" + half, "1:1;script=S").reply), "102");
  EXPECT_EQ(codigo(call(server, "select * from produtos").reply), "000");
}

TEST(QuerydLimits, TheLogKeepsItsLastLines) {
  RequestControl control("");
  for (size_t i = 0; i < RequestControl::kept_lines + 5; ++i)
    control.record({"GET", "/" + std::to_string(i), {}, 200, ""});
  std::string log = control.log();
  EXPECT_EQ(static_cast<size_t>(std::count(log.begin(), log.end(), '\n')), RequestControl::kept_lines);
  EXPECT_EQ(log.rfind("GET\t/5\t", 0), 0u);
}

TEST(QuerydSlowClients, TricklingClientsBlockNoOneAndAreClosedAtTheDeadline) {
  QuerydServer server({.arguments = {"--read-deadline", "2"}});
  long before = resident_mb(server.pid());
  std::vector<std::unique_ptr<RawConnection>> slow;
  for (int i = 0; i < 8; ++i) {
    slow.push_back(std::make_unique<RawConnection>(server.port()));
    slow.back()->send_text("GET /site/arquivos/produto/1001.zip HTTP/1.1\r\nHost: x\r\n");
  }
  Clock::time_point start = Clock::now();
  EXPECT_EQ(codigo(call(server, "select 1").reply), "000");
  EXPECT_EQ(server.request("GET", "/site/arquivos/produto/1001.zip").status, 200);
  EXPECT_LT(since(start), 2000ms);
  // A header byte every 200 ms never completes the request: closed at the deadline.
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(200ms);
    for (auto &client : slow)
      client->send_text("X");
  }
  for (auto &client : slow) {
    EXPECT_TRUE(client->closed_within(4000ms));
  }
  RawConnection late(server.port());
  late.send_text("GET /site/arquivos/produto/1001.zip HTTP/1.1\r\nHost: x\r\n");
  EXPECT_EQ(late.receive(5000ms).rfind("HTTP/1.1 408", 0), 0u) << "answered, then closed at the deadline";
  EXPECT_LT(resident_mb(server.pid()) - before, 64);
}

TEST(QuerydSlowClients, AFullQueueIsAnswered503) {
  QuerydServer server({.arguments = {"--workers", "2", "--queue", "1"}});
  std::vector<std::unique_ptr<RawConnection>> silent;
  for (int i = 0; i < 3; ++i) // two hold the workers, one waits in the queue
    silent.push_back(std::make_unique<RawConnection>(server.port()));
  std::this_thread::sleep_for(300ms);
  RawConnection refused(server.port());
  EXPECT_EQ(refused.receive(2000ms).rfind("HTTP/1.1 503", 0), 0u);
  // Once the silent clients are gone the service answers again, as soon as its workers see them go.
  silent.clear();
  std::string answered;
  for (Clock::time_point start = Clock::now(); answered != "000" && since(start) < 5000ms;) {
    answered = codigo(call(server, "select 1").reply);
    if (answered != "000")
      std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(answered, "000");
}

TEST(QuerydControl, ServedOnlyWithTheFlagAndTheCredentials) {
  QuerydServer server;
  struct Case {
    std::vector<std::string> headers;
    int status;
  } cases[] = {
      {{}, 401},
      {{"Authorization: Basic " + base64::encode("06192284400461:errada")}, 401},
      {{"Authorization: Bearer 06192284400461"}, 401},
      {{server.authorization()}, 200},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(server.request("GET", "/_control/log", "", c.headers).status, c.status);
    EXPECT_EQ(server.request("POST", "/_control/fail?path=/x&count=1&status=500", "", c.headers).status,
              c.status);
  }

  // Without --control the API is not there, whatever the credentials.
  QuerydServer closed({.demo = false, .control = false});
  EXPECT_EQ(closed.request("GET", "/_control/log", "", {closed.authorization()}).status, 404);
  EXPECT_EQ(closed.request("POST", "/_control/reset", "", {closed.authorization()}).status, 404);
}

TEST(QuerydControl, AnAnswerGivenBeforeTheBodyIsReadEndsTheConnection) {
  QuerydServer server;
  server.fail("/servicos/wsdl/selectxml/selectxml.php", 1, 500);
  RawConnection client(server.port());
  // The body holds what would read as a request of its own if the connection went on.
  std::string body = "GET /site/arquivos/produto/1001.zip HTTP/1.1\r\nHost: x\r\n\r\n";
  client.send_text("POST /servicos/wsdl/selectxml/selectxml.php HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n\r\n" + body);
  std::string answers = client.receive(5000ms);
  EXPECT_EQ(answers.rfind("HTTP/1.1 500", 0), 0u) << answers;
  EXPECT_EQ(answers.find("HTTP/1.1", 1), std::string::npos) << answers;
}

TEST(QuerydControl, TheLogShowsNoSecretAndCarriesStatusTimeAndSql) {
  QuerydServer server;
  server.clear_log();
  std::string sql =
      "select\tid,\n descricao from produtos where descricao <> 'ação' and id < 1000000 and 1 = 1 "
      "and 2 = 2";
  call(server, sql);
  call(server, "select 1", "", "", "06192284400461:errada");
  std::vector<std::string> log = server.log();
  ASSERT_EQ(log.size(), 2u);
  for (const std::string &line : log) {
    EXPECT_EQ(line.find("1E0CA7B3"), std::string::npos) << line;
    EXPECT_EQ(line.find(base64::encode(queryd_test::default_token)), std::string::npos) << line;
    EXPECT_EQ(queryd_test::log_field(line, "Authorization"), "Basic 06192284400461") << line;
  }
  EXPECT_EQ(queryd_test::log_field(log[0], "Status"), "200");
  EXPECT_EQ(queryd_test::log_field(log[1], "Status"), "401");
  std::string logged = queryd_test::log_field(log[0], "SQL");
  EXPECT_EQ(logged, "select id,  descricao from produtos where descricao <> 'ação' and id < 1000000 a");
  EXPECT_FALSE(queryd_test::log_field(log[0], "Time").empty());
}

TEST(QuerydControl, ControlBytesOfAClientCannotForgeALogField) {
  QuerydServer server;
  server.clear_log();
  queryd_test::HttpReply reply =
      server.request("GET", "/site/arquivos/produto/1001.zip", "",
                     {"User-Agent: sonda\tStatus: 999\tSQL: drop table x\x1b[2J\\x09", "Accept: */*\x7f"});
  ASSERT_EQ(reply.status, 200);
  std::vector<std::string> log = server.log();
  ASSERT_EQ(log.size(), 1u);
  const std::string &line = log[0];
  EXPECT_EQ(queryd_test::log_field(line, "Status"), "200") << line;
  EXPECT_EQ(queryd_test::log_field(line, "SQL"), "") << line;
  EXPECT_EQ(queryd_test::log_field(line, "User-Agent"),
            "sonda\\x09Status: 999\\x09SQL: drop table x\\x1B[2J\\x5Cx09")
      << line;
  EXPECT_EQ(queryd_test::log_field(line, "Accept"), "*/*\\x7F") << line;
  EXPECT_EQ(std::count_if(line.begin(), line.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }),
            0)
      << line;
}

TEST(QuerydValues, DecimalsKeepEveryDigitWhateverTheirSize) {
  QuerydServer server({.demo = false});
  ASSERT_EQ(codigo(call(server, "create table grandes (v decimal(80,2))").reply), "000");
  ASSERT_EQ(codigo(call(server, "insert into grandes values (1e70), (-1e300), (12.5)").reply), "000");
  pugi::xml_document doc;
  doc.load_string(call(server, "select v from grandes").reply.c_str());
  std::vector<std::string> values;
  for (pugi::xpath_node v : doc.select_nodes("/retorno/select/row/V"))
    values.push_back(v.node().text().as_string());
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].size(), 71u + 3u) << values[0]; // 71 digits, the point and two places
  EXPECT_EQ(values[0].rfind("1000000000", 0), 0u) << values[0];
  EXPECT_EQ(values[1].size(), 1u + 301u + 3u) << values[1];
  EXPECT_EQ(values[1].substr(values[1].size() - 3), ".00") << values[1];
  EXPECT_EQ(values[2], "12.50");
}

TEST(QuerydStartup, ABusyPortMissingFoldersAndExposureAreToldAtOnce) {
  QuerydServer first({.demo = false});
  queryd_test::ScratchFolder folder("queryd_startup");
  std::string port = std::to_string(first.port());
  struct Case {
    std::vector<std::string> arguments;
    std::string said;
  } cases[] = {
      {{"--port", port}, "another server has the port"},
      {{"--files", folder / "nao-existe"}, "--files"},
      {{"--log", folder / "nao-existe/requests.log"}, "request log"},
      {{"--listen", "0.0.0.0", "--port", port, "--control"}, "warning: listening on 0.0.0.0"},
  };
  for (const Case &c : cases) {
    std::string output;
    EXPECT_EQ(queryd_test::run_to_end(c.arguments, 10s, output), 1) << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
  }
  EXPECT_EQ(codigo(call(first, "select 1").reply), "000") << "the first server keeps its port";
}

TEST(QuerydStartup, TheDemoOnMariadbCreatesItsDatabaseWhenMissing) {
  QuerydServer server(
      {.arguments = {"--mariadb", queryd_test::mariadb_socket(), "--mariadb-database", "demo_nova"}});
  EXPECT_EQ(first_row_value(call(server, "select count(*) as n from demo_nova.produtos").reply, "N"), "3");
  EXPECT_EQ(codigo(call(server, "drop database demo_nova").reply), "000");
}

TEST(QuerydDownloads, SymlinksOutOfTheFolderAndNulAreRefused) {
  queryd_test::ScratchFolder folder("queryd_links");
  std::filesystem::create_directories(folder.path() / "files/dentro");
  std::ofstream(folder / "segredo.txt") << "fora";
  std::ofstream(folder / "files/dentro/a.zip") << "PKdentro";
  std::filesystem::create_symlink(folder / "segredo.txt", folder / "files/fora.zip");
  std::filesystem::create_directory_symlink(folder.path(), folder / "files/pasta-fora");
  std::filesystem::create_symlink(folder / "files/dentro/a.zip", folder / "files/atalho.zip");
  QuerydServer server({.demo = false, .files = folder / "files"});
  struct Case {
    std::string target;
    int status;
  } cases[] = {
      {"/site/arquivos/dentro/a.zip", 200},
      {"/site/arquivos/atalho.zip", 200},
      {"/site/arquivos/fora.zip", 404},
      {"/site/arquivos/pasta-fora/segredo.txt", 404},
      {"/site/arquivos/dentro/a.zip%00.txt", 400},
      {"/site/arquivos/dentro/a.zip%00", 400},
  };
  for (const Case &c : cases) {
    queryd_test::HttpReply reply = server.request("GET", c.target);
    EXPECT_EQ(reply.status, c.status) << c.target;
    EXPECT_EQ(reply.body.find("fora"), std::string::npos) << c.target;
  }
}

TEST(QuerydDownloads, TheDemoLinksNameTheAddressThatClientsReach) {
  QuerydServer server({.arguments = {"--public-address", "localhost"}});
  pugi::xml_document list;
  list.load_string(call(server, "select link from sistema.check_files").reply.c_str());
  pugi::xpath_node_set links = list.select_nodes("/retorno/select/row/LINK");
  ASSERT_FALSE(links.empty());
  for (pugi::xpath_node link : links) {
    std::string url = base64::decode(link.node().text().as_string());
    EXPECT_EQ(url.rfind("http://localhost:" + std::to_string(server.port()) + "/site/arquivos/", 0), 0u)
        << url;
  }
}

TEST(QuerydDownloads, TheWsdlEscapesTheHostItCopies) {
  QuerydServer server;
  queryd_test::HttpReply reply = server.request("GET", "/servicos/wsdl/selectxml/selectxml.php?wsdl", "",
                                                {"Host: x\"/><injetado a=\"&<"});
  pugi::xml_document wsdl;
  ASSERT_TRUE(wsdl.load_string(reply.body.c_str())) << reply.body;
  EXPECT_FALSE(wsdl.select_node("//injetado"));
  std::string location = wsdl.select_node("//*[local-name()='address']").node().attribute("location").value();
  EXPECT_EQ(location.rfind("http://x\"/><injetado a=\"&<", 0), 0u) << location;
}

TEST(QuerydStop, SigtermRightAfterTheListeningLineAlwaysEndsTheServer) {
  queryd_test::ScratchFolder temporary("queryd_stop");
  for (int start = 0; start < 200; ++start) {
    QuerydServer server({.demo = false, .temporary = temporary.path().string()});
    Clock::time_point sent = Clock::now();
    ASSERT_EQ(server.stop(2000ms), 0) << "start " << start;
    ASSERT_LT(since(sent), 2000ms) << "start " << start;
  }
  // Each server removed its temporary folder (its database) on the way out.
  for (const auto &entry : std::filesystem::directory_iterator(temporary.path()))
    ADD_FAILURE() << "left behind: " << entry.path();
}

} // namespace
