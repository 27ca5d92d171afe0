#include "zip_archive.h"

#include "Exception.h"
#include "case_fold.h"
#include "text.h"

#include <zlib.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_map>

namespace {

constexpr size_t chunk_size = 256 * 1024;

constexpr uint32_t local_signature = 0x04034b50;
constexpr uint32_t central_signature = 0x02014b50;
constexpr uint32_t end_signature = 0x06054b50;
constexpr uint32_t zip64_end_signature = 0x06064b50;
constexpr uint32_t zip64_locator_signature = 0x07064b50;
constexpr size_t local_header_size = 30;
constexpr size_t central_header_size = 46;
constexpr size_t end_size = 22;
constexpr size_t zip64_end_size = 56;
constexpr size_t zip64_locator_size = 20;
constexpr uint16_t zip64_extra_id = 0x0001;
constexpr uint16_t timestamp_extra_id = 0x5455;

constexpr uint16_t flag_encrypted = 0x0001;
constexpr uint16_t flag_descriptor = 0x0008;
constexpr uint16_t flag_strong_encryption = 0x0040;
constexpr uint16_t flag_utf8 = 0x0800;

constexpr uint64_t saturated16 = 0xFFFF;
constexpr uint64_t saturated32 = 0xFFFFFFFF;

// Deflate expands no input by more than this factor; a larger declared size is a lie.
constexpr uint64_t deflate_ratio_limit = 1032;

uint16_t le16(const unsigned char *p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t le32(const unsigned char *p) {
  return le16(p) | static_cast<uint32_t>(le16(p + 2)) << 16;
}
uint64_t le64(const unsigned char *p) {
  return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32;
}

// The data of the extra record `id`, or an empty view when the extra field holds none.
std::basic_string_view<unsigned char> find_extra(const unsigned char *extra, size_t size, uint16_t id) {
  size_t at = 0;
  while (size - at >= 4) {
    uint16_t record_id = le16(extra + at);
    size_t record_size = le16(extra + at + 2);
    if (size - at - 4 < record_size)
      break;
    if (record_id == id)
      return {extra + at + 4, record_size};
    at += 4 + record_size;
  }
  return {};
}

// Reads the ZIP64 values, in their fixed order, of the fields whose narrow value is saturated.
class Zip64Fields {
public:
  explicit Zip64Fields(std::basic_string_view<unsigned char> data) : data_(data) {}
  bool take(uint64_t &field, uint64_t saturated, size_t width) {
    if (field != saturated)
      return true;
    if (data_.size() < width)
      return false;
    field = width == 8 ? le64(data_.data()) : le32(data_.data());
    data_.remove_prefix(width);
    return true;
  }

private:
  std::basic_string_view<unsigned char> data_;
};

// The entry's time: the extended timestamp in UTC when the archive has one, otherwise the MS-DOS date
// and time, which are local.
int64_t modification_time(uint16_t dos_time, uint16_t dos_date,
                          std::basic_string_view<unsigned char> timestamp) {
  if (timestamp.size() >= 5 && (timestamp[0] & 1))
    return static_cast<int32_t>(le32(timestamp.data() + 1));
  std::tm local{};
  local.tm_year = (dos_date >> 9) + 80;
  local.tm_mon = ((dos_date >> 5) & 15) - 1;
  local.tm_mday = dos_date & 31;
  local.tm_hour = dos_time >> 11;
  local.tm_min = (dos_time >> 5) & 63;
  local.tm_sec = (dos_time & 31) * 2;
  local.tm_isdst = -1;
  std::time_t time = std::mktime(&local);
  return time == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(time);
}

std::string shown_name(const std::string &raw, bool utf8) {
  std::string shown;
  for (unsigned char c : raw) {
    if (c < 0x20 || c == 0x7F) {
      static const char hex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += hex[c >> 4];
      shown += hex[c & 15];
    } else {
      shown += static_cast<char>(c);
    }
  }
  return utf8 ? shown : text::cp437_to_utf8(shown);
}

} // namespace

ZipArchive::ZipArchive(const std::string &path) : path_(path) {
  file_.reset(open_regular_file(path));
  // Reads are large or few; the stream's own buffer would only add a copy.
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
#ifdef _WIN32
  bool sized = _fseeki64(file_.get(), 0, SEEK_END) == 0;
  long long size = _ftelli64(file_.get());
#else
  bool sized = fseeko(file_.get(), 0, SEEK_END) == 0;
  long long size = ftello(file_.get());
#endif
  if (!sized || size < 0)
    fail("cannot be read");
  file_size_ = static_cast<uint64_t>(size);
  read_central_directory();
}

// A pipe, a device or a folder is refused before anything waits on it: opening a FIFO that has no
// writer would block for ever.
std::FILE *ZipArchive::open_regular_file(const std::string &path) const {
#ifdef _WIN32
  std::FILE *file = _wfopen(text::widen(path).c_str(), L"rb");
  if (!file)
    fail("cannot be opened");
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
    std::fclose(file);
    fail("is not a regular file");
  }
  return file;
#else
  int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0)
    fail("cannot be opened");
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    fail("is not a regular file");
  }
  fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  std::FILE *file = fdopen(descriptor, "rb");
  if (!file) {
    close(descriptor);
    fail("cannot be opened");
  }
  return file;
