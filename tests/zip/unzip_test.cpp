#include "Exception.h"
#include "extraction_names.h"
#include "run_lock.h"
#include "unzip.h"
#include "unzip_files.h"
#include "unzip_journal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string utf8(const fs::path &path) {
  std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

fs::path path_of(const std::string &utf8_text) {
  return fs::path(std::u8string(utf8_text.begin(), utf8_text.end()));
}

// A folder of the build tree, as this program sees it: Wine's drive Z: is the root of the machine
// that built it.
fs::path build_folder(const std::string &path) {
#ifdef _WIN32
  return path_of("Z:" + path);
#else
  return path_of(path);
#endif
}

fs::path cases(const std::string &kind, const std::string &name) {
  return build_folder(ZIP_CASES) / kind / name;
}

std::string read_file(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path &path, const std::string &content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Every file and folder below `root`, by relative path; folders end in '/' and have no content.
std::map<std::string, std::string> tree(const fs::path &root) {
  std::map<std::string, std::string> result;
  for (const auto &item : fs::recursive_directory_iterator(root)) {
    std::string relative = utf8(fs::relative(item.path(), root));
    if (item.is_directory())
      result[relative + "/"] = "";
    else
      result[relative] = read_file(item.path());
  }
  return result;
}

// A fresh, empty folder for one test, removed afterwards.
class Scratch {
public:
  Scratch() {
    const auto *test = testing::UnitTest::GetInstance()->current_test_info();
    root_ = build_folder(ZIP_SCRATCH) / (std::string(test->test_suite_name()) + "-" + test->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  ~Scratch() { fs::remove_all(root_); }
  const fs::path &root() const { return root_; }

private:
  fs::path root_;
};

std::string unpack_failure(const fs::path &archive, const fs::path &folder) {
  try {
    extract_zip(utf8(archive), utf8(folder));
  } catch (const Exception &e) {
    return e.what();
  }
  return "";
}

const char *const sound_archives[] = {
    "infozip_deflated",
    "infozip_stored",
    "infozip_streamed",
    "python_deflated",
    "python_stored",
    "python_descriptor",
    "python_zip64",
    "python_zip64_end",
    "names",
    // Each of these files inflates to many read buffers from little compressed input.
    "infozip_compressible",
    "infozip_compressible_9",
    "infozip_compressible_streamed",
    "bsdtar_compressible",
    "bsdtar_compressible_9",
    "python_compressible_1",
    "python_compressible_9",
    "python_compressible_descriptor",
};

TEST(ExtractZip, UnpacksWhatZipToolsWrite) {
  for (const char *name : sound_archives) {
    SCOPED_TRACE(name);
    Scratch scratch;
    // The folder does not exist yet: unpacking creates it with its parents.
    fs::path folder = scratch.root() / "new" / "folder";
    extract_zip(utf8(cases("sound", std::string(name) + ".zip")), utf8(folder));
    EXPECT_EQ(tree(folder), tree(cases("sound", std::string(name) + ".expected")));
  }
}

TEST(ExtractZip, ReplacesExistingFilesAndKeepsTheOthers) {
  Scratch scratch;
  fs::path folder = scratch.root() / "tmp";
  write_file(folder / "readme.txt", "older readme");
  write_file(folder / "bin" / "velacorte.dll", std::string(500000, 'x'));
  write_file(folder / "bin" / "mine.txt", "not in the archive");
  std::string archive = utf8(cases("sound", "infozip_deflated.zip"));
  auto expected = tree(cases("sound", "infozip_deflated.expected"));
  expected["bin/mine.txt"] = "not in the archive";

  extract_zip(archive, utf8(folder));
  EXPECT_EQ(tree(folder), expected);
  extract_zip(archive, utf8(folder));
  EXPECT_EQ(tree(folder), expected);
}

// Damage that shows only while an entry is inflated: the files of the archive were already being
// written. The older files must survive whole and no partly written file may remain.
TEST(ExtractZip, EntryFailingItsCheckKeepsTheOlderFiles) {
  struct Case {
    const char *archive;
    const char *failing_entry;
    const char *reason;
  };
  const Case table[] = {
      {"wrong_crc", "a.txt", "fails its CRC check"},
      {"damaged_stream", "damaged.txt", "inflates to less than its declared size"},
      {"bomb_lying_size", "bomb.bin", "inflates to more than its declared size"},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.archive);
    Scratch scratch;
    fs::path folder = scratch.root() / "tmp";
    write_file(folder / "good.txt", "older good");
    write_file(folder / c.failing_entry, "older file");
    auto before = tree(scratch.root());

    std::string failure = unpack_failure(cases("hostile", std::string(c.archive) + ".zip"), folder);
    EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    EXPECT_EQ(tree(scratch.root()), before);
  }
}

// Something on disk in the way of the archive's tree: found before any file takes its place.
TEST(ExtractZip, ObstacleOnDiskLeavesTheFolderAsItWas) {
  struct Case {
    const char *obstacle; // a folder where the archive has a file, or a file where it has a folder
    bool is_folder;
    const char *reason;
  };
  const Case table[] = {
      {"readme.txt", true, "is in the way of a file"},
      {"dados", false, "is in the way of a folder"},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.obstacle);
    Scratch scratch;
    fs::path folder = scratch.root() / "tmp";
    write_file(folder / "bin" / "velacorte.dll", "older dll");
    if (c.is_folder)
      fs::create_directories(folder / c.obstacle / "inner");
    else
      write_file(folder / c.obstacle, "a file");
    auto before = tree(scratch.root());

    std::string failure = unpack_failure(cases("sound", "infozip_deflated.zip"), folder);
    EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    EXPECT_EQ(tree(scratch.root()), before);
  }
}

TEST(ExtractZip, HostileArchivesFailAndWriteNothing) {
  struct Case {
    const char *archive;
    const char *reason;
  };
  const Case table[] = {
      {"dotdot", "climbs out of the folder"},
      {"dotdot_inner", "climbs out of the folder"},
      {"backslash_climb", "climbs out of the folder"},
      {"absolute", "has an absolute path"},
      {"absolute_backslash", "has an absolute path"},
      {"drive", "names a drive"},
      {"drive_relative", "names a drive"},
      {"nul_in_name", "control character"},
      {"control_in_name", "control character"},
      {"forbidden_character", "which Windows forbids"},
      {"stream_name", "which Windows forbids"},
      {"device_name", "takes for a device"},
      {"device_name_0", "takes for a device"},
      {"device_name_1", "takes for a device"},
      {"device_name_2", "takes for a device"},
      {"device_name_3", "takes for a device"},
      {"device_name_4", "takes for a device"},
      {"device_name_5", "takes for a device"},
      {"device_name_6", "takes for a device"},
      {"trailing_dot", "ending in a dot or a blank"},
      {"invalid_utf8", "not valid UTF-8"},
      {"symlink", "is a symbolic link"},
      {"symlink_then_file", "is a symbolic link"},
      {"duplicate", "has the same path as"},
      {"duplicate_case", "has the same path as"},
      {"duplicate_case_unicode_0", "has the same path as"},
      {"duplicate_case_unicode_1", "has the same path as"},
      {"duplicate_case_unicode_2", "has the same path as"},
      {"duplicate_case_unicode_3", "has the same path as"},
      {"duplicate_case_unicode_4", "has the same path as"},
      {"file_and_folder", "which the archive holds as a file"},
      {"overlap", "overlaps entry"},
      {"overlap_bomb", "overlaps entry"},
      {"local_name_differs", "name disagrees with the central directory"},
      {"local_size_differs", "CRC or sizes disagree with the central directory"},
      {"local_method_differs", "method or flags disagree with the central directory"},
      {"local_header_missing", "has no local header where the central directory says"},
      {"wrong_crc", "fails its CRC check"},
      {"damaged_stream", "inflates to less than its declared size"},
      {"truncated_empty", "is not a ZIP archive"},
      {"truncated_in_local_header", "is not a ZIP archive"},
      {"truncated_in_data", "is not a ZIP archive"},
      {"truncated_before_directory", "is not a ZIP archive"},
      {"truncated_in_directory", "is not a ZIP archive"},
      {"truncated_in_end_record", "is not a ZIP archive"},
      {"truncated_in_comment", "is not a ZIP archive"},
      {"bomb_lying_size", "inflates to more than its declared size"},
      {"bomb_declared", "declares more data than its compressed size can hold"},
      {"stored_sizes_differ", "is stored but declares two different sizes"},
      {"zip64_extra_missing", "lacks the ZIP64 values"},
      {"zip64_offset_lies", "has its local header outside the archive's data"},
      {"zip64_size_lies", "inflates to more than its declared size"},
      {"zip64_end_disagrees", "ZIP64 end record that disagrees"},
      {"zip64_end_lies", "has its central directory elsewhere"},
      {"encrypted", "is encrypted"},
      {"strong_encryption", "is encrypted"},
      {"unsupported_method", "compression method 12"},
      {"folder_with_data", "is a folder but declares data"},
      {"count_too_large", "declares more entries than its central directory can hold"},
      {"directory_elsewhere", "has its central directory elsewhere"},
      {"html_page", "is not a ZIP archive"},
      {"own_name_journal",
       "entry \".vzjournal-7ffffff0-00000000\" has a component named like unpacking's own"},
      {"own_name_zipfile", "entry \"bin/.vzold-0123456789abcdef-00000000\" has a component named like"},
      {"own_name_0", "named like unpacking's own files"},
      {"own_name_1", "named like unpacking's own files"},
      {"own_name_2", "named like unpacking's own files"},
      {"own_name_3", "named like unpacking's own files"},
      {"own_name_4", "named like unpacking's own files (\".VZPart-x\")"},
      {"own_name_5", "named like unpacking's own files"},
      {"own_name_6", "named like unpacking's own files (\".vzold-folder\")"},
      {"own_name_7", "named like unpacking's own files"},
      {"deep_name", "has a path longer than Windows can hold"},
      {"deep_name_on_disk", "cannot create the folder"},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.archive);
    Scratch scratch;
    // Deep enough that every climb of the corpus would land inside the scratch folder.
    fs::path folder = scratch.root() / "a" / "b" / "c" / "tmp";
    write_file(scratch.root() / "a" / "victim" / "config.ini", "the shop's settings");
    write_file(folder / "payload.txt", "older payload");
    write_file(folder / "dir" / "good.txt", "older good");
    auto before = tree(scratch.root());

    std::string failure = unpack_failure(cases("hostile", std::string(c.archive) + ".zip"), folder);
    EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    EXPECT_EQ(tree(scratch.root()), before);
  }
}

