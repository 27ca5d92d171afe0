#pragma once

#include <string>

// A statement as a message names it: its first 60 characters on one line, "..." when cut.
std::string statement_excerpt(const std::string &statement);
