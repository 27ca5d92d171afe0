// Downloads over a link that drops: what a failed attempt received stays beside the archive, and the
// next attempt, in the same run or in the next one, asks velacorte-queryd for the rest through a relay
// that cuts each file's first transfer after half its bytes.
#include "Unit1.h"
#include "cutting_relay.h"
#include "queryd_server.h"
#include "test_files.h"
#include "text.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace fs = std::filesystem;

namespace {

const fs::path kTemporary = L"C:\\Velacorte\\tmp";
const fs::path kArchive = kTemporary / L"Retomado.zip";
const fs::path kKept = kTemporary / L"Retomado.zip.parcial";
const char kPath[] = "/site/arquivos/teste/retomado.zip";

class ResumedDownload : public ::testing::Test {
protected:
  void SetUp() override {
    CoInitialize(nullptr);
    fs::remove_all(kTemporary);
  }
  void TearDown() override {
    fs::remove_all(kTemporary);
    CoUninitialize();
  }
  void publish(const std::string &content) {
    write_file(fs::path(text::widen(server.files_folder())) / L"teste" / L"retomado.zip", content);
  }
  // One attempt, by a window of its own: a later attempt may be another run of the installer.
  bool attempt(const std::string &link, Transfer &transfer) {
    TForm1 form(GetModuleHandleW(nullptr));
    bool fetched = form.baixar_arquivo(link, "Retomado", "", "", "");
    transfer = form.IdHTTP1.LastTransfer();
    return fetched;
  }
  queryd_test::QuerydServer server;
};

TEST_F(ResumedDownload, SecondAttemptAsksForTheRestAndTheWireCarriesTheFileAboutOnce) {
  const std::string content = random_bytes(600000, 1);
  publish(content);
  CuttingRelay relay(server.port());
  Transfer transfer;
  EXPECT_FALSE(attempt(relay.url(kPath), transfer));
  EXPECT_NE(transfer.failure.find("resposta incompleta (300000 de 600000 bytes)"), std::string::npos)
      << transfer.failure;
  EXPECT_FALSE(fs::exists(kArchive));
  EXPECT_EQ(contents(kKept), content.substr(0, 300000));

  ASSERT_TRUE(attempt(relay.url(kPath), transfer)) << transfer.failure;
  EXPECT_EQ(transfer.status, 206);
  EXPECT_EQ(transfer.resumed_from, 300000);
  EXPECT_EQ(transfer.bytes, 300000);
  EXPECT_EQ(contents(kArchive), content);
  EXPECT_FALSE(fs::exists(kKept));
  std::vector<CuttingRelay::Request> requests = relay.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].range, "");
  EXPECT_EQ(requests[1].range, "bytes=300000-");
  EXPECT_LE(relay.body_bytes_sent(), content.size() * 11 / 10);
}

// A host that serves no ranges, or a file that changed between two attempts: the download starts from 0
// and ends with the whole of what the host serves now.
TEST_F(ResumedDownload, HostWithoutRangesOrChangedFileStartsFromZero) {
  struct Case {
    const char *what;
    bool ignore_range;
    std::string changed_to; // empty: the file stays
    int attempts;
  } cases[] = {
      {"sem intervalos", true, "", 2},
      {"arquivo maior", false, random_bytes(700000, 3), 3},
      {"arquivo menor", false, random_bytes(200000, 4), 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(kTemporary);
    const std::string original = random_bytes(600000, 2);
    publish(original);
    CuttingRelay relay(server.port(), c.ignore_range);
    if (!c.changed_to.empty())
      relay.after_cut = [&](const std::string &) { publish(c.changed_to); };
    Transfer transfer;
    EXPECT_FALSE(attempt(relay.url(kPath), transfer));
    EXPECT_TRUE(fs::exists(kKept));
    int attempts = 1;
    while (!attempt(relay.url(kPath), transfer) && attempts < 5)
      ++attempts;
    EXPECT_EQ(++attempts, c.attempts) << transfer.failure;
    EXPECT_EQ(transfer.resumed_from, 0);
    EXPECT_EQ(contents(kArchive), c.changed_to.empty() ? original : c.changed_to);
    EXPECT_FALSE(fs::exists(kKept));
    std::vector<CuttingRelay::Request> requests = relay.requests();
    ASSERT_EQ(requests.size(), static_cast<size_t>(c.attempts));
    EXPECT_EQ(requests[1].range, "bytes=300000-");
    EXPECT_EQ(requests.back().range, c.changed_to.empty() ? "bytes=300000-" : "");
  }
}

// What was kept for another address, or more bytes than the file has now, is not continued.
TEST_F(ResumedDownload, KeptBytesThatContinueNothingAreDropped) {
  const std::string content = random_bytes(100000, 5);
  publish(content);
  struct Case {
    const char *what;
    std::string record;
    size_t kept;
  } cases[] = {
      {"outro endereço", server.base_url() + "/site/arquivos/teste/outro.zip\n100000\n\n\n", 50000},
      {"além do fim", server.base_url() + kPath + "\n300000\n\n\n", 200000},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(kTemporary);
    write_file(kKept, std::string(c.kept, 'k'));
    write_file(kTemporary / L"Retomado.zip.parcial.info", c.record);
    Transfer transfer;
    int attempts = 1;
    while (!attempt(server.base_url() + kPath, transfer) && attempts < 3)
      ++attempts;
    EXPECT_EQ(contents(kArchive), content) << transfer.failure;
    EXPECT_EQ(transfer.resumed_from, 0);
    EXPECT_FALSE(fs::exists(kKept));
  }
}

} // namespace
