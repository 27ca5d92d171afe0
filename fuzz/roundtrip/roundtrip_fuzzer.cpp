// libFuzzer target: the input describes an archive (entries stored or deflated at zlib levels 0 to
// 9, with or without data descriptors, of sizes around the reader's buffer and of compressible or
// random content). The archive is written, unpacked, and every file must come back exactly; a
// refusal of a sound archive is a crash. Some entries may be named like unpacking's own files, in
// any letter case and folder: such an archive must be refused, with nothing written.

#include "Exception.h"
#include "unzip.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <zlib.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr size_t read_buffer = 256 * 1024;

struct Entry {
  std::string name;
  std::string data;
  bool deflated = false;
  int level = 0;
  bool descriptor = false;
};

void put16(std::string &out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8 & 0xFF);
}

void put32(std::string &out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

std::string deflate_raw(const std::string &data, int level) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    std::abort();
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef *>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
    std::abort();
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string archive_of(const std::vector<Entry> &entries) {
  std::string archive, directory;
  for (const Entry &e : entries) {
    std::string payload = e.deflated ? deflate_raw(e.data, e.level) : e.data;
    uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef *>(e.data.data()), static_cast<uInt>(e.data.size())));
    uint32_t offset = static_cast<uint32_t>(archive.size());
    uint16_t flags = e.descriptor ? 8 : 0, method = e.deflated ? 8 : 0;
    auto header = [&](std::string &out, bool central) {
      put32(out, central ? 0x02014b50 : 0x04034b50);
      if (central)
        put16(out, 20);
      put16(out, 20);
      put16(out, flags);
      put16(out, method);
      put16(out, 0);      // time
      put16(out, 0x5021); // 2020-01-01
      bool known = central || !e.descriptor;
      put32(out, known ? crc : 0);
      put32(out, known ? static_cast<uint32_t>(payload.size()) : 0);
      put32(out, known ? static_cast<uint32_t>(e.data.size()) : 0);
      put16(out, static_cast<uint32_t>(e.name.size()));
      put16(out, 0);
      if (central) {
        put16(out, 0);
        put16(out, 0);
        put16(out, 0);
        put32(out, 0);
        put32(out, offset);
      }
      out += e.name;
    };
    header(archive, false);
    archive += payload;
    if (e.descriptor) {
      put32(archive, 0x08074b50);
      put32(archive, crc);
      put32(archive, static_cast<uint32_t>(payload.size()));
      put32(archive, static_cast<uint32_t>(e.data.size()));
    }
    header(directory, true);
  }
  uint32_t directory_offset = static_cast<uint32_t>(archive.size());
  archive += directory;
  put32(archive, 0x06054b50);
  put32(archive, 0);
  put16(archive, static_cast<uint32_t>(entries.size()));
  put16(archive, static_cast<uint32_t>(entries.size()));
  put32(archive, static_cast<uint32_t>(directory.size()));
  put32(archive, directory_offset);
  put16(archive, 0);
  return archive;
}

std::string content(FuzzedDataProvider &input, size_t size) {
  std::string data(size, '\0');
  uint64_t seed = input.ConsumeIntegral<uint64_t>();
  std::mt19937_64 random(seed);
  if (input.ConsumeBool()) {
    // Compressible: a short pattern repeated, as pages of a database or lines of a log repeat.
    std::string pattern = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(1, 64));
    if (pattern.empty())
      pattern = "a";
    for (size_t i = 0; i < size; ++i)
      data[i] = pattern[i % pattern.size()];
  } else {
    for (char &c : data)
      c = static_cast<char>(random());
  }
  return data;
}

// A name that unpacking keeps for its own files, at the top, in a folder or as a folder.
std::string own_name(FuzzedDataProvider &input, size_t index) {
  static const char *const kinds[] = {".vzpart-", ".vzold-", ".vzjournal-", ".vzlock-"};
  std::string name = kinds[input.ConsumeIntegralInRange<size_t>(0, 3)];
  for (char &c : name)
    if (input.ConsumeBool())
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  name += input.ConsumeBool() ? "0123456789abcdef-0000000" + std::to_string(index) : std::to_string(index);
  switch (input.ConsumeIntegralInRange<int>(0, 2)) {
  case 0:
    return name;
  case 1:
    return "d" + std::to_string(index % 2) + (input.ConsumeBool() ? "/" : "\\") + name;
  default:
    return "d" + std::to_string(index % 2) + "/" + name + "/f.bin";
  }
}

std::string read_back(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length) {
  FuzzedDataProvider input(bytes, length);
  std::vector<Entry> entries;
  bool hostile = false;
  size_t count = input.ConsumeIntegralInRange<size_t>(1, 4);
  for (size_t i = 0; i < count; ++i) {
    Entry e;
    e.name = "d" + std::to_string(i % 2) + "/f" + std::to_string(i) + ".bin";
    if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
      e.name = own_name(input, i);
      hostile = true;
    }
    e.deflated = input.ConsumeBool();
    e.level = input.ConsumeIntegralInRange<int>(0, 9);
    e.descriptor = e.deflated && input.ConsumeBool();
    // Sizes near the multiples of the read buffer, where one read ends and the next begins.
    size_t size = input.ConsumeIntegralInRange<size_t>(0, 4) * read_buffer;
    size_t nudge = input.ConsumeIntegralInRange<size_t>(0, 8);
    size = input.ConsumeBool() || size < nudge ? size + nudge : size - nudge;
    if (input.ConsumeBool())
      size = input.ConsumeIntegralInRange<size_t>(0, 3000);
    e.data = content(input, size);
    entries.push_back(std::move(e));
  }

  static const fs::path top = fs::path(FUZZ_SCRATCH) / std::to_string(getpid());
  fs::remove_all(top);
  fs::create_directories(top);
  std::ofstream(top / "archive.zip", std::ios::binary) << archive_of(entries);
  try {
    extract_zip((top / "archive.zip").string(), (top / "out").string());
  } catch (const Exception &e) {
    if (hostile && std::string(e.what()).find("named like unpacking's own files") != std::string::npos &&
        !fs::exists(top / "out")) {
      fs::remove_all(top);
      return 0;
    }
    std::fprintf(stderr, "%s archive was refused: %s\n", hostile ? "a hostile" : "a sound", e.what());
    std::abort();
  }
  if (hostile) {
    std::fprintf(stderr, "an entry named like unpacking's own files was unpacked\n");
    std::abort();
  }
  for (const Entry &e : entries) {
    if (read_back(top / "out" / e.name) != e.data) {
      std::fprintf(stderr, "%s came back changed\n", e.name.c_str());
      std::abort();
    }
  }
  fs::remove_all(top);
  return 0;
}
