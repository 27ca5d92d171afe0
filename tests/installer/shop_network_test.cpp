// Install.exe on the networks that shops have. Behind a proxy (Debian's squid, started by ctest on
// loopback): the file list's links name a host that only the proxy resolves, so an archive arrives
// through it or not at all; whatever names the proxy (the user's Internet settings, their configuration
// script, the machine's WinHTTP setting, the command line), the list and every archive go through it,
// and the log's first line names the route. Over a link that drops (a relay that cuts each archive's
// first transfer after half its bytes): every archive arrives, its second request asks for the rest.
#include "cutting_relay.h"
#include "queryd_server.h"
#include "service_script.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <winhttp.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const wchar_t kInstallExe[] = INSTALL_EXE;
const std::wstring kProxyState = PROXY_STATE_FOLDER;
const wchar_t kInstallLog[] = L"c:\\Velacorte\\Install.log";
// The name that squid's hosts file maps to 127.0.0.1 (proxy_hosts in the build's test folder).
const char kMadeUpHost[] = "velacorte-demo.test";
const wchar_t kConnections[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::string proxy_address(const wchar_t *which) {
  std::string address = contents(kProxyState + L"\\address-" + which);
  while (!address.empty() && (address.back() == '\n' || address.back() == '\r'))
    address.pop_back();
  return address;
}

// The first line of `text` that holds `needle`; empty when none does.
std::string line_with(const std::string &text, const std::string &needle) {
  size_t found = text.find(needle);
  if (found == std::string::npos)
    return {};
  size_t start = text.rfind('\n', found);
  start = start == std::string::npos ? 0 : start + 1;
  return text.substr(start, text.find('\n', found) - start);
}

std::string proxy_log() {
  return contents(kProxyState + L"\\access.log");
}

// The user's Internet settings as Windows keeps them: one binary value, its flags (1 straight, 2 through
// the proxy, 4 the configuration script, 8 automatic detection), then the proxy, its exceptions and the
// script's address, each with its length.
void set_user_settings(DWORD flags, const std::string &proxy = "", const std::string &script = "") {
  std::string blob;
  auto add_number = [&](DWORD number) {
    blob.append(reinterpret_cast<const char *>(&number), sizeof(number));
  };
  auto add_text = [&](const std::string &text) {
    add_number(static_cast<DWORD>(text.size()));
    blob += text;
  };
  add_number(0x46);
  add_number(0);
  add_number(flags);
  add_text(proxy);
  add_text("");
  add_text(script);
  blob.append(32, '\0');
  HKEY key;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY,
                 reinterpret_cast<const BYTE *>(blob.data()), static_cast<DWORD>(blob.size()));
  RegCloseKey(key);
}

// What `netsh winhttp set proxy` and `netsh winhttp reset proxy` do.
void set_machine_proxy(const std::wstring &proxy) {
  WINHTTP_PROXY_INFO info{};
  info.dwAccessType = proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY;
  std::wstring named = proxy;
  info.lpszProxy = proxy.empty() ? nullptr : named.data();
  ASSERT_TRUE(WinHttpSetDefaultProxyConfiguration(&info)) << GetLastError();
}

DWORD run_install(const std::wstring &arguments) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring command = L"\"" + std::wstring(kInstallExe) + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(kInstallExe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

class ShopNetwork : public ::testing::Test {
protected:
  void SetUp() override {
    clean_machine();
    run_script(service,
               "CREATE TABLE IF NOT EXISTS sistema.check_files_direct AS SELECT * FROM sistema.check_files");
  }
  // The file list's links name `host` ("name:port") instead of the service's own.
  void point_links_at(const std::string &host) {
    run_script(service, "UPDATE sistema.check_files SET link = REPLACE(link, '" + service.host() + "', '" +
                            host + "')");
  }
  void TearDown() override {
    run_script(service, "DELETE FROM sistema.check_files;"
                        "INSERT INTO sistema.check_files SELECT * FROM sistema.check_files_direct");
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kConnections, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, L"DefaultConnectionSettings");
      RegCloseKey(key);
    }
    set_machine_proxy(L"");
    clean_machine();
  }
  static void clean_machine() {
    std::error_code ignored;
    for (const wchar_t *folder : {L"c:\\Velacorte", L"c:\\install", L"C:\\velacorte-testes"})
      fs::remove_all(folder, ignored);
  }

  // The archive requests that reached the service, by path.
  std::vector<std::string> archive_requests() const {
    std::vector<std::string> paths;
    for (const std::string &line : service.log())
      if (line.rfind("GET\t/site/arquivos/produto/", 0) == 0)
        paths.push_back(line.substr(4, line.find('\t', 4) - 4));
    return paths;
  }

  queryd_test::QuerydServer service;
};

