#pragma once

// The reply document of the query service: root "retorno", the status first, then the result sets.

#include "Database.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace reply {

// How values of text columns (type codes 253 and 254) that are not plain ASCII go out: UTF-8 after a
// byte-order mark, or ISO-8859-1 bytes without one, as a service on a Latin-1 database sends them.
enum class TextEncoding { utf8_with_mark, latin1 };

// The bytes that one value adds to a reply at most, counted as its row is read so that a reply past
// the limit is refused before it is built: its element's tags and its text as coded for type `tipo`.
// `bytes` nullptr is NULL.
std::size_t value_cost(std::string_view column, const std::string *bytes, int tipo);

// "000" with the result set of one statement; "003" when a query found no rows. `last_id` is given
// for an INSERT.
std::string single(const StatementResult &result, std::optional<long long> last_id,
                   TextEncoding encoding = TextEncoding::utf8_with_mark);

// "000" with one "script" element per statement. A statement without columns has an empty result set
// whose rows element tells in "afetados" how many rows it changed.
std::string script(const std::vector<StatementResult> &results,
                   TextEncoding encoding = TextEncoding::utf8_with_mark);

// A failure: any status code but "000" and "003", and its message; in a script, the number of the
// statement that failed, counted from 1 (those before it ran, but only what a script committed itself
// is kept).
std::string failure(const std::string &codigo, const std::string &mensagem,
                    std::optional<size_t> statement = std::nullopt);

} // namespace reply
