#pragma once

// The uninstaller's closing message: what it kept and why.

#include <string>
#include <vector>

namespace uninstall {

struct Kept {
  std::string object;
  std::string reason;
};

// Names in the message; the install log holds them all.
inline constexpr size_t kKeptShown = 15;

std::string report_text(const std::vector<Kept> &kept, const std::string &log_path);

} // namespace uninstall
