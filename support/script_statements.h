#pragma once

// The statements of an SQL script as the query service runs them one by one.

#include <string>
#include <vector>

// Cut at each ";" outside quotes ('...', "..." and `...`); blank statements are left out.
std::vector<std::string> script_statements(const std::string &script);
