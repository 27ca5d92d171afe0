// Downloads over HTTPS against the fixture's velacorte-queryd with throwaway certificates: Windows'
// certificate checks decide, each refusal names its reason, and a redirect down to http is not followed.
#include "Exception.h"
#include "HttpClient.h"
#include "download_file.h"
#include "queryd_server.h"
#include "test_files.h"
#include "tls_test_servers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

const fs::path scratch = L"C:\\Velacorte\\tmp\\https";
const std::string archive_path = "/site/arquivos/instaladores/Velacorte6.zip";

class HttpsDownload : public ::testing::Test {
protected:
  static void SetUpTestSuite() { authority = new queryd_test::TrustedTestAuthority; }
  static void TearDownTestSuite() {
    delete authority;
    authority = nullptr;
  }
  void SetUp() override {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
  }
  void TearDown() override { fs::remove_all(scratch); }

  static queryd_test::TrustedTestAuthority *authority;
};

queryd_test::TrustedTestAuthority *HttpsDownload::authority = nullptr;

TEST_F(HttpsDownload, ArchiveArrivesWholeFromTheTrustedServer) {
  HttpClient client;
  std::string target = (scratch / "Velacorte6.zip").string();
  download_file(client, queryd_test::trusted_tls_url() + archive_path, target);
  std::string expected =
      contents(fs::path(queryd_test::trusted_tls_files()) / "instaladores" / "Velacorte6.zip");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(contents(target), expected);
  EXPECT_EQ(client.LastTransfer().status, 200);
  EXPECT_EQ(client.LastTransfer().failure, "");
}

// Each refusal is a failed download that leaves no file and says why; the older file stays. Windows
// names a refused certificate's faults in the secure-failure flags; Wine 8's WinHTTP finds the same
// faults but reports every one as a secure channel error (12157), without the flags.
TEST_F(HttpsDownload, RefusalsNameTheirReasonAndLeaveNoFile) {
  struct Case {
    const char *what;
    std::string url;
    std::vector<std::string> reasons; // one of them
  };
  const std::string trusted_by_address =
      "https://127.0.0.1:" + std::to_string(queryd_test::trusted_tls_port());
  const std::string wine_refusal = "conexão segura recusada: erro no canal seguro (erro 12157)";
  const Case cases[] = {
      {"wrong host name",
       trusted_by_address + archive_path,
       {"conexão segura recusada: o nome no certificado não é o do servidor (CERT_CN_INVALID)",
        wine_refusal}},
      {"another authority",
       queryd_test::stranger_tls_url() + archive_path,
       {"conexão segura recusada: autoridade certificadora não confiável (INVALID_CA)", wine_refusal}},
      {"redirect to http",
       queryd_test::trusted_tls_url() + "/para-http/Velacorte6.zip",
       {"HTTP 302: redirecionamento para http://127.0.0.1:"}},
  };
  queryd_test::QuerydServer plain; // the target of the redirect
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fs::path target = scratch / "Velacorte6.zip";
    std::ofstream(target, std::ios::binary) << "anterior";
    HttpClient client;
    try {
      download_file(client, c.url, target.string());
      ADD_FAILURE() << "downloaded " << c.url;
    } catch (const Exception &failure) {
      std::string said = failure.what();
      EXPECT_TRUE(std::any_of(c.reasons.begin(), c.reasons.end(), [&](const std::string &reason) {
        return said.find(reason) != std::string::npos;
      })) << said;
      EXPECT_EQ(client.LastTransfer().failure, said);
    }
    EXPECT_EQ(contents(target), "anterior");
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch), fs::directory_iterator()), 1);
  }
  EXPECT_EQ(plain.log(), std::vector<std::string>{}) << "the redirect was followed down to http";
}

} // namespace
