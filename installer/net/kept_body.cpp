#include "kept_body.h"

#include "Exception.h"
#include "text.h"

#include <cstdlib>
#include <vector>

namespace {

std::string system_error(const char *what) {
  return std::string(what) + " (erro " + std::to_string(GetLastError()) + ")";
}

} // namespace

KeptBody::KeptBody(const std::wstring &target)
    : path(target + L".parcial"), record_path(target + L".parcial.info") {}

KeptBody::~KeptBody() {
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
}

PartialBody KeptBody::kept_for(const std::string &url) const {
  std::string record = read_record();
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = record.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(record.substr(start, end - start));
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (lines.size() != 4 || lines[0] != url ||
      !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
    return {};
  PartialBody partial;
  partial.kept = static_cast<int64_t>((uint64_t(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow);
  partial.total = std::strtoll(lines[1].c_str(), nullptr, 10);
  partial.etag = lines[2];
  partial.last_modified = lines[3];
  return partial;
}

void KeptBody::begin(const std::string &url, const PartialBody &reply, int64_t offset) {
  if (offset == 0)
    write_record(url + "\n" + std::to_string(reply.total) + "\n" + reply.etag + "\n" + reply.last_modified +
                 "\n");
  file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (file == INVALID_HANDLE_VALUE || !SetFilePointerEx(file, position, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(file))
    throw Exception("Falha ao gravar " + text::narrow(path) + ": " + system_error("CreateFileW"));
}

void KeptBody::write(const char *data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0)
      throw Exception("Falha ao gravar " + text::narrow(path) + ": " + system_error("WriteFile"));
    data += written;
    size -= written;
  }
}

void KeptBody::commit(const std::wstring &target) {
  BOOL closed = CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  if (!closed ||
      !MoveFileExW(path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw Exception("Falha ao gravar " + text::narrow(target) + ": " + system_error("MoveFileExW"));
  DeleteFileW(record_path.c_str());
}

void KeptBody::discard() {
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  DeleteFileW(path.c_str());
  DeleteFileW(record_path.c_str());
}

std::string KeptBody::read_record() const {
  HANDLE in =
      CreateFileW(record_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE)
    return {};
  char buffer[4096];
  DWORD got = 0;
  BOOL read = ReadFile(in, buffer, sizeof(buffer), &got, nullptr);
  CloseHandle(in);
  return read ? std::string(buffer, got) : std::string();
}

void KeptBody::write_record(const std::string &record) {
  HANDLE out = CreateFileW(record_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  BOOL wrote = out != INVALID_HANDLE_VALUE &&
               WriteFile(out, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  if (out != INVALID_HANDLE_VALUE)
    CloseHandle(out);
  if (!wrote || written != record.size())
    throw Exception("Falha ao gravar " + text::narrow(record_path) + ": " + system_error("WriteFile"));
}
