#pragma once

// Resource identifiers of the installer window.
#define IDR_BANNER 101
// Uninstall.exe, which the installer writes beside the product.
#define IDR_UNINSTALLER 102
