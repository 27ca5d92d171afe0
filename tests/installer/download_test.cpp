// Downloads of the installer window against velacorte-queryd: what is saved, what is sent, what a failure
// leaves behind, and the progress the window shows.
#include "Unit1.h"
#include "queryd_server.h"
#include "raw_http_server.h"
#include "test_files.h"
#include "test_run.h"
#include "text.h"

#include <commctrl.h>
#include <objbase.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const fs::path temporary_folder = L"C:\\Velacorte\\tmp";

std::string read_file(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::wstring> names_in(const fs::path &folder) {
  std::vector<std::wstring> names;
  for (const auto &entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

// A ZIP archive of stored entries, enough for the unpacking after a download.
std::string stored_zip(const std::vector<std::pair<std::string, std::string>> &entries) {
  std::string archive, directory;
  auto put16 = [](std::string &out, unsigned value) {
    out += char(value & 0xFF);
    out += char(value >> 8 & 0xFF);
  };
  auto put32 = [&](std::string &out, unsigned long value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16 & 0xFFFF);
  };
  for (const auto &[name, data] : entries) {
    unsigned long crc =
        crc32(0, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size()));
    unsigned long offset = archive.size();
    put32(archive, 0x04034b50);
    for (unsigned value : {10u, 0u, 0u, 0u, 0u})
      put16(archive, value);
    put32(archive, crc);
    put32(archive, data.size());
    put32(archive, data.size());
    put16(archive, name.size());
    put16(archive, 0);
    archive += name + data;
    put32(directory, 0x02014b50);
    for (unsigned value : {20u, 10u, 0u, 0u, 0u, 0u})
      put16(directory, value);
    put32(directory, crc);
    put32(directory, data.size());
    put32(directory, data.size());
    for (unsigned value : {unsigned(name.size()), 0u, 0u, 0u, 0u})
      put16(directory, value);
    put32(directory, 0);
    put32(directory, offset);
    directory += name;
  }
  unsigned long directory_offset = archive.size();
  archive += directory;
  put32(archive, 0x06054b50);
  for (unsigned value : {0u, 0u, unsigned(entries.size()), unsigned(entries.size())})
    put16(archive, value);
  put32(archive, directory.size());
  put32(archive, directory_offset);
  put16(archive, 0);
  return archive;
}

class Download : public ::testing::Test {
protected:
  void SetUp() override {
    CoInitialize(nullptr);
    form = std::make_unique<TForm1>(GetModuleHandleW(nullptr));
    fs::remove_all(temporary_folder);
  }
  void TearDown() override {
    form.reset();
    CoUninitialize();
  }
  // Puts `content` on the download host under /site/arquivos/teste/NAME and gives its URL.
  std::string publish(const std::string &name, const std::string &content) {
    write_file(fs::path(text::widen(server.files_folder())) / L"teste" / text::widen(name), content);
    return server.base_url() + path_of(name);
  }
  static std::string path_of(const std::string &name) { return "/site/arquivos/teste/" + name; }
  // The logged requests for `path`, each as its list of fields.
  std::vector<std::vector<std::string>> requests_for(const std::string &path) {
    std::vector<std::vector<std::string>> found;
    for (const std::string &line : server.log()) {
      std::vector<std::string> fields;
      for (size_t start = 0, tab;; start = tab + 1) {
        tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
          break;
      }
      if (fields.size() >= 2 && fields[1] == path)
        found.push_back(fields);
    }
    return found;
  }
  queryd_test::QuerydServer server;
  std::unique_ptr<TForm1> form;
};

TEST_F(Download, BaixarArquivoSavesTheBodyUnderTheZipName) {
  std::string archive = random_bytes(300000, 1);
  std::string link = publish("Velacorte6.zip", archive);
  ASSERT_TRUE(form->baixar_arquivo(link, "Velacorte6", "", "", ""));
  EXPECT_EQ(read_file(temporary_folder / L"Velacorte6.zip"), archive);

  // A file of that name from before is replaced, and nothing else is left beside it.
  std::string newer = random_bytes(1000, 2);
  publish("Velacorte6.zip", newer);
  ASSERT_TRUE(form->baixar_arquivo(link, "Velacorte6", "c:\\install", "atalho", "nome"));
  EXPECT_EQ(read_file(temporary_folder / L"Velacorte6.zip"), newer);

  // ".zip" is always appended.
  ASSERT_TRUE(form->baixar_arquivo(link, "Firebird-2.5.2_x64.exe", "c:\\install", "", ""));
  EXPECT_EQ(names_in(temporary_folder),
            (std::vector<std::wstring>{L"Firebird-2.5.2_x64.exe.zip", L"Velacorte6.zip"}));
}

TEST_F(Download, FailedDownloadLeavesTheOlderFileAsItWas) {
  std::string older = "an archive of an earlier run";
  std::string link = publish("Anterior.zip", random_bytes(5000, 3));
  struct Case {
    const char *what;
    std::string link;
    int status; // 0: no failure asked of the server
  };
  const Case table[] = {
      {"missing file", server.base_url() + path_of("Inexistente.zip"), 0},
      {"server error", link, 500},
      {"redirect 301", link, 301},
      {"redirect 302", link, 302},
      {"not found", link, 404},
      {"no server", "http://127.0.0.1:1/site/arquivos/teste/Anterior.zip", 0},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.what);
    write_file(temporary_folder / L"Velacorte6.zip", older);
    server.reset();
    if (c.status)
      server.fail(path_of("Anterior.zip"), 1, c.status);
    EXPECT_FALSE(form->baixar_arquivo(c.link, "Velacorte6", "", "", ""));
    EXPECT_EQ(read_file(temporary_folder / L"Velacorte6.zip"), older);
    EXPECT_EQ(names_in(temporary_folder), std::vector<std::wstring>{L"Velacorte6.zip"});
  }
  // A redirect is not followed: one request only.
  server.reset();
  server.fail(path_of("Anterior.zip"), 1, 302);
  EXPECT_FALSE(form->baixar_arquivo(link, "Velacorte6", "", "", ""));
  EXPECT_EQ(requests_for(path_of("Anterior.zip")).size(), 1u);
}

