// velacorte-unzip: unpacks, lists or checks a ZIP archive with the installer's own routine.

#include "interrupt.h"
#include "messages.h"
#include "unzip.h"
#include "zip_archive.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#ifdef _WIN32
#include "text.h"
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int exit_usage = 2;
constexpr int exit_interrupted = 130;
constexpr uint64_t progress_threshold = 10 << 20;

std::string local_time(int64_t time) {
  std::time_t when = static_cast<std::time_t>(time);
  std::tm parts{};
#ifdef _WIN32
  bool known = localtime_s(&parts, &when) == 0;
#else
  bool known = localtime_r(&when, &parts) != nullptr;
#endif
  char text[32] = "-";
  if (known)
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
  return text;
}

int list(const std::string &archive) {
  ZipArchive zip(archive);
  std::printf(messages::list_header, messages::size_column, messages::compressed_column,
              messages::date_column, messages::name_column);
  uint64_t size = 0, compressed = 0;
  for (const ZipEntry &entry : zip.entries()) {
    std::string name = entry.target.path + (entry.target.is_folder ? "/" : "");
    std::printf(messages::list_line, entry.size, entry.compressed_size, local_time(entry.modified).c_str(),
                name.c_str());
    size += entry.size;
    compressed += entry.compressed_size;
  }
  std::printf(messages::list_totals, size, compressed, "", zip.entries().size());
  return 0;
}

int check(const std::string &archive) {
  ZipArchive zip(archive);
  for (const ZipEntry &entry : zip.entries())
    zip.read(entry, [](const char *, size_t) {});
  std::printf(messages::check_passed, archive.c_str(), zip.entries().size());
  return 0;
}

// One line on the terminal, rewritten as each whole percent is reached.
class ProgressLine {
public:
  void operator()(uint64_t done, uint64_t total) {
    if (total < progress_threshold)
      return;
    int percent = static_cast<int>(done * 100 / total);
    if (percent == shown_)
      return;
    shown_ = percent;
    std::fprintf(stderr, messages::progress, percent, done >> 20, total >> 20);
    if (percent == 100)
      std::fputc('\n', stderr);
  }

private:
  int shown_ = -1;
};

int unpack(const std::string &archive, const std::string &folder, ExtractOptions::Existing existing) {
  static std::atomic<bool> interrupted{false};
  stop_on_interrupt(interrupted);
  ExtractOptions options;
  options.existing = existing;
  options.cancel = &interrupted;
  if (isatty(fileno(stderr)))
    options.progress = ProgressLine();
  try {
    extract_zip(archive, folder, options);
  } catch (const ExtractionCancelled &e) {
    std::fprintf(stderr, messages::interrupted, e.what());
    return exit_interrupted;
  }
  return 0;
}

int run(const std::vector<std::string> &args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(messages::usage, stdout);
    return 0;
  }
  try {
    if (args.size() == 2 && args[0] == "-l")
      return list(args[1]);
    if (args.size() == 2 && args[0] == "-t")
      return check(args[1]);
    if (args.size() == 2)
      return unpack(args[0], args[1], ExtractOptions::Existing::refuse_if_different);
    if (args.size() == 3 && (args[0] == "-n" || args[0] == "-o"))
      return unpack(args[1], args[2],
                    args[0] == "-n" ? ExtractOptions::Existing::keep : ExtractOptions::Existing::replace);
  } catch (const std::exception &e) {
    std::fprintf(stderr, messages::failure, e.what());
    return 1;
  }
  std::fputs(messages::usage, stderr);
  return exit_usage;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t **argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(text::narrow(argv[i]));
  return run(args);
}
#else
int main(int argc, char **argv) {
  return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
