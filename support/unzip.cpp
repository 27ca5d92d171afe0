#include "unzip.h"

#include "case_fold.h"
#include "text.h"
#include "unzip_files.h"
#include "zip_archive.h"

#include <zlib.h>

#include <cstdio>
#include <unordered_set>
#include <vector>

namespace {

// The temporary names of an extraction, all in the folder of unpacking and of one fixed length, so
// that every entry name that fits the file system can be staged: a kind, the process ID and a
// sequence number, each in eight hexadecimal digits. The process ID tells the leftovers of a process
// that has ended from the files of one that still works.
constexpr std::string_view staged_kind = ".vzpart-";
constexpr std::string_view aside_kind = ".vzold-";
constexpr std::string_view journal_kind = ".vzjournal-";

std::string temporary_name(std::string_view kind, uint32_t process, uint32_t sequence) {
  char digits[18];
  std::snprintf(digits, sizeof digits, "%08x-%08x", process, sequence);
  return std::string(kind) + digits;
}

struct TemporaryName {
  std::string_view kind;
  uint32_t process = 0;
};

// Recognises the names `temporary_name` makes, and no other.
bool parse_temporary_name(std::string_view name, TemporaryName &parsed) {
  for (std::string_view kind : {staged_kind, aside_kind, journal_kind}) {
    if (!name.starts_with(kind) || name.size() != kind.size() + 17 || name[kind.size() + 8] != '-')
      continue;
    std::string_view digits = name.substr(kind.size());
    uint32_t process = 0;
    for (size_t i = 0; i < digits.size(); ++i) {
      if (i == 8)
        continue;
      char c = digits[i];
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
        return false;
      if (i < 8)
        process = process << 4 | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    parsed = {kind, process};
    return true;
  }
  return false;
}

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

void append_failure(std::string &failures, const std::string &failure) {
  failures += failures.empty() ? "" : "; ";
  failures += failure;
}

bool move_back(const std::string &from, const std::string &to, std::string &failures) {
  try {
    replace_file(from, to);
    return true;
  } catch (const Exception &e) {
    append_failure(failures, std::string(e.what()) + " from \"" + from + "\"");
    return false;
  }
}

void note_left(const std::string &path, std::string &failures) {
  append_failure(failures, "cannot remove the added file \"" + path + "\"");
}

// Undoes what a journal records, in reverse: each replaced file comes back from aside, each added
// file goes. Entries that had not been reached yet are found as they were.
std::string replay_journal(const std::string &root, const std::string &journal) {
  std::string text;
  if (!read_file(journal, [&](const char *data, size_t size) { text.append(data, size); }))
    return "cannot read the journal \"" + journal + "\"";
  std::vector<std::string_view> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    lines.emplace_back(text.data() + start, end - start);
  }
  std::string failures;
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    size_t first = line->find('\t'), second = line->find('\t', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos)
      continue;
    std::string staged = join(root, std::string(line->substr(0, first)));
    std::string aside(line->substr(first + 1, second - first - 1));
    std::string target = join(root, std::string(line->substr(second + 1)));
    if (aside != "-") {
      aside = join(root, aside);
      if (path_kind(aside) == PathKind::file)
        move_back(aside, target, failures);
    } else if (path_kind(staged) == PathKind::missing && path_kind(target) == PathKind::file) {
      if (!remove_file(target))
        note_left(target, failures);
    }
  }
  return failures;
}

// One unpacking. Until `commit` ends it can be undone whole with `undo`.
class Unpacking {
public:
  Unpacking(ZipArchive &zip, const std::string &folder, const ExtractOptions &options)
      : zip_(zip), root_(folder), options_(options), process_(current_process_id()) {
    for (const ZipEntry &entry : zip.entries())
      reserved_.insert(text::fold_case(entry.target.path));
  }
  Unpacking(const Unpacking &) = delete;
  Unpacking &operator=(const Unpacking &) = delete;