TEST_F(Download, HtmlPageWithStatus200IsSavedAllTheSame) {
  std::string link = publish("Velacorte6.zip", random_bytes(100, 4));
  server.fail(path_of("Velacorte6.zip"), 1, 200);
  ASSERT_TRUE(form->baixar_arquivo(link, "Velacorte6", "", "", ""));
  EXPECT_EQ(read_file(temporary_folder / L"Velacorte6.zip").rfind("<html>", 0), 0u);
}

TEST_F(Download, SendsTheTwoHeadersAndSendsTheCookieBack) {
  std::string link = publish("Cookie.zip", "PK");
  server.clear_log();
  ASSERT_TRUE(form->baixar_arquivo(link, "Cookie", "", "", ""));
  ASSERT_TRUE(form->baixar_arquivo(link, "Cookie", "", "", ""));
  auto requests = requests_for(path_of("Cookie.zip"));
  ASSERT_EQ(requests.size(), 2u);
  for (const auto &fields : requests) {
    EXPECT_EQ(fields[0], "GET");
    EXPECT_NE(std::find(fields.begin(), fields.end(),
                        "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"),
              fields.end());
    EXPECT_NE(std::find(fields.begin(), fields.end(), "User-Agent: Mozilla/3.0 (compatible; Indy Library)"),
              fields.end());
    for (const std::string &field : fields) {
      EXPECT_NE(field.rfind("Authorization:", 0), 0u) << field;
      EXPECT_NE(field.rfind("Range:", 0), 0u) << field;
    }
  }
  auto cookie = [](const std::vector<std::string> &fields) {
    for (const std::string &field : fields)
      if (field.rfind("Cookie: ", 0) == 0)
        return field.substr(8);
    return std::string();
  };
  EXPECT_EQ(cookie(requests[0]), "");
  EXPECT_EQ(cookie(requests[1]).rfind("velacorte_sessao=", 0), 0u) << cookie(requests[1]);
}

TEST_F(Download, ProgressFollowsTheTransfer) {
  const size_t size = 700000;
  std::string link = publish("Progresso.zip", random_bytes(size, 5));
  ASSERT_TRUE(form->baixar_arquivo(link, "Progresso", "", "", ""));
  EXPECT_EQ(SendMessageW(form->pbArquivo, PBM_GETRANGE, FALSE, 0), LRESULT(size));
  EXPECT_EQ(SendMessageW(form->pbArquivo, PBM_GETPOS, 0, 0), LRESULT(size));

  std::vector<int64_t> begins, counts;
  form->IdHTTP1.OnWorkBegin = [&](TWorkMode mode, int64_t total) {
    EXPECT_EQ(mode, wmRead);
    begins.push_back(total);
  };
  form->IdHTTP1.OnWork = [&](TWorkMode, int64_t count) { counts.push_back(count); };
  ASSERT_TRUE(form->baixar_arquivo(link, "Progresso", "", "", ""));
  EXPECT_EQ(begins, std::vector<int64_t>{int64_t(size)});
  ASSERT_GE(counts.size(), 2u); // the body arrives in several pieces
  EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
  EXPECT_EQ(counts.back(), int64_t(size));
}