TEST(ExtractZip, FailureLeavesNoFolderItCreated) {
  Scratch scratch;
  fs::path folder = scratch.root() / "new" / "folder";
  std::string failure = unpack_failure(cases("hostile", "wrong_crc.zip"), folder);
  EXPECT_NE(failure.find("fails its CRC check"), std::string::npos) << failure;
  EXPECT_FALSE(fs::exists(scratch.root() / "new"));
}

// A placement that fails, wherever it falls, undoes every one before it: the folder holds a.txt and
// b.txt, the archive a, b and c.
TEST(ExtractZip, FailedPlacementRestoresTheFolder) {
  struct Case {
    const char *refused; // the file whose move fails
    bool moving_aside;   // the older file's move aside, or the new file's move into place
    const char *reason;
  };
  const Case table[] = {
      {"a.txt", true, "cannot move aside the file"},
      {"b.txt", true, "cannot move aside the file"},
      {"b.txt", false, "cannot put in place the file"},
      {"c.txt", false, "cannot put in place the file"},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(std::string(c.refused) + (c.moving_aside ? " aside" : " into place"));
    Scratch scratch;
    fs::path folder = scratch.root() / "tmp";
    write_file(folder / "a.txt", "old a");
    write_file(folder / "b.txt", "old b");
    auto before = tree(scratch.root());

    static const Case *refusing;
    refusing = &c;
    replace_file_refused = [](const std::string &from, const std::string &to) {
      std::string name = std::string("/") + refusing->refused;
      return refusing->moving_aside ? from.ends_with(name) && to.find("/.vzold-") != std::string::npos
                                    : to.ends_with(name) && from.find("/.vzpart-") != std::string::npos;
    };
    std::string failure = unpack_failure(cases("sound", "abc.zip"), folder);
    replace_file_refused = nullptr;
    EXPECT_NE(failure.find(std::string(c.reason) + " \"" + utf8(folder / c.refused) + "\" (refused)"),
              std::string::npos)
        << failure;
    EXPECT_EQ(tree(scratch.root()), before);
  }
}