  void make_root(const std::string &path);
  void clean_leftovers();
  void inspect();
  void stage(const ZipEntry &entry);
  void commit();
  // Restores the folder; returns what could not be restored, or nothing.
  std::string undo() noexcept;

private:
  struct Staged {
    std::string staged, aside, target, relative;
    bool had_file = false;
    bool moved_aside = false;
    bool placed = false;
  };

  [[noreturn]] void fail(const std::string &reason) const {
    throw Exception("\"" + zip_.path() + "\" cannot be unpacked: " + reason);
  }
  void check_cancel() const {
    if (options_.cancel && options_.cancel->load())
      throw ExtractionCancelled("\"" + zip_.path() + "\" was not unpacked: interrupted");
  }
  void make_folders(const std::string &relative);
  void inspect_path(const std::string &relative);
  bool differs(const ZipEntry &entry, const std::string &path) const;
  // A temporary name of the folder that no entry of the archive takes.
  std::string next_temporary(std::string_view kind);
  void write_journal();

  ZipArchive &zip_;
  std::string root_;
  const ExtractOptions &options_;
  uint32_t process_;
  uint32_t sequence_ = 0;
  std::unordered_set<std::string> reserved_; // the entries' folded paths
  std::unordered_set<std::string> inspected_;
  std::unordered_set<const ZipEntry *> kept_;
  std::unordered_set<std::string> known_folders_;
  std::vector<std::string> created_folders_;
  std::vector<Staged> staged_;
  std::string journal_;
  uint64_t written_ = 0;
};

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

// Whatever a process that has ended left of an extraction into this folder: a journal means it was
// putting files in place, and is undone; staged files and files moved aside are then removed.
void Unpacking::clean_leftovers() {
  std::vector<std::string> leftovers;
  for (const std::string &name : folder_names(root_)) {
    TemporaryName parsed;
    if (parse_temporary_name(name, parsed) && parsed.process != process_ && !process_alive(parsed.process))
      leftovers.push_back(name);
  }
  for (const std::string &name : leftovers) {
    if (!name.starts_with(journal_kind))
      continue;
    std::string journal = join(root_, name);
    std::string failures = replay_journal(root_, journal);
    if (!failures.empty())
      fail("an interrupted extraction into \"" + root_ + "\" cannot be undone: " + failures);
    remove_file(journal);
  }
  for (const std::string &name : leftovers)
    if (!name.starts_with(journal_kind))
      remove_file(join(root_, name));
}

// Everything on disk that would turn the archive's paths elsewhere, or that the options forbid
// replacing, is found before anything is written.
void Unpacking::inspect() {
  for (const ZipEntry &entry : zip_.entries()) {
    const std::string &relative = entry.target.path;
    inspect_path(entry.target.is_folder ? relative : parent_of(relative));
    if (entry.target.is_folder)
      continue;
    std::string target = join(root_, relative);
    if (is_link(target))
      fail("\"" + target + "\" is a link, which unpacking does not follow");
    if (path_kind(target) != PathKind::file || options_.existing == ExtractOptions::Existing::replace)
      continue;
    if (options_.existing == ExtractOptions::Existing::keep)
      kept_.insert(&entry);
    else if (differs(entry, target))
      fail("the file \"" + target + "\" exists and differs from the archive's");
  }
}

void Unpacking::inspect_path(const std::string &relative) {
  if (relative.empty() || inspected_.contains(relative))
    return;
  inspect_path(parent_of(relative));
  inspected_.insert(relative);
  std::string path = join(root_, relative);
  if (is_link(path))
    fail("\"" + path + "\" is a link, which unpacking does not follow");
}

