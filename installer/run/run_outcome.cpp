#include "run_outcome.h"

#include "messages.h"

namespace {
RunEnding latest = RunEnding::NoRun;
}

int exit_code(RunEnding ending) {
  switch (ending) {
  case RunEnding::Completed:
    return kExitCompleted;
  case RunEnding::NoRun:
    return kExitNoRun;
  case RunEnding::AlreadyRunning:
    return kExitAlreadyRunning;
  case RunEnding::CompletedWithFailures:
  case RunEnding::Failed:
    break;
  }
  return kExitFailed;
}

void record_ending(RunEnding ending) {
  latest = ending;
}

RunEnding last_ending() {
  return latest;
}

void RunOutcome::not_placed(const std::string &file, const std::string &reason) {
  failures_.push_back({file, reason});
}

RunEnding RunOutcome::ending() const {
  return failures_.empty() ? RunEnding::Completed : RunEnding::CompletedWithFailures;
}

std::string RunOutcome::summary(const std::string &log_path) const {
  std::string text = std::string(message::kNotPlacedHeading) + "\r\n";
  for (size_t i = 0; i < failures_.size() && i < kNamesShown; ++i)
    text += failures_[i].file + ": " + failures_[i].reason + "\r\n";
  if (failures_.size() > kNamesShown)
    text += "... e mais " + std::to_string(failures_.size() - kNamesShown) + "\r\n";
  text += "\r\nTotal: " + std::to_string(failures_.size()) + " não instalado(s), " + std::to_string(placed_) +
          " instalado(s).\r\n" + message::kLogIsAt + log_path;
  return text;
}