// What arrived is kept beside the archive for the next attempt, never under the archive's name.
TEST_F(Download, BodyCutShortLeavesNothingUnderTheTargetsName) {
  RawHttpServer host("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" +
                     std::string(5000, 'x'));
  const std::vector<std::wstring> kept{L"Velacorte6.zip.parcial", L"Velacorte6.zip.parcial.info"};
  write_file(temporary_folder / L"Velacorte6.zip", "older");
  EXPECT_FALSE(form->baixar_arquivo(host.url("/site/arquivos/Velacorte6.zip"), "Velacorte6", "", "", ""));
  EXPECT_EQ(read_file(temporary_folder / L"Velacorte6.zip"), "older");
  EXPECT_EQ(names_in(temporary_folder), (std::vector<std::wstring>{L"Velacorte6.zip", kept[0], kept[1]}));
  EXPECT_EQ(read_file(temporary_folder / kept[0]), std::string(5000, 'x'));

  fs::remove_all(temporary_folder);
  EXPECT_FALSE(form->baixar_arquivo(host.url("/site/arquivos/Velacorte6.zip"), "Velacorte6", "", "", ""));
  EXPECT_EQ(names_in(temporary_folder), kept);
}

TEST_F(Download, HostThatStallsFailsTheAttemptAfterTheReadLimit) {
  struct Case {
    const char *what;
    std::string reply;
    int status;
  };
  const Case table[] = {
      {"before the headers", "", 0},
      {"in the body", "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x'), 200},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.what);
    fs::remove_all(temporary_folder);
    RawHttpServer host(c.reply, true);
    write_file(temporary_folder / L"Velacorte6.zip", "older");
    EXPECT_FALSE(form->baixar_arquivo(host.url("/site/arquivos/Velacorte6.zip"), "Velacorte6", "", "", ""));
    const Transfer &transfer = form->IdHTTP1.LastTransfer();
    EXPECT_EQ(transfer.status, c.status);
    EXPECT_NE(transfer.failure.find("tempo esgotado"), std::string::npos) << transfer.failure;
    EXPECT_EQ(read_file(temporary_folder / L"Velacorte6.zip"), "older");
    // The bytes that came before the stall are kept for the next attempt.
    EXPECT_EQ(read_file(temporary_folder / L"Velacorte6.zip.parcial"), std::string(c.status ? 5000 : 0, 'x'));
  }
}

TEST_F(Download, BodyOfUnannouncedSizeGivesTheBarNoMaximum) {
  struct Case {
    const char *what;
    std::string reply;
  };
  const Case table[] = {
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                  "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"},
      {"until close", "HTTP/1.0 200 OK\r\nContent-Type: application/zip\r\n\r\nhello world"},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.what);
    RawHttpServer host(c.reply);
    SendMessageW(form->pbArquivo, PBM_SETRANGE32, 0, 100);
    ASSERT_TRUE(form->baixar_arquivo(host.url("/site/arquivos/x.zip"), "Sem tamanho", "", "", ""));
    EXPECT_EQ(read_file(temporary_folder / L"Sem tamanho.zip"), "hello world");
    EXPECT_EQ(SendMessageW(form->pbArquivo, PBM_GETRANGE, FALSE, 0), 0);
  }
}

TEST_F(Download, BaixarArquivoDestinoUnpacksAndRemovesTheArchive) {
  const fs::path destino = L"C:\\Velacorte\\Nfe2";
  fs::remove_all(destino);
  std::string link =
      publish("nfe2.zip", stored_zip({{"capicom/capicom.dll", "dll"}, {"leia-me.txt", "texto"}}));
  ASSERT_TRUE(form->baixar_arquivo_destino(link, "nfe2.zip", text::narrow(destino.wstring())));
  EXPECT_EQ(read_file(destino / L"capicom" / L"capicom.dll"), "dll");
  EXPECT_EQ(read_file(destino / L"leia-me.txt"), "texto");
  EXPECT_FALSE(fs::exists(destino / L"nfe2.zip"));

  // A broken archive gives false and stays where it was saved; a name of four characters or fewer
  // names it ".zip".
  struct Case {
    const char *nome_arquivo;
    const wchar_t *archive;
  };
  for (Case c : {Case{"nfe2.zip", L"nfe2.zip"}, Case{"ab", L".zip"}, Case{"abcd", L".zip"}}) {
    SCOPED_TRACE(c.nome_arquivo);
    std::string broken = publish("quebrado.zip", "not an archive");
    EXPECT_FALSE(form->baixar_arquivo_destino(broken, c.nome_arquivo, text::narrow(destino.wstring())));
    EXPECT_EQ(read_file(destino / c.archive), "not an archive");
    fs::remove(destino / c.archive);
  }
  EXPECT_FALSE(form->baixar_arquivo_destino(server.base_url() + path_of("nada.zip"), "nada.zip",
                                            text::narrow(destino.wstring())));
  EXPECT_FALSE(fs::exists(destino / L"nada.zip"));
}

} // namespace
