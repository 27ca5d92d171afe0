// velacorte-unzip ARCHIVE FOLDER: unpacks a ZIP archive with the installer's own routine.

#include "unzip.h"

#include <cstdio>
#include <exception>
#include <string>

#ifdef _WIN32
#include "text.h"
#endif

namespace {

int run(int argc, const std::string &archive, const std::string &folder) {
  if (argc != 3) {
    std::fputs("usage: velacorte-unzip ARCHIVE FOLDER\n", stderr);
    return 2;
  }
  try {
    extract_zip(archive, folder);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "velacorte-unzip: %s\n", e.what());
    return 1;
  }
  return 0;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t **argv) {
  return run(argc, argc == 3 ? text::narrow(argv[1]) : "", argc == 3 ? text::narrow(argv[2]) : "");
}
#else
int main(int argc, char **argv) {
  return run(argc, argc == 3 ? argv[1] : "", argc == 3 ? argv[2] : "");
}
#endif
