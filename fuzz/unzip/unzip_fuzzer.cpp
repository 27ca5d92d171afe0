// libFuzzer target: the input is an archive, unpacked into a scratch folder. Besides the sanitizers'
// findings, anything written outside the folder of unpacking, or left behind by a failed unpacking, is
// a crash.

#include "Exception.h"
#include "unzip.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path &scratch() {
  static const fs::path root = fs::path(FUZZ_SCRATCH) / std::to_string(getpid());
  return root;
}

// Only the archive and the chain of folders down to the folder of unpacking may be there.
void check_nothing_escaped(const fs::path &top, const fs::path &folder, bool unpacked) {
  for (const auto &item : fs::recursive_directory_iterator(top)) {
    const fs::path &path = item.path();
    bool allowed =
        path == top / "archive.zip" || path == top / "a" || path == top / "a" / "b" || path == folder;
    if (unpacked && path.native().starts_with(folder.native() + "/"))
      allowed = true;
    if (!allowed) {
      std::fprintf(stderr, "written outside the folder or left by a failure: %s\n", path.c_str());
      std::abort();
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const fs::path &top = scratch();
  fs::path folder = top / "a" / "b" / "out";
  fs::remove_all(top);
  fs::create_directories(folder);
  std::ofstream(top / "archive.zip", std::ios::binary)
      .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  bool unpacked = true;
  try {
    extract_zip((top / "archive.zip").string(), folder.string());
  } catch (const Exception &) {
    unpacked = false;
  }
  check_nothing_escaped(top, folder, unpacked);
  fs::remove_all(top);
  return 0;
}
