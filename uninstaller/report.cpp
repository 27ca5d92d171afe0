#include "report.h"

#include "messages.h"

namespace uninstall {

std::string report_text(const std::vector<Kept> &kept, const std::string &log_path) {
  std::string text = message::kRemoved;
  if (kept.empty())
    return text;
  text += std::string("\n\n") + message::kKeptHeading;
  for (size_t i = 0; i < kept.size() && i < kKeptShown; ++i)
    text += "\n" + kept[i].object + ": " + kept[i].reason;
  if (kept.size() > kKeptShown)
    text += "\n... e mais " + std::to_string(kept.size() - kKeptShown) + " (ver " + log_path + ")";
  return text;
}

} // namespace uninstall
