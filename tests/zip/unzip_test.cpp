#include "Exception.h"
#include "unzip.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string utf8(const fs::path &path) {
  std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

fs::path path_of(const std::string &utf8_text) {
  return fs::path(std::u8string(utf8_text.begin(), utf8_text.end()));
}

fs::path cases(const std::string &kind, const std::string &name) {
#ifdef _WIN32
  // Wine's drive Z: is the root of the machine that made the archives.
  return path_of(std::string("Z:") + ZIP_CASES) / kind / name;
#else
  return path_of(ZIP_CASES) / kind / name;
#endif
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
    root_ = fs::temp_directory_path() /
            (std::string("velacorte-unzip-") + test->test_suite_name() + "-" + test->name());
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
      {"trailing_dot", "ending in a dot or a blank"},
      {"invalid_utf8", "not valid UTF-8"},
      {"symlink", "is a symbolic link"},
      {"symlink_then_file", "is a symbolic link"},
      {"duplicate", "has the same path as"},
      {"duplicate_case", "has the same path as"},
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
  };
  for (const Case &c : table) {
    SCOPED_TRACE(c.archive);
    Scratch scratch;
    // Deep enough that every climb of the corpus would land inside the scratch folder.
    fs::path folder = scratch.root() / "a" / "b" / "c" / "tmp";
    fs::create_directories(folder);
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

} // namespace
