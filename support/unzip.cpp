#include "unzip.h"

#include "Exception.h"
#include "text.h"
#include "unzip_files.h"
#include "zip_archive.h"

#include <unordered_set>
#include <utility>
#include <vector>

namespace {

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

std::string join(const std::string &folder, const std::string &relative) {
  if (relative.empty())
    return folder;
  return is_separator(folder.back()) ? folder + relative : folder + "/" + relative;
}

std::string parent_of(const std::string &relative) {
  size_t slash = relative.rfind('/');
  return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

// One unpacking. Until `commit` it can be undone whole: its destructor removes the staged files and
// the folders it created.
class Unpacking {
public:
  Unpacking(ZipArchive &zip, const std::string &folder) : zip_(zip), root_(folder) {
    for (const ZipEntry &entry : zip.entries())
      reserved_.insert(text::lower_ascii(entry.target.path));
  }
  ~Unpacking();
  Unpacking(const Unpacking &) = delete;
  Unpacking &operator=(const Unpacking &) = delete;

  void make_root(const std::string &path);
  void make_folders(const std::string &relative);
  void stage(const ZipEntry &entry);
  void commit();

private:
  [[noreturn]] void fail(const std::string &reason) const {
    throw Exception("\"" + zip_.path() + "\" cannot be unpacked: " + reason);
  }

  ZipArchive &zip_;
  std::string root_;
  std::unordered_set<std::string> reserved_; // the entries' paths, which temporary names must avoid
  std::unordered_set<std::string> known_folders_;
  std::vector<std::string> created_folders_;
  std::vector<std::pair<std::string, std::string>> staged_; // temporary name, real name
  bool committed_ = false;
};

Unpacking::~Unpacking() {
  if (committed_)
    return;
  for (const auto &[temporary, target] : staged_)
    remove_file(temporary);
  for (auto it = created_folders_.rbegin(); it != created_folders_.rend(); ++it)
    remove_empty_folder(*it);
}

void Unpacking::make_root(const std::string &path) {
  PathKind kind = path_kind(path);
  if (kind == PathKind::folder)
    return;
  if (kind == PathKind::file)
    fail("\"" + path + "\" is a file, not a folder");
  size_t end = path.size();
  while (end > 1 && is_separator(path[end - 1]))
    --end;
  while (end > 0 && !is_separator(path[end - 1]))
    --end;
  while (end > 1 && is_separator(path[end - 1]))
    --end;
  if (end > 0 && end < path.size())
    make_root(path.substr(0, end));
  make_folder(path);
  created_folders_.push_back(path);
}

void Unpacking::make_folders(const std::string &relative) {
  if (relative.empty() || known_folders_.contains(relative))
    return;
  make_folders(parent_of(relative));
  std::string path = join(root_, relative);
  PathKind kind = path_kind(path);
  if (kind == PathKind::file)
    fail("the file \"" + path + "\" is in the way of a folder of the archive");
  if (kind == PathKind::missing) {
    make_folder(path);
    created_folders_.push_back(path);
  }
  known_folders_.insert(relative);
}

void Unpacking::stage(const ZipEntry &entry) {
  const std::string &relative = entry.target.path;
  if (entry.target.is_folder) {
    make_folders(relative);
    return;
  }
  make_folders(parent_of(relative));
  std::string target = join(root_, relative);
  if (path_kind(target) == PathKind::folder)
    fail("the folder \"" + target + "\" is in the way of a file of the archive");

  NewFile file;
  std::string temporary;
  for (int attempt = 1;; ++attempt) {
    if (attempt > 100)
      fail("no temporary name is free beside \"" + target + "\"");
    std::string name = relative + "." + std::to_string(attempt) + ".unzip-part";
    if (reserved_.contains(text::lower_ascii(name)))
      continue;
    temporary = join(root_, name);
    if (file.create(temporary))
      break;
  }
  staged_.emplace_back(temporary, target);
  zip_.read(entry, [&](const char *data, size_t size) { file.write(data, size); });
  file.close();
}

void Unpacking::commit() {
  for (const auto &[temporary, target] : staged_)
    replace_file(temporary, target);
  committed_ = true;
}

} // namespace

void extract_zip(const std::string &archive, const std::string &folder) {
  if (folder.empty())
    throw Exception("\"" + archive + "\" cannot be unpacked: no folder given");
  ZipArchive zip(archive);
  Unpacking unpacking(zip, folder);
  unpacking.make_root(folder);
  uint64_t available = free_space(folder);
  if (zip.total_size() > available)
    throw Exception("\"" + archive + "\" cannot be unpacked: it holds " + std::to_string(zip.total_size()) +
                    " bytes and the disk of \"" + folder + "\" has " + std::to_string(available) + " free");
  for (const ZipEntry &entry : zip.entries())
    unpacking.stage(entry);
  unpacking.commit();
}
