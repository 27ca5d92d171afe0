#pragma once

// The keys of dataxml's JSON objects: the column names, made distinct.

#include <string>
#include <vector>

// A name's later occurrences become NAME_2, NAME_3 and so on, passing over any suffixed name that
// another column already has; `notes` gets one line per renamed column.
std::vector<std::string> json_keys(const std::vector<std::string> &names, std::vector<std::string> &notes);
