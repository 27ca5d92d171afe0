#include "token_file.h"

#include "uAutentica.h"

#include <filesystem>
#include <fstream>
#include <string>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace queryd_test {
namespace {

// The program's token file, removed when the program ends.
struct OwnTokenFile {
  std::filesystem::path path;
  ~OwnTokenFile() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
};

} // namespace

namespace {

// The token file of the process, removed when it ends so that no run leaves one behind.
struct OwnedTokenFile {
  std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("velacorte-token-" + std::to_string(getpid()) + ".ini");
  ~OwnedTokenFile() {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
};

} // namespace

void use_default_token() {
  static const OwnedTokenFile owned;
  const std::filesystem::path &file = owned.file;
  std::ofstream(file, std::ios::trunc)
      << "[TOKEN]\nID=U5A1C0E97B4D\nSENHA=1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A\n";
  TokenFile = file.string();
  static OwnTokenFile own{file};
}

} // namespace queryd_test