// When the undo itself fails, the failure names the file that could not come back, and the journal
// stays for a later extraction to finish the undo.
TEST(ExtractZip, FailedRestoreIsReportedAndFinishedLater) {
  Scratch scratch;
  fs::path folder = scratch.root() / "tmp";
  write_file(folder / "a.txt", "old a");
  write_file(folder / "b.txt", "old b");
  replace_file_refused = [](const std::string &from, const std::string &to) {
    return to.ends_with("/c.txt") || (from.find("/.vzold-") != std::string::npos && to.ends_with("/b.txt"));
  };
  std::string failure = unpack_failure(cases("sound", "abc.zip"), folder);
  replace_file_refused = nullptr;
  EXPECT_NE(failure.find("c.txt\" (refused)"), std::string::npos) << failure;
  EXPECT_NE(failure.find("undoing it failed: cannot put in place the file \"" + utf8(folder / "b.txt")),
            std::string::npos)
      << failure;
  EXPECT_EQ(read_file(folder / "a.txt"), "old a");
}

const std::string ended = "00000000deadbeef";   // the token of a run that has ended
const std::string running = "0123456789abcdef"; // the token of a run at work

std::string own(ExtractionFile kind, const std::string &token, uint32_t sequence = 0) {
  return extraction_name(kind, token, sequence);
}

