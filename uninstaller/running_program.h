#pragma once

// Whether one of the product's programs runs now, found by the full path of each process's program file.

#include <optional>
#include <string>
#include <vector>

// The first of `programs` (full paths, UTF-8) that a running process was started from.
std::optional<std::string> running_program(const std::vector<std::string> &programs);