#endif
}

void ZipArchive::fail(const std::string &reason) const {
  throw Exception("\"" + path_ + "\" " + reason);
}

void ZipArchive::fail(const ZipEntry &entry, const std::string &reason) const {
  throw Exception("\"" + path_ + "\": entry \"" + shown_name(entry.raw_name, entry.flags & flag_utf8) +
                  "\" " + reason);
}

void ZipArchive::seek(uint64_t offset) {
#ifdef _WIN32
  bool moved = _fseeki64(file_.get(), static_cast<long long>(offset), SEEK_SET) == 0;
#else
  bool moved = fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
  if (!moved)
    fail("cannot be read");
}

void ZipArchive::read_exactly(void *buffer, size_t size) {
  if (std::fread(buffer, 1, size, file_.get()) != size)
    fail("cannot be read");
}

void ZipArchive::read_at(uint64_t offset, void *buffer, size_t size) {
  seek(offset);
  read_exactly(buffer, size);
}

void ZipArchive::read_central_directory() {
  if (file_size_ < end_size)
    fail("is not a ZIP archive: it is too short");
  size_t tail_size = static_cast<size_t>(std::min<uint64_t>(file_size_, end_size + 0xFFFF));
  std::vector<unsigned char> tail(tail_size);
  uint64_t tail_offset = file_size_ - tail_size;
  read_at(tail_offset, tail.data(), tail_size);

  // The end record is the last one whose comment fits in the file.
  size_t found = tail_size;
  for (size_t i = tail_size - end_size + 1; i-- > 0;) {
    if (le32(&tail[i]) == end_signature && i + end_size + le16(&tail[i + 20]) <= tail_size) {
      found = i;
      break;
    }
  }
  if (found == tail_size)
    fail("is not a ZIP archive: its end record is missing");
  const unsigned char *end = &tail[found];
  uint64_t end_offset = tail_offset + found;
  uint64_t disk = le16(end + 4), directory_disk = le16(end + 6);
  uint64_t count_on_disk = le16(end + 8), count = le16(end + 10);
  uint64_t directory_size = le32(end + 12), directory_offset = le32(end + 16);
  uint64_t directory_limit = end_offset;

  unsigned char locator[zip64_locator_size];
  if (end_offset >= zip64_locator_size) {
    read_at(end_offset - zip64_locator_size, locator, zip64_locator_size);
    if (le32(locator) == zip64_locator_signature) {
      uint64_t end64_offset = le64(locator + 8);
      if (le32(locator + 4) != 0 || le32(locator + 16) > 1)
        fail("spans several disks, which is not supported");
      uint64_t locator_offset = end_offset - zip64_locator_size;
      if (end64_offset > locator_offset || locator_offset - end64_offset < zip64_end_size)
        fail("has its ZIP64 end record outside the archive");
      unsigned char end64[zip64_end_size];
      read_at(end64_offset, end64, zip64_end_size);
      if (le32(end64) != zip64_end_signature)
        fail("has no ZIP64 end record where its locator points");
      uint64_t wide[] = {le32(end64 + 16), le32(end64 + 20), le64(end64 + 24),
                         le64(end64 + 32), le64(end64 + 40), le64(end64 + 48)};
      uint64_t *narrow[] = {&disk,  &directory_disk, &count_on_disk,
                            &count, &directory_size, &directory_offset};
      uint64_t saturated[] = {saturated16, saturated16, saturated16, saturated16, saturated32, saturated32};
      // A narrow field that is not saturated must agree with its ZIP64 value.
      for (size_t i = 0; i < std::size(wide); ++i) {
        if (*narrow[i] != saturated[i] && *narrow[i] != wide[i])
          fail("has a ZIP64 end record that disagrees with its end record");
        *narrow[i] = wide[i];
      }
      directory_limit = end64_offset;
    }
  }
  if (disk != 0 || directory_disk != 0 || count_on_disk != count)
    fail("spans several disks, which is not supported");
  if (directory_offset > directory_limit || directory_size != directory_limit - directory_offset)
    fail("has its central directory elsewhere than its end record says");
  if (count > directory_size / central_header_size)
    fail("declares more entries than its central directory can hold");

  std::vector<unsigned char> directory(static_cast<size_t>(directory_size));
  read_at(directory_offset, directory.data(), directory.size());
  entries_.reserve(static_cast<size_t>(count));
  size_t at = 0;
  for (uint64_t i = 0; i < count; ++i) {
    size_t record_size = 0;
    entries_.push_back(read_central_header(directory.data() + at, directory.size() - at, record_size));
    at += record_size;
  }
  if (at != directory.size())
    fail("has a damaged central directory: it holds more than its entries");

  // Before the local headers are read, entries can only be seen to share one; afterwards, their data.
  check_overlaps();
  for (ZipEntry &entry : entries_)
    check_local_header(entry, directory_offset);
  check_overlaps();
  check_paths();
}