// What a run killed in the middle of placing files leaves behind: its lock, no longer held, its
// journal, one file moved aside, one staged file not yet placed, one new file placed in a folder it
// made, another folder it made, empty. The next extraction into the folder undoes it; the files of a
// run whose lock is held are left alone, and so are the user's files of similar names.
TEST(ExtractZip, NextExtractionUndoesAnEndedRun) {
  Scratch scratch;
  fs::path folder = scratch.root() / "tmp";
  fs::create_directories(folder / "made" / "deeper");
  fs::create_directories(folder / "there");
  write_file(folder / "a.txt", "new a");
  write_file(folder / own(ExtractionFile::aside, ended, 1), "old a");
  write_file(folder / "b.txt", "old b");
  write_file(folder / own(ExtractionFile::staged, ended, 2), "new b");
  write_file(folder / "sub" / "c.txt", "new c");
  write_file(folder / own(ExtractionFile::staged, ended, 9), "staged, no journal line");
  write_file(folder / own(ExtractionFile::lock, ended), "");
  // A run whose lock is gone altogether has ended as well.
  write_file(folder / own(ExtractionFile::staged, "00000000feedface", 0), "staged, no lock");
  std::string identity = folder_identity(utf8(folder));
  write_file(folder / own(ExtractionFile::journal, ended, 4),
             journal_header(ended, identity) + journal_folder_line("sub") + journal_folder_line("made") +
                 journal_folder_line("made/deeper") + journal_folder_line("there") +
                 journal_move_line(
                     {own(ExtractionFile::staged, ended, 0), own(ExtractionFile::aside, ended, 1), "a.txt"}) +
                 journal_move_line(
                     {own(ExtractionFile::staged, ended, 2), own(ExtractionFile::aside, ended, 3), "b.txt"}) +
                 journal_move_line({own(ExtractionFile::staged, ended, 5), "", "sub/c.txt"}) +
                 "folder\tunfini");
  write_file(folder / "there" / "mine.txt", "the user's, in a folder the run made");
  RunLock live;
  ASSERT_TRUE(live.create(utf8(folder / own(ExtractionFile::lock, running))));
  write_file(folder / own(ExtractionFile::staged, running, 0), "the running one's");
  write_file(folder / ".vzpart-not-ours", "a user's file");

  extract_zip(utf8(cases("sound", "names.zip")), utf8(folder));
  auto expected = tree(cases("sound", "names.expected"));
  expected["a.txt"] = "old a";
  expected["b.txt"] = "old b";
  expected["there/"] = "";
  expected["there/mine.txt"] = "the user's, in a folder the run made";
  expected[own(ExtractionFile::lock, running)] = "";
  expected[own(ExtractionFile::staged, running, 0)] = "the running one's";
  expected[".vzpart-not-ours"] = "a user's file";
  EXPECT_EQ(tree(folder), expected);
}

