#pragma once

// Resource identifiers of the installer window.
#define IDR_BANNER 101
// The program's icon, drawn after the banner's emblem: the file's icon in Explorer and the window's.
#define IDI_INSTALLER 102
// Uninstall.exe, which the installer writes beside the product.
#define IDR_UNINSTALLER 103
