#include "unzip.h"

#include "extraction_names.h"
#include "run_lock.h"
#include "unzip_files.h"
#include "unzip_journal.h"
#include "zip_archive.h"

#include <zlib.h>

#include <map>
#include <unordered_set>
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

// The end of the component of `relative` that follows the prefix of length `end`.
size_t next_component_end(const std::string &relative, size_t end) {
  size_t slash = relative.find('/', end + 1);
  return slash == std::string::npos ? relative.size() : slash;
}

// The length of the prefix of `relative` one folder shorter than the prefix of length `end`.
size_t previous_component_end(const std::string &relative, size_t end) {
  size_t slash = relative.rfind('/', end - 1);
  return slash == std::string::npos ? 0 : slash;
}

// The first of the folders of `relative` below its prefix of length `checked`, `relative` itself
// included, that is a link; empty when none is. The walk ends at the first folder that is missing,
// since nothing can lie below it. A loop, not a recursion: names can be deep.
std::string first_link(const std::string &root, const std::string &relative, size_t checked = 0) {
  for (size_t end = checked; end < relative.size();) {
    end = next_component_end(relative, end);
    std::string path = join(root, relative.substr(0, end));
    if (is_link(path))
      return path;
    if (path_kind(path) == PathKind::missing)
      break;
  }
  return "";
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

// Nothing that the journal names may lead out of the folder through a link put there since.
void check_on_disk(const std::string &root, const JournalRecord &record) {
  for (const std::string &folder : record.folders)
    if (std::string link = first_link(root, folder); !link.empty())
      throw Exception("names the folder \"" + folder + "\", which passes through the link \"" + link + "\"");
  for (const JournalMove &move : record.moves)
    if (std::string link = first_link(root, parent_of(move.target)); !link.empty())
      throw Exception("names the file \"" + move.target + "\", which passes through the link \"" + link +
                      "\"");
}

// Undoes the moves that a journal records, in reverse: each replaced file comes back from aside,
// each added file goes. Moves that had not been made yet are found as they were.
std::string undo_moves(const std::string &root, const JournalRecord &record) {
  std::string failures;
  for (auto move = record.moves.rbegin(); move != record.moves.rend(); ++move) {
    std::string target = join(root, move->target);
    if (!move->aside.empty()) {
      std::string aside = join(root, move->aside);
      if (path_kind(aside) == PathKind::file)
        move_back(aside, target, failures);
    } else if (path_kind(join(root, move->staged)) == PathKind::missing &&
               path_kind(target) == PathKind::file) {
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
      : zip_(zip), root_(folder), options_(options) {}
  Unpacking(const Unpacking &) = delete;
  Unpacking &operator=(const Unpacking &) = delete;

  void make_root(const std::string &path);
  void take_lock();
  void clean_leftovers();
  void inspect();
  void open_journal();
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
  void undo_ended_run(const std::string &token, const std::vector<std::string> &names);
  void make_folders(const std::string &relative);
  void inspect_path(const std::string &relative);
  bool differs(const ZipEntry &entry, const std::string &path) const;
  // A name of this run that nothing in the folder takes.
  std::string next_temporary(ExtractionFile kind);
  void record(const std::string &line) { journal_file_.write(line.data(), line.size()); }
  void close_journal() noexcept;

  ZipArchive &zip_;
  std::string root_;
  const ExtractOptions &options_;
  std::string token_;
  std::string identity_;
  RunLock lock_;
  uint32_t sequence_ = 0;
  std::unordered_set<std::string> inspected_;
  std::unordered_set<const ZipEntry *> kept_;
  std::unordered_set<std::string> known_folders_;
  std::vector<std::string> created_folders_;
  std::vector<Staged> staged_;
  NewFile journal_file_;
  bool journal_open_ = false;
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

// The lock of this run, held until its files are gone. A name that something else took already
// gets another token.
void Unpacking::take_lock() {
  identity_ = folder_identity(root_);
  for (int attempt = 0; attempt < 16; ++attempt) {
    token_ = new_run_token();
    if (lock_.create(join(root_, extraction_name(ExtractionFile::lock, token_))))
      return;
  }
  fail("no lock of its own can be made in \"" + root_ + "\"");
}

// Whatever a run that has ended left of an extraction into this folder. A run has ended when its
// lock can be taken: its journal is undone, then its staged files, the files it moved aside and the
// folders it made go. A journal that is not such a run's own stays as it is, and stops the unpacking.
void Unpacking::clean_leftovers() {
  std::map<std::string, std::vector<std::string>> runs;
  for (const std::string &name : folder_names(root_)) {
    ParsedExtractionName parsed;
    if (parse_extraction_name(name, parsed) && parsed.token != token_)
      runs[parsed.token].push_back(name);
  }
  for (const auto &[token, names] : runs) {
    RunLock ended;
    if (!ended.claim(join(root_, extraction_name(ExtractionFile::lock, token))))
      continue;
    undo_ended_run(token, names);
    ended.release();
  }
}

void Unpacking::undo_ended_run(const std::string &token, const std::vector<std::string> &names) {
  std::vector<JournalRecord> records;
  for (const std::string &name : names) {
    ParsedExtractionName parsed;
    if (!parse_extraction_name(name, parsed) || parsed.kind != ExtractionFile::journal)
      continue;
    std::string journal = join(root_, name);
    std::string text;
    if (!read_file(journal, [&](const char *data, size_t size) { text.append(data, size); }))
      fail("cannot read the journal \"" + journal + "\" of an interrupted extraction");
    try {
      records.push_back(read_journal(text, token, identity_));
      check_on_disk(root_, records.back());
    } catch (const Exception &e) {
      fail("the journal \"" + journal + "\" of an interrupted extraction is left as it is: " + e.what());
    }
    std::string failures = undo_moves(root_, records.back());
    if (!failures.empty())
      fail("an interrupted extraction into \"" + root_ + "\" cannot be undone: " + failures);
  }
  for (const std::string &name : names) {
    ParsedExtractionName parsed;
    if (parse_extraction_name(name, parsed) &&
        (parsed.kind == ExtractionFile::staged || parsed.kind == ExtractionFile::aside))
      remove_file(join(root_, name));
  }
  for (const JournalRecord &record : records)
    for (auto folder = record.folders.rbegin(); folder != record.folders.rend(); ++folder)
      remove_empty_folder(join(root_, *folder));
  for (const std::string &name : names) {
    ParsedExtractionName parsed;
    if (parse_extraction_name(name, parsed) && parsed.kind == ExtractionFile::journal)
      remove_file(join(root_, name));
  }
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

// Checks the folders of `relative` below the nearest one checked before.
void Unpacking::inspect_path(const std::string &relative) {
  size_t checked = relative.size();
  while (checked > 0 && !inspected_.contains(relative.substr(0, checked)))
    checked = previous_component_end(relative, checked);
  if (std::string link = first_link(root_, relative, checked); !link.empty())
    fail("\"" + link + "\" is a link, which unpacking does not follow");
  inspected_.insert(relative);
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

// Makes the folders of `relative` that are missing, from the top, each recorded in the journal
// before it is made. Below the first missing folder every one is missing.
void Unpacking::make_folders(const std::string &relative) {
  size_t known = relative.size();
  while (known > 0 && !known_folders_.contains(relative.substr(0, known)))
    known = previous_component_end(relative, known);
  bool missing = false;
  for (size_t end = known; end < relative.size();) {
    end = next_component_end(relative, end);
    std::string folder = relative.substr(0, end), path = join(root_, folder);
    if (!missing) {
      PathKind kind = path_kind(path);
      if (kind == PathKind::file)
        fail("the file \"" + path + "\" is in the way of a folder of the archive");
      if (kind == PathKind::folder)
        continue;
      missing = true;
    }
    record(journal_folder_line(folder));
    make_folder(path);
    created_folders_.push_back(path);
  }
  if (!relative.empty())
    known_folders_.insert(relative);
}

std::string Unpacking::next_temporary(ExtractionFile kind) {
  for (;;) {
    std::string name = extraction_name(kind, token_, sequence_++);
    if (path_kind(join(root_, name)) == PathKind::missing)
      return name;
  }
}

// The journal is there before the first folder is made, so that a run killed while staging is
// undone whole.
void Unpacking::open_journal() {
  std::string journal;
  do
    journal = join(root_, next_temporary(ExtractionFile::journal));
  while (!journal_file_.create(journal));
  journal_ = journal;
  journal_open_ = true;
  record(journal_header(token_, identity_));
}

void Unpacking::close_journal() noexcept {
  if (!journal_open_)
    return;
  journal_open_ = false;
  try {
    journal_file_.close();
  } catch (const Exception &) {
    // What it holds was written already; a journal that stays is undone by a later extraction.
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
    staged = join(root_, next_temporary(ExtractionFile::staged));
  while (!file.create(staged));
  staged_.push_back({staged, join(root_, next_temporary(ExtractionFile::aside)), target, relative});
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
void Unpacking::commit() {
  check_cancel();
  std::string moves;
  size_t root_length = join(root_, "x").size() - 1;
  for (Staged &s : staged_) {
    s.had_file = path_kind(s.target) == PathKind::file;
    moves += journal_move_line(
        {s.staged.substr(root_length), s.had_file ? s.aside.substr(root_length) : "", s.relative});
  }
  record(moves);
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
  close_journal();
  if (!remove_file(journal_))
    fail("cannot remove the journal \"" + journal_ + "\"");
  journal_.clear();
  for (const Staged &s : staged_)
    if (s.moved_aside)
      remove_file(s.aside);
  lock_.release();
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
  // A journal whose moves could not all be undone stays, so that a later extraction tries again
  // once this run's lock is gone.
  close_journal();
  if (failures.empty() && !journal_.empty())
    remove_file(journal_);
  lock_.release();
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
    unpacking.take_lock();
    unpacking.clean_leftovers();
    uint64_t available = free_space(folder);
    if (zip.total_size() > available)
      throw Exception("\"" + archive + "\" cannot be unpacked: it holds " + std::to_string(zip.total_size()) +
                      " bytes and the disk of \"" + folder + "\" has " + std::to_string(available) + " free");
    unpacking.inspect();
    unpacking.open_journal();
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
