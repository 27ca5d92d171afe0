#pragma once

// The removal of the product by the manifest of its installs: placed files that are unchanged, the
// product's shortcuts, its uninstall entry, its folders once empty and, last, the uninstaller itself.

#include "product.h"
#include "report.h"

#include <string>
#include <vector>

class InstallLog;

namespace uninstall {

inline constexpr const char *kManifestPath = product::kManifest;

struct Outcome {
  // Set when a product program runs: then nothing was removed.
  std::string running;
  std::vector<Kept> kept;
};

Outcome remove_product(InstallLog &log);

} // namespace uninstall
