// A short load run of velacorte-queryd on loopback: 16 clients for 10 s, each mixing queries, inserts
// and downloads. It prints the requests per second and the 99th-percentile latency (and writes them to
// QUERYD_LOAD_REPORT in the build tree); it checks only that no request failed and that every
// confirmed insert is in the table at the end.

#include "base64.h"
#include "queryd_client.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int clients = 16;
constexpr auto run_time = std::chrono::seconds(10);

struct ClientOutcome {
  std::vector<double> latencies_ms;
  std::vector<long long> confirmed_ids;
  std::vector<std::string> failures;
};

long long last_id(const std::string &reply) {
  pugi::xml_document doc;
  doc.load_string(reply.c_str());
  return doc.select_node("/retorno/status/last_id").node().text().as_llong(-1);
}

// One client: a query, an insert and a download in turn until the time is up.
ClientOutcome run_client(const queryd_test::QuerydServer &server, int client, Clock::time_point end) {
  ClientOutcome outcome;
  for (int step = 0; Clock::now() < end; ++step) {
    Clock::time_point start = Clock::now();
    std::string failure;
    try {
      switch (step % 3) {
      case 0: {
        std::string reply = queryd_test::call(server, "select * from produtos where id <= 3").reply;
        if (queryd_test::codigo(reply) != "000")
          failure = "query: " + reply;
        break;
      }
      case 1: {
        std::string reply =
            queryd_test::call(server, "insert into carga (cliente, passo) values (" + std::to_string(client) +
                                          ", " + std::to_string(step) + ")")
                .reply;
        if (queryd_test::codigo(reply) == "000" && last_id(reply) > 0)
          outcome.confirmed_ids.push_back(last_id(reply));
        else
          failure = "insert: " + reply;
        break;
      }
      default: {
        queryd_test::HttpReply reply = server.request("GET", "/site/arquivos/produto/1001.zip");
        if (reply.status != 200 || reply.body.rfind("PK", 0) != 0)
          failure = "download: HTTP " + std::to_string(reply.status);
      }
      }
    } catch (const std::exception &e) {
      failure = std::string("request: ") + e.what();
    }
    outcome.latencies_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (!failure.empty())
      outcome.failures.push_back("client " + std::to_string(client) + ", step " + std::to_string(step) +
                                 ": " + failure);
  }
  return outcome;
}

std::set<long long> ids_in_table(const queryd_test::QuerydServer &server) {
  pugi::xml_document doc;
  doc.load_string(queryd_test::call(server, "select id from carga").reply.c_str());
  std::set<long long> ids;
  for (pugi::xpath_node id : doc.select_nodes("/retorno/select/row/ID"))
    ids.insert(id.node().text().as_llong());
  return ids;
}

TEST(QuerydLoad, SixteenClientsForTenSecondsLoseNothing) {
  queryd_test::ScratchFolder folder("queryd_load");
  queryd_test::QuerydServer server({.db = folder / "carga.db"});
  ASSERT_EQ(
      queryd_test::codigo(
          queryd_test::call(server, "create table carga (id integer primary key, cliente int, passo int)")
              .reply),
      "000");

  std::vector<ClientOutcome> outcomes(clients);
  Clock::time_point start = Clock::now();
  Clock::time_point end = start + run_time;
  {
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client)
      threads.emplace_back(
          [&, client] { outcomes[static_cast<size_t>(client)] = run_client(server, client, end); });
    for (std::thread &thread : threads)
      thread.join();
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::vector<double> latencies;
  std::set<long long> confirmed;
  std::vector<std::string> failures;
  for (const ClientOutcome &outcome : outcomes) {
    latencies.insert(latencies.end(), outcome.latencies_ms.begin(), outcome.latencies_ms.end());
    confirmed.insert(outcome.confirmed_ids.begin(), outcome.confirmed_ids.end());
    failures.insert(failures.end(), outcome.failures.begin(), outcome.failures.end());
  }
  std::sort(latencies.begin(), latencies.end());
  ASSERT_FALSE(latencies.empty());
  double p99 = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
  char figures[256];
  std::snprintf(
      figures, sizeof figures,
      "velacorte-queryd load: %d clients, %.1f s, %zu requests, %.0f requests/s, p99 latency %.1f ms, "
      "%zu confirmed inserts\n",
      clients, seconds, latencies.size(), static_cast<double>(latencies.size()) / seconds, p99,
      confirmed.size());
  std::cout << figures;
  std::ofstream(QUERYD_LOAD_REPORT, std::ios::app) << figures;

  EXPECT_TRUE(failures.empty()) << failures.size() << " failed, the first: " << failures.front();
  std::set<long long> stored = ids_in_table(server);
  std::vector<long long> lost;
  std::set_difference(confirmed.begin(), confirmed.end(), stored.begin(), stored.end(),
                      std::back_inserter(lost));
  EXPECT_TRUE(lost.empty()) << lost.size() << " confirmed rows missing, the first id " << lost.front();
  EXPECT_FALSE(confirmed.empty());
}

} // namespace
