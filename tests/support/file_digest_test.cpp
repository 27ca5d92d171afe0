#include "file_digest.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A file beside the test program, in the build tree.
fs::path scratch_file(const wchar_t *name) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / name;
}

} // namespace

TEST(FileDigest, KnownDigestsOfTheStandard) {
  struct Case {
    std::string content;
    std::string sha256;
  };
  // The test vectors of FIPS 180-2; the last one spans many reads.
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  fs::path path = scratch_file(L"file_digest_sample.bin");
  for (const Case &c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.content;
    std::optional<FileDigest> digest = file_digest(path.wstring());
    ASSERT_TRUE(digest) << c.content.size();
    EXPECT_EQ(digest->size, c.content.size());
    EXPECT_EQ(digest->sha256, c.sha256) << c.content.size();
  }
  fs::remove(path);
}

TEST(FileDigest, AMissingFileOrAFolderHasNone) {
  EXPECT_FALSE(file_digest(scratch_file(L"no such file.bin").wstring()));
  EXPECT_FALSE(file_digest(scratch_file(L"").wstring()));
}