ZipEntry ZipArchive::read_central_header(const unsigned char *header, size_t available, size_t &record_size) {
  if (available < central_header_size || le32(header) != central_signature)
    fail("has a damaged central directory");
  size_t name_size = le16(header + 28), extra_size = le16(header + 30), comment_size = le16(header + 32);
  record_size = central_header_size + name_size + extra_size + comment_size;
  if (available < record_size)
    fail("has a damaged central directory");

  ZipEntry entry;
  entry.raw_name.assign(reinterpret_cast<const char *>(header + central_header_size), name_size);
  entry.flags = le16(header + 8);
  entry.method = le16(header + 10);
  entry.crc = le32(header + 16);
  entry.compressed_size = le32(header + 20);
  entry.size = le32(header + 24);
  entry.header_offset = le32(header + 42);
  uint64_t disk = le16(header + 34);
  const unsigned char *extra = header + central_header_size + name_size;
  entry.modified = modification_time(le16(header + 12), le16(header + 14),
                                     find_extra(extra, extra_size, timestamp_extra_id));
  Zip64Fields zip64(find_extra(extra, extra_size, zip64_extra_id));
  if (!zip64.take(entry.size, saturated32, 8) || !zip64.take(entry.compressed_size, saturated32, 8) ||
      !zip64.take(entry.header_offset, saturated32, 8) || !zip64.take(disk, saturated16, 4))
    fail(entry, "lacks the ZIP64 values of its sizes or offset");
  if (disk != 0)
    fail(entry, "lies on another disk, which is not supported");

  if (entry.flags & (flag_encrypted | flag_strong_encryption))
    fail(entry, "is encrypted, which is not supported");
  if (entry.method != 0 && entry.method != 8)
    fail(entry, "uses compression method " + std::to_string(entry.method) + ", which is not supported");
  unsigned made_by_system = header[5];
  uint32_t unix_mode = le32(header + 38) >> 16;
  if (made_by_system == 3 && (unix_mode & 0170000) == 0120000)
    fail(entry, "is a symbolic link, which is not supported");
  try {
    entry.target = entry_path(entry.raw_name, entry.flags & flag_utf8);
  } catch (const Exception &e) {
    fail(entry, e.what());
  }

  if (entry.target.is_folder && entry.size != 0)
    fail(entry, "is a folder but declares data");
  if (entry.method == 0 && entry.compressed_size != entry.size)
    fail(entry, "is stored but declares two different sizes");
  if (entry.method == 8 && entry.size / deflate_ratio_limit > entry.compressed_size)
    fail(entry, "declares more data than its compressed size can hold");
  if (entry.size > UINT64_MAX - total_size_)
    fail("declares more data than can be held");
  total_size_ += entry.size;
  return entry;
}

void ZipArchive::check_local_header(ZipEntry &entry, uint64_t data_limit) {
  if (entry.header_offset > data_limit || data_limit - entry.header_offset < local_header_size)
    fail(entry, "has its local header outside the archive's data");
  unsigned char header[local_header_size];
  read_at(entry.header_offset, header, local_header_size);
  if (le32(header) != local_signature)
    fail(entry, "has no local header where the central directory says");
  size_t name_size = le16(header + 26), extra_size = le16(header + 28);
  if (data_limit - entry.header_offset - local_header_size < name_size + extra_size)
    fail(entry, "has its local header outside the archive's data");
  std::vector<unsigned char> variable(name_size + extra_size);
  read_exactly(variable.data(), variable.size());
  entry.data_offset = entry.header_offset + local_header_size + name_size + extra_size;

  uint16_t flags = le16(header + 6);
  if (name_size != entry.raw_name.size() ||
      std::memcmp(variable.data(), entry.raw_name.data(), name_size) != 0)
    fail(entry, "has a local header whose name disagrees with the central directory");
  if (le16(header + 8) != entry.method || ((flags ^ entry.flags) & (flag_encrypted | flag_descriptor)))
    fail(entry, "has a local header whose method or flags disagree with the central directory");
  // With a data descriptor the local header may leave the CRC and sizes out.
  if (!(flags & flag_descriptor)) {
    uint64_t compressed_size = le32(header + 18), size = le32(header + 22);
    if (compressed_size == saturated32 || size == saturated32) {
      auto zip64 = find_extra(variable.data() + name_size, extra_size, zip64_extra_id);
      if (zip64.size() < 16)
        fail(entry, "lacks the ZIP64 values of its sizes in its local header");
      size = le64(zip64.data());
      compressed_size = le64(zip64.data() + 8);
    }
    if (le32(header + 14) != entry.crc || compressed_size != entry.compressed_size || size != entry.size)
      fail(entry, "has a local header whose CRC or sizes disagree with the central directory");
  }
  if (entry.compressed_size > data_limit - entry.data_offset)
    fail(entry, "has data that runs past the archive's data");
}

