#pragma once

// How a run ended, what it could not place and the program's exit code, in the values that deployment
// tools read from installers.

#include <string>
#include <vector>

enum class RunEnding {
  NoRun,                 // the window was closed without a run
  Completed,             // "Concluído"
  CompletedWithFailures, // "Concluído com falhas": some files were not placed
  Failed,                // a failure ended the run
  AlreadyRunning,        // another installer was running
};

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 1603;
inline constexpr int kExitNoRun = 1602;
inline constexpr int kExitAlreadyRunning = 1618;
// A command line that the installer does not understand (ERROR_INVALID_PARAMETER).
inline constexpr int kExitInvalidParameter = 87;

int exit_code(RunEnding ending);

// The ending of the program's latest run, which its exit code reports.
void record_ending(RunEnding ending);
RunEnding last_ending();

struct NotPlaced {
  std::string file;
  std::string reason; // names the operation that failed and its object
};

// The count of one run: files placed and files (or component packages) not placed, with the reasons.
class RunOutcome {
public:
  // Names in the summary box; the log holds them all.
  static constexpr size_t kNamesShown = 10;

  void placed() { ++placed_; }
  void not_placed(const std::string &file, const std::string &reason);

  int placed_count() const { return placed_; }
  const std::vector<NotPlaced> &failures() const { return failures_; }
  RunEnding ending() const;
  // The text of the summary box of a run with failures.
  std::string summary(const std::string &log_path) const;

private:
  int placed_ = 0;
  std::vector<NotPlaced> failures_;
};
