#include "install_log.h"

#include "text.h"

#include <cstdio>

namespace {

std::string timestamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  return stamp;
}

std::wstring folder_of(const std::wstring &path) {
  size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? L"." : path.substr(0, cut);
}

} // namespace

InstallLog::InstallLog(std::wstring path) : path_(std::move(path)) {}

void InstallLog::hide(const std::string &secret) {
  if (!secret.empty())
    secrets_.push_back(secret);
}

std::string InstallLog::cleaned(std::string event) const {
  for (char &c : event)
    if (c == '\r' || c == '\n')
      c = ' ';
  for (const std::string &secret : secrets_)
    event = text::replace_all(event, secret, "****");
  // A request's Authorization header carries the token: the rest of the line goes.
  size_t header = text::lower_ascii(event).find("authorization");
  if (header != std::string::npos)
    event.replace(header, std::string::npos, "[credenciais omitidas]");
  return event;
}

void InstallLog::line(const std::string &event) {
  pending_.push_back(timestamp() + cleaned(event) + "\r\n");
  if (!open())
    return;
  for (const std::string &text : pending_)
    write(text);
  pending_.clear();
}

void InstallLog::create_folder() {
  CreateDirectoryW(folder_of(path_).c_str(), nullptr);
}

bool InstallLog::open() {
  if (file_)
    return true;
  DWORD attributes = GetFileAttributesW(folder_of(path_).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  file_.reset(CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_)
    return false;
  LARGE_INTEGER size{};
  GetFileSizeEx(file_.get(), &size);
  size_ = static_cast<uint64_t>(size.QuadPart);
  return true;
}

void InstallLog::rotate() {
  file_.reset();
  MoveFileExW(path_.c_str(), (path_ + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
  open();
}

void InstallLog::write(const std::string &text) {
  if (size_ > 0 && size_ + text.size() > kRotationSize)
    rotate();
  if (!file_)
    return;
  DWORD written = 0;
  WriteFile(file_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  size_ += written;
}
