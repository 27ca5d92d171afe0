#include "zip_writer.h"

#include <zlib.h>

#include <cstdint>
#include <ctime>
#include <stdexcept>

namespace {

void put16(std::string &out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void put32(std::string &out, uint32_t v) {
  put16(out, static_cast<uint16_t>(v & 0xFFFF));
  put16(out, static_cast<uint16_t>(v >> 16));
}

std::string raw_deflate(const std::string &bytes) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef *>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (rc != Z_STREAM_END)
    throw std::runtime_error("deflate failed");
  return out;
}

bool ascii(const std::string &s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80)
      return false;
  return true;
}

} // namespace

std::string zip_archive(const std::vector<ZipEntry> &entries) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  auto dos_time = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  auto dos_date = static_cast<uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);

  std::string archive;
  std::string directory;
  for (const ZipEntry &entry : entries) {
    std::string packed = raw_deflate(entry.bytes);
    auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef *>(entry.bytes.data()), static_cast<uInt>(entry.bytes.size())));
    uint16_t flags = ascii(entry.name) ? 0 : 0x0800;
    auto offset = static_cast<uint32_t>(archive.size());

    put32(archive, 0x04034b50);
    put16(archive, 20);
    put16(archive, flags);
    put16(archive, 8);
    put16(archive, dos_time);
    put16(archive, dos_date);
    put32(archive, crc);
    put32(archive, static_cast<uint32_t>(packed.size()));
    put32(archive, static_cast<uint32_t>(entry.bytes.size()));
    put16(archive, static_cast<uint16_t>(entry.name.size()));
    put16(archive, 0);
    archive += entry.name;
    archive += packed;

    put32(directory, 0x02014b50);
    put16(directory, 20);
    put16(directory, 20);
    put16(directory, flags);
    put16(directory, 8);
    put16(directory, dos_time);
    put16(directory, dos_date);
    put32(directory, crc);
    put32(directory, static_cast<uint32_t>(packed.size()));
    put32(directory, static_cast<uint32_t>(entry.bytes.size()));
    put16(directory, static_cast<uint16_t>(entry.name.size()));
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, 0);
    put32(directory, 0);
    put32(directory, offset);
    directory += entry.name;
  }
  auto directory_offset = static_cast<uint32_t>(archive.size());
  archive += directory;
  put32(archive, 0x06054b50);
  put16(archive, 0);
  put16(archive, 0);
  put16(archive, static_cast<uint16_t>(entries.size()));
  put16(archive, static_cast<uint16_t>(entries.size()));
  put32(archive, static_cast<uint32_t>(directory.size()));
  put32(archive, directory_offset);
  put16(archive, 0);
  return archive;
}
