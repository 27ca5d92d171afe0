#pragma once

#include <windows.h>

#include <string>

// The text of a Windows error code for logs and reports: "em uso" for a file that another program holds
// (a sharing or lock violation), else the system's text with the code.
std::string windows_error_text(DWORD error);