TEST_F(ShopNetwork, ListAndEveryArchiveGoThroughTheProxyThatTheSystemOrTheLineNames) {
  point_links_at(kMadeUpHost + (":" + std::to_string(service.port())));
  const std::string open = proxy_address(L"open");
  const std::string script = service.base_url() + "/site/arquivos/rota.pac";
  std::ofstream(fs::path(service.files_folder()) / "rota.pac")
      << "function FindProxyForURL(url, host) { return \"PROXY " << open << "\"; }\n";
  struct Case {
    const char *name;
    std::function<void()> set_up;
    std::wstring switches;
    std::string route;
  } cases[] = {
      {"configurações do usuário", [&] { set_user_settings(2, open); }, L"",
       "rota proxy " + open + " (configurações de Internet do usuário)"},
      {"script de configuração", [&] { set_user_settings(4, "", script); }, L"",
       "rota proxy " + open + " (script de configuração " + script + ")"},
      {"WinHTTP da máquina",
       [&] {
         set_user_settings(1);
         set_machine_proxy(std::wstring(open.begin(), open.end()));
       },
       L"", "rota proxy " + open + " (configuração WinHTTP da máquina)"},
      // The line wins over a system whose proxy is gone.
      {"/PROXY=", [&] { set_user_settings(2, "127.0.0.1:1"); },
       L" /PROXY=" + std::wstring(open.begin(), open.end()), "rota proxy " + open + " (/PROXY=)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    clean_machine();
    set_user_settings(1);
    set_machine_proxy(L"");
    c.set_up();
    service.clear_log();
    size_t seen = proxy_log().size();

    ASSERT_EQ(run_install(L"/VERYSILENT /TIPO=Servidor /COMPONENTES=" + c.switches), 0u)
        << contents(kInstallLog);
    std::string log = contents(kInstallLog);
    EXPECT_NE(log.find(c.route), std::string::npos) << log.substr(0, 600);
    std::string carried = proxy_log().substr(seen);
    EXPECT_NE(line_with(carried, " POST " + service.service_url() + " ").find("/200 "), std::string::npos)
        << carried;
    std::vector<std::string> archives = archive_requests();
    EXPECT_GE(archives.size(), 8u);
    const std::string made_up = "http://" + std::string(kMadeUpHost) + ":" + std::to_string(service.port());
    for (const std::string &path : archives)
      EXPECT_NE(line_with(carried, " GET " + made_up + path + " ").find("/200 "), std::string::npos)
          << path << "\n"
          << carried;
  }
}

// A proxy that wants a password the installer does not have: each attempt says so, in words.
TEST_F(ShopNetwork, ProxyAskingForAPasswordIsNamedInEveryAttempt) {
  point_links_at(kMadeUpHost + (":" + std::to_string(service.port())));
  const std::string strict = proxy_address(L"strict");
  set_user_settings(1);
  service.clear_log();
  EXPECT_EQ(run_install(L"/VERYSILENT /TIPO=Servidor /COMPONENTES= /TENTATIVAS=1 /PROXY=" +
                        std::wstring(strict.begin(), strict.end())),
            1603u);
  std::string log = contents(kInstallLog);
  EXPECT_NE(log.find("rota proxy " + strict + " (/PROXY=)"), std::string::npos) << log.substr(0, 600);
  std::string attempt = line_with(log, "/site/arquivos/produto/1001.zip: tentativa 3, HTTP 407, ");
  EXPECT_NE(attempt.find("falhou: Falha ao baixar "), std::string::npos) << log;
  EXPECT_NE(attempt.find(": HTTP 407: o proxy pede autenticação, "), std::string::npos) << attempt;
  EXPECT_NE(line_with(proxy_log(), "TCP_DENIED/407 ").find(" GET http://" + std::string(kMadeUpHost)),
            std::string::npos);
  EXPECT_TRUE(archive_requests().empty());

  // One that asks before any request: the file list's query fails with the same words.
  const std::string closed = proxy_address(L"closed");
  EXPECT_EQ(run_install(L"/VERYSILENT /TIPO=Servidor /COMPONENTES= /PROXY=" +
                        std::wstring(closed.begin(), closed.end())),
            1603u);
  log = contents(kInstallLog);
  EXPECT_NE(line_with(log, " fim: falha: ").find("o proxy pede autenticação"), std::string::npos) << log;
  EXPECT_NE(log.find("Erro HTTP 407 em " + service.service_url() + ": o proxy pede autenticação"),
            std::string::npos)
      << log;
}

// Each archive's first transfer ends after half its bytes; the second asks for the rest. The run ends
// as on a steady link, and the wire carries the archives about once.
TEST_F(ShopNetwork, LinkThatDropsEveryArchiveOnceStillPlacesEverything) {
  set_user_settings(1);
  CuttingRelay relay(service.port());
  point_links_at(relay.url("").substr(7));
  service.clear_log();
  ASSERT_EQ(run_install(L"/VERYSILENT /TIPO=Servidor /COMPONENTES="), 0u) << contents(kInstallLog);

  std::vector<CuttingRelay::Request> requests = relay.requests();
  std::vector<std::string> archives = archive_requests();
  std::uintmax_t payload = 0;
  std::vector<std::string> first_seen;
  for (const CuttingRelay::Request &request : requests)
    if (std::find(first_seen.begin(), first_seen.end(), request.target) == first_seen.end()) {
      first_seen.push_back(request.target);
      payload +=
          fs::file_size(fs::path(service.files_folder()) / request.target.substr(sizeof("/site/arquivos")));
    }
  EXPECT_GE(first_seen.size(), 8u);
  EXPECT_EQ(requests.size(), 2 * first_seen.size());
  std::string log = contents(kInstallLog);
  for (const std::string &target : first_seen) {
    std::vector<std::string> ranges;
    for (const CuttingRelay::Request &request : requests)
      if (request.target == target)
        ranges.push_back(request.range);
    ASSERT_EQ(ranges.size(), 2u) << target;
    EXPECT_EQ(ranges[0], "") << target;
    EXPECT_EQ(ranges[1].rfind("bytes=", 0), 0u) << target;
    EXPECT_NE(line_with(log, target + ": tentativa 2, HTTP 206, ").find(", retomado de "), std::string::npos)
        << target;
  }
  EXPECT_LE(relay.body_bytes_sent(), payload * 11 / 10) << payload;
}

} // namespace