bool Unpacking::differs(const ZipEntry &entry, const std::string &path) const {
  uint64_t size = 0;
  uLong crc = crc32(0, nullptr, 0);
  bool read = read_file(path, [&](const char *data, size_t n) {
    size += n;
    crc = crc32_z(crc, reinterpret_cast<const Bytef *>(data), n);
  });
  return !read || size != entry.size || crc != entry.crc;
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

std::string Unpacking::next_temporary(std::string_view kind) {
  for (;;) {
    std::string name = temporary_name(kind, process_, sequence_++);
    if (!reserved_.contains(text::fold_case(name)) && path_kind(join(root_, name)) == PathKind::missing)
      return name;
  }
}

void Unpacking::stage(const ZipEntry &entry) {
  const std::string &relative = entry.target.path;
  if (entry.target.is_folder) {
    make_folders(relative);
    return;
  }
  if (kept_.contains(&entry))
    return;
  make_folders(parent_of(relative));
  std::string target = join(root_, relative);
  if (path_kind(target) == PathKind::folder)
    fail("the folder \"" + target + "\" is in the way of a file of the archive");

  NewFile file;
  std::string staged;
  do
    staged = join(root_, next_temporary(staged_kind));
  while (!file.create(staged));
  staged_.push_back({staged, join(root_, next_temporary(aside_kind)), target, relative});
  zip_.read(entry, [&](const char *data, size_t size) {
    check_cancel();
    file.write(data, size);
    written_ += size;
    if (options_.progress)
      options_.progress(written_, zip_.total_size());
  });
  file.set_modified(entry.modified);
  file.close();
}

// Records every move before the first, so that a process that ends midway can be undone by the
// next extraction.
void Unpacking::write_journal() {
  std::string text;
  size_t root_length = join(root_, "x").size() - 1;
  for (Staged &s : staged_) {
    s.had_file = path_kind(s.target) == PathKind::file;
    text += s.staged.substr(root_length) + "\t" + (s.had_file ? s.aside.substr(root_length) : "-") + "\t" +
            s.relative + "\n";
  }
  NewFile file;
  std::string journal;
  do
    journal = join(root_, next_temporary(journal_kind));
  while (!file.create(journal));
  journal_ = journal;
  file.write(text.data(), text.size());
  file.close();
}

void Unpacking::commit() {
  check_cancel();
  write_journal();
  for (Staged &s : staged_) {
    check_cancel();
    if (s.had_file) {
      move_aside(s.target, s.aside);
      s.moved_aside = true;
    }
    replace_file(s.staged, s.target);
    s.placed = true;
  }
  // Once the journal is gone the new files stand; until then an interrupted process is undone.
  if (!remove_file(journal_))
    fail("cannot remove the journal \"" + journal_ + "\"");
  journal_.clear();
  for (const Staged &s : staged_)
    if (s.moved_aside)
      remove_file(s.aside);
}

std::string Unpacking::undo() noexcept {
  std::string failures;
  for (auto s = staged_.rbegin(); s != staged_.rend(); ++s) {
    if (s->moved_aside)
      move_back(s->aside, s->target, failures);
    else if (s->placed && !remove_file(s->target))
      note_left(s->target, failures);
    if (!s->placed)
      remove_file(s->staged);
  }
  // A journal whose moves could not all be undone stays, so that a later extraction tries again.
  if (failures.empty() && !journal_.empty())
    remove_file(journal_);
  for (auto it = created_folders_.rbegin(); it != created_folders_.rend(); ++it)
    remove_empty_folder(*it);
  return failures;
}

} // namespace

void extract_zip(const std::string &archive, const std::string &folder, const ExtractOptions &options) {
  if (folder.empty())
    throw Exception("\"" + archive + "\" cannot be unpacked: no folder given");
  ZipArchive zip(archive);
  Unpacking unpacking(zip, folder, options);
  try {
    unpacking.make_root(folder);
    unpacking.clean_leftovers();
    uint64_t available = free_space(folder);
    if (zip.total_size() > available)
      throw Exception("\"" + archive + "\" cannot be unpacked: it holds " + std::to_string(zip.total_size()) +
                      " bytes and the disk of \"" + folder + "\" has " + std::to_string(available) + " free");
    unpacking.inspect();
    for (const ZipEntry &entry : zip.entries())
      unpacking.stage(entry);
    unpacking.commit();
  } catch (const std::exception &e) {
    std::string failures = unpacking.undo();
    if (failures.empty())
      throw;
    throw Exception(std::string(e.what()) + "; undoing it failed: " + failures);
  } catch (...) {
    unpacking.undo();
    throw;
  }
}
