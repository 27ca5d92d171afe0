#pragma once

// The reply document of the query service: root "retorno", the status first, then the result sets.

#include "Database.h"

#include <optional>
#include <string>
#include <vector>

namespace reply {

// "000" with the result set of one statement; "003" when a query found no rows. `last_id` is given
// for an INSERT.
std::string single(const StatementResult &result, std::optional<long long> last_id);

// "000" with one "script" element per statement. A statement without columns has an empty result set
// whose rows element tells in "afetados" how many rows it changed.
std::string script(const std::vector<StatementResult> &results);

// A failure: any status code but "000" and "003", and its message; in a script, the number of the
// statement that failed, counted from 1 (those before it ran).
std::string failure(const std::string &codigo, const std::string &mensagem,
                    std::optional<size_t> statement = std::nullopt);

} // namespace reply
