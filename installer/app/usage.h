#pragma once

// The usage of Install.exe, for /? and for a command line that it refuses: on standard output (or
// standard error for a refusal) when the program has one, and in a message box unless no window may
// be shown.

#include <string>

void show_usage(const std::string &error, bool box);
