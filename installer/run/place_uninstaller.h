#pragma once

#include "product.h"

class TForm1;

namespace run {

inline constexpr const char *kUninstallerPath = product::kUninstaller;

// Writes the uninstaller that the program carries to "c:\Velacorte\Uninstall.exe", unless this run
// placed a file of that name from the file list, which wins as any product file does.
void place_uninstaller(TForm1 &form);

} // namespace run