// A journal that an ended run could not have written, found in the folder: the unpacking names it
// and stops, and nothing inside or outside the folder changes, since the journal is never replayed.
TEST(ExtractZip, ForeignJournalIsReportedAndLeftAlone) {
  struct Case {
    const char *what;
    std::string header; // empty for this folder's
    std::string line;
    const char *reason;
  };
  const std::string staged = own(ExtractionFile::staged, ended, 0),
                    aside = own(ExtractionFile::aside, ended, 1);
  const Case table[] = {
      {"climbing target", "", "move\t" + staged + "\t" + aside + "\t../victim/config.ini",
       "climbs out of the folder"},
      {"backslash climb", "", "move\t" + staged + "\t-\t..\\victim\\precious.txt",
       "climbs out of the folder"},
      {"backslash inside", "", "move\t" + staged + "\t-\tsub\\a.txt", "not a path that unpacking writes"},
      {"absolute target", "", "move\t" + staged + "\t-\t" + ZIP_SCRATCH + "/x/victim/precious.txt",
       "has an absolute path"},
      {"drive target", "", "move\t" + staged + "\t-\tc:/victim/precious.txt", "names a drive"},
      {"climbing folder", "", "folder\t../victim", "climbs out of the folder"},
      {"absolute folder", "", "folder\t/victim", "has an absolute path"},
      {"climbing aside", "", "move\t" + staged + "\t../victim/precious.txt\ta.txt",
       "not a file of this extraction"},
      {"another run's staged file", "", "move\t" + own(ExtractionFile::staged, running, 0) + "\t-\ta.txt",
       "not a file of this extraction"},
      {"target named like a journal", "",
       "move\t" + staged + "\t-\tsub/" + own(ExtractionFile::journal, ended),
       "named like unpacking's own files"},
      {"unknown line", "", "remove\t../victim/precious.txt", "is not a line of a journal"},
      {"another folder", "another", "move\t" + staged + "\t-\ta.txt", "is not the header"},
      {"another run", "run", "move\t" + staged + "\t-\ta.txt", "is not the header"},
      {"no header", "none", "move\t" + staged + "\t-\ta.txt", "is not the header"},
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.what);
    Scratch scratch;
    fs::path folder = scratch.root() / "x" / "tmp";
    write_file(scratch.root() / "x" / "victim" / "config.ini", "the shop's settings");
    write_file(scratch.root() / "x" / "victim" / "precious.txt", "the shop's data");
    write_file(folder / "a.txt", "old a");
    write_file(folder / "sub" / "a.txt", "old sub a");
    write_file(folder / staged, "the attacker's");
    write_file(folder / aside, "the attacker's");
    std::string header = journal_header(ended, folder_identity(utf8(folder)));
    if (c.header == "another")
      header = journal_header(ended, folder_identity(utf8(scratch.root() / "x" / "victim")));
    else if (c.header == "run")
      header = journal_header(running, folder_identity(utf8(folder)));
    else if (c.header == "none")
      header.clear();
    std::string journal = own(ExtractionFile::journal, ended, 2);
    write_file(folder / journal, header + c.line + "\n");
    auto before = tree(scratch.root());

    std::string failure = unpack_failure(cases("sound", "abc.zip"), folder);
    EXPECT_NE(
        failure.find("the journal \"" + utf8(folder / journal) + "\" of an interrupted extraction is left"),
        std::string::npos)
        << failure;
    EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
    EXPECT_EQ(tree(scratch.root()), before);
  }
}