void ZipArchive::check_overlaps() {
  std::vector<size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return entries_[a].header_offset < entries_[b].header_offset; });
  for (size_t i = 1; i < order.size(); ++i) {
    const ZipEntry &before = entries_[order[i - 1]];
    const ZipEntry &after = entries_[order[i]];
    uint64_t end =
        before.data_offset ? before.data_offset + before.compressed_size : before.header_offset + 1;
    if (end > after.header_offset)
      fail(after, "overlaps entry \"" + shown_name(before.raw_name, before.flags & flag_utf8) + "\"");
  }
}

void ZipArchive::check_paths() {
  // Windows compares names without regard to case, in every script: two entries that differ only in
  // case are one file.
  std::unordered_map<std::string, const ZipEntry *> by_path;
  for (const ZipEntry &entry : entries_) {
    if (entry.target.path.empty())
      continue;
    auto [it, inserted] = by_path.emplace(text::fold_case(entry.target.path), &entry);
    if (!inserted && !(entry.target.is_folder && it->second->target.is_folder))
      fail(entry, "has the same path as entry \"" +
                      shown_name(it->second->raw_name, it->second->flags & flag_utf8) + "\"");
  }
  for (const ZipEntry &entry : entries_) {
    std::string path = text::fold_case(entry.target.path);
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
      auto it = by_path.find(path.substr(0, slash));
      if (it != by_path.end() && !it->second->target.is_folder)
        fail(entry, "lies inside \"" + it->second->target.path + "\", which the archive holds as a file");
    }
  }
}

void ZipArchive::read(const ZipEntry &entry, const std::function<void(const char *, size_t)> &sink) {
  input_.resize(chunk_size);
  output_.resize(chunk_size);
  seek(entry.data_offset);
  uLong crc = crc32(0, nullptr, 0);
  uint64_t left = entry.compressed_size;
  uint64_t produced = 0;
  if (entry.method == 0) {
    while (left > 0) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk_size));
      read_exactly(input_.data(), n);
      left -= n;
      crc = crc32(crc, reinterpret_cast<const Bytef *>(input_.data()), static_cast<uInt>(n));
      sink(input_.data(), n);
    }
    produced = entry.size;
  } else {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
      fail(entry, "cannot be inflated: out of memory");
    struct End {
      z_stream &stream;
      ~End() { inflateEnd(&stream); }
    } end{stream};
    int status = Z_OK;
    while (status != Z_STREAM_END) {
      if (stream.avail_in == 0 && left > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk_size));
        read_exactly(input_.data(), n);
        left -= n;
        stream.next_in = reinterpret_cast<Bytef *>(input_.data());
        stream.avail_in = static_cast<uInt>(n);
      }
      stream.next_out = reinterpret_cast<Bytef *>(output_.data());
      stream.avail_out = static_cast<uInt>(chunk_size);
      status = inflate(&stream, Z_NO_FLUSH);
      // With all input consumed, inflate may still hold output for more than one buffer; only when
      // it can make no progress at all has the compressed data ended too early.
      if (status == Z_BUF_ERROR && stream.avail_in == 0 && left == 0)
        fail(entry, "is damaged: its compressed data ends before its deflated stream");
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
        fail(entry, "is damaged: its deflated data is invalid");
      size_t n = chunk_size - stream.avail_out;
      if (n > entry.size - produced)
        fail(entry, "inflates to more than its declared size");
      produced += n;
      crc = crc32(crc, reinterpret_cast<const Bytef *>(output_.data()), static_cast<uInt>(n));
      if (n > 0)
        sink(output_.data(), n);
    }
    if (stream.avail_in != 0 || left != 0)
      fail(entry, "is damaged: its deflated stream ends before its compressed data");
  }
  if (produced != entry.size)
    fail(entry, "inflates to less than its declared size");
  if (crc != entry.crc)
    fail(entry, "fails its CRC check");
}
