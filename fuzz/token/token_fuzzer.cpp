// libFuzzer target: the token file as the authorisation hook reads it before every request. The input
// is the whole product configuration file; the hook must still add exactly one Basic credentials
// header, a single line.

#include "THTTPRIO.h"
#include "uAutentica.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::ofstream(TokenFile, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
  NativeRequest request;
  THeader::OnBeforePost(nullptr, &request);
  if (request.header_lines.size() != 1 || !request.header_lines[0].starts_with("Authorization: Basic ") ||
      request.header_lines[0].find_first_of("\r\n") != std::string::npos) {
    std::fprintf(stderr, "the hook did not add one single-line Basic header\n");
    std::abort();
  }
  return 0;
}