TEST(ExtractZip, ExistingFilesKeptOrRefusedWhenAsked) {
  Scratch scratch;
  fs::path folder = scratch.root() / "tmp";
  write_file(folder / "a.txt", "old a");
  auto expected = tree(cases("sound", "abc.expected"));

  ExtractOptions keep;
  keep.existing = ExtractOptions::Existing::keep;
  extract_zip(utf8(cases("sound", "abc.zip")), utf8(folder), keep);
  expected["a.txt"] = "old a";
  EXPECT_EQ(tree(folder), expected);

  ExtractOptions refuse;
  refuse.existing = ExtractOptions::Existing::refuse_if_different;
  auto before = tree(folder);
  try {
    extract_zip(utf8(cases("sound", "abc.zip")), utf8(folder), refuse);
    ADD_FAILURE() << "a differing file was replaced";
  } catch (const Exception &e) {
    EXPECT_NE(std::string(e.what()).find("a.txt\" exists and differs from the archive's"), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(tree(folder), before);

  // Files equal to the archive's are no obstacle.
  write_file(folder / "a.txt", expected["a.txt"] = tree(cases("sound", "abc.expected"))["a.txt"]);
  extract_zip(utf8(cases("sound", "abc.zip")), utf8(folder), refuse);
  EXPECT_EQ(tree(folder), tree(cases("sound", "abc.expected")));
}

TEST(ExtractZip, FilesTakeTheEntriesTimes) {
  Scratch scratch;
  fs::path folder = scratch.root() / "tmp";
  extract_zip(utf8(cases("sound", "abc.zip")), utf8(folder));
  std::tm local{};
  local.tm_year = 120, local.tm_mon = 4, local.tm_mday = 17, local.tm_hour = 10, local.tm_min = 30;
  local.tm_isdst = -1;
  std::time_t expected = std::mktime(&local);
  auto written = fs::last_write_time(folder / "b.txt");
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      fs::file_time_type::clock::to_sys(written).time_since_epoch());
  EXPECT_EQ(seconds.count(), static_cast<long long>(expected));
}

TEST(ExtractZip, CancelledExtractionLeavesTheFolderAsItWas) {
  for (uint64_t stop_after : {uint64_t{1}, uint64_t{2000}, uint64_t{4000}}) {
    SCOPED_TRACE(stop_after);
    Scratch scratch;
    fs::path folder = scratch.root() / "tmp";
    write_file(folder / "b.txt", "old b");
    auto before = tree(scratch.root());
    std::atomic<bool> cancel{false};
    ExtractOptions options;
    options.cancel = &cancel;
    options.progress = [&](uint64_t done, uint64_t) { cancel = done >= stop_after; };
    EXPECT_THROW(extract_zip(utf8(cases("sound", "abc.zip")), utf8(folder), options), ExtractionCancelled);
    EXPECT_EQ(tree(scratch.root()), before);
  }
}

#ifdef _WIN32
// The usual failure on Windows: the running product holds one of the files open.
TEST(ExtractZip, FileInUseRestoresTheFolder) {
  Scratch scratch;
  fs::path folder = scratch.root() / "tmp";
  write_file(folder / "a.txt", "old a");
  write_file(folder / "b.txt", "old b");
  auto before = tree(scratch.root());
  HANDLE held = CreateFileW((folder / "b.txt").wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::string failure = unpack_failure(cases("sound", "abc.zip"), folder);
  CloseHandle(held);
  EXPECT_NE(failure.find("b.txt\""), std::string::npos) << failure;
  EXPECT_EQ(tree(scratch.root()), before);
}

// A read-only file is replaced like any other, and nothing of it stays aside.
TEST(ExtractZip, ReadOnlyFileIsReplaced) {
  Scratch scratch;
  fs::path folder = scratch.root() / "tmp";
  write_file(folder / "b.txt", "old b");
  ASSERT_TRUE(SetFileAttributesW((folder / "b.txt").wstring().c_str(), FILE_ATTRIBUTE_READONLY));
  extract_zip(utf8(cases("sound", "abc.zip")), utf8(folder));
  EXPECT_EQ(tree(folder), tree(cases("sound", "abc.expected")));
}
#else
TEST(ExtractZip, LinkInTheTargetIsNotFollowed) {
  for (const char *link : {"bin", "readme.txt"}) {
    SCOPED_TRACE(link);
    Scratch scratch;
    fs::path folder = scratch.root() / "tmp";
    fs::path outside = scratch.root() / "outside";
    write_file(outside / "velacorte.dll", "outside the folder");
    fs::create_directories(folder);
    fs::create_symlink(std::string(link) == "bin" ? outside : outside / "velacorte.dll", folder / link);
    auto before = tree(scratch.root());

    std::string failure = unpack_failure(cases("sound", "infozip_deflated.zip"), folder);
    EXPECT_NE(failure.find("is a link, which unpacking does not follow"), std::string::npos) << failure;
    EXPECT_EQ(tree(scratch.root()), before);
  }
}

// A folder on the way of the journal's paths that is a link now: the journal is left alone, and
// nothing is moved or removed through the link.
TEST(ExtractZip, JournalThroughALinkIsLeftAlone) {
  const std::string staged = own(ExtractionFile::staged, ended, 0),
                    aside = own(ExtractionFile::aside, ended, 1);
  for (const std::string &line :
       {"move\t" + staged + "\t" + aside + "\tinside/config.ini", std::string("folder\tinside/made")}) {
    SCOPED_TRACE(line);
    Scratch scratch;
    fs::path folder = scratch.root() / "tmp";
    write_file(scratch.root() / "victim" / "config.ini", "the shop's settings");
    fs::create_directories(scratch.root() / "victim" / "made");
    write_file(folder / aside, "the attacker's");
    fs::create_directory_symlink(scratch.root() / "victim", folder / "inside");
    write_file(folder / own(ExtractionFile::journal, ended),
               journal_header(ended, folder_identity(utf8(folder))) + line + "\n");
    auto before = tree(scratch.root());

    std::string failure = unpack_failure(cases("sound", "abc.zip"), folder);
    EXPECT_NE(failure.find("passes through the link \"" + utf8(folder / "inside") + "\""), std::string::npos)
        << failure;
    EXPECT_EQ(tree(scratch.root()), before);
  }
}

TEST(ExtractZip, ArchiveThatIsNoRegularFileIsRefusedAtOnce) {
  Scratch scratch;
  fs::path fifo = scratch.root() / "archive.zip";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directories(scratch.root() / "folder.zip");
  for (const fs::path &archive : {fifo, scratch.root() / "folder.zip"}) {
    SCOPED_TRACE(archive);
    std::string failure = unpack_failure(archive, scratch.root() / "tmp");
    EXPECT_NE(failure.find("is not a regular file"), std::string::npos) << failure;
    EXPECT_FALSE(fs::exists(scratch.root() / "tmp"));
  }
}
#endif

} // namespace
