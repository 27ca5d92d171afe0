#pragma once

// The statements of a script as the query service cuts it, for naming the one that failed.

#include <string>
#include <vector>

// Cut at each ";" outside quotes ('...', "..." and `...`); blank statements are left out.
std::vector<std::string> script_statements(const std::string &script);

// A statement as a message names it: its first 60 characters on one line, "..." when cut.
std::string statement_excerpt(const std::string &statement);
