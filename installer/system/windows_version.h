#pragma once

#include <windows.h>

// The version of Windows as GetVersionExW reports it to this program, which its manifest decides.
OSVERSIONINFOW windows_version();
