#pragma once

// Routines of the query client that work on the reply and request texts; kept apart from TDataXML so
// that each can be checked on its own.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reply_text {

// Position of the first occurrence of `lower_needle` in `text` read with its ASCII letters
// lower-cased, at or after `from`; npos when absent. `text` itself is not copied.
size_t find_lowered(std::string_view text, std::string_view lower_needle, size_t from = 0);

// The status code of a reply: "000" or "003" when the reply holds that code anywhere, else the text
// between the first "<codigo>" and the first "</codigo>". Throws Exception when "<codigo>" is absent.
std::string status_code(std::string_view reply);

// The text of an element, found in the lower-cased reply: between the first ">" after the first "<"
// + name and the next "<", lower-cased, double quotes removed. Throws Exception when "<" + name is
// absent; nullopt when no ">" follows it.
std::optional<std::string> element_text(std::string_view reply, std::string_view lower_name);

// The text between the two double quotes that follow "select rows=" in the lower-cased reply. Throws
// Exception when there is no such text.
std::string select_rows(std::string_view reply);

// Decimal text (an optional sign, then digits only) to a number; Exception when it is not one or is
// out of range.
int32_t to_int32(std::string_view text);
int64_t to_int64(std::string_view text);

// A row count: decimal digits only, within 32 bits. Exception naming the text otherwise, a sign
// included: no result set holds a negative number of rows.
int32_t to_row_count(std::string_view text);

// Decodes base64 into bytes, skipping every character outside the alphabet. The in-place form reuses
// the text's own storage.
std::string decode_base64(std::string_view text);
void decode_base64_in_place(std::string &text);

// Decodes base64 into `bytes`, refusing what an encoder would not have written: only blanks and line
// breaks may stand between the characters of the alphabet, "=" only pads the last group. False,
// with `bytes` empty, for anything else.
bool decode_base64_strict(std::string_view text, std::string &bytes);

// Decoded bytes as UTF-8 text: after a byte-order mark in its encoding (UTF-8, UTF-16 LE or BE),
// else read as Windows-1252. nullopt for bytes that their UTF-8 mark does not describe.
std::optional<std::string> decoded_text(std::string bytes);

// Inflates a zlib stream (RFC 1950) to its end. Exception when it is corrupt, truncated or larger
// than a reply can be.
std::string inflate_zlib(std::string_view compressed);

// Substitutes each "name=value" entry, in order, into `sql`: ":" + name, matched without regard to
// case and not followed by a letter, digit or "_", becomes the trimmed value as an SQL string literal.
std::string substitute_parameters(std::string sql, const std::vector<std::string> &entries);

// The service password of a day: "ddmmyyyy" read as a decimal number, in upper-case hexadecimal.
std::string daily_password(int day, int month, int year);

// The password of the local date at `when`, and now. The local date, not the UTC one: the service
// checks the day its own clock shows.
std::string password_at(std::time_t when);
std::string todays_password();

// A date and time as the runtime's date-time value. Exception when it is not a valid date and time.
double encode_date_time(int year, int month, int day, int hour, int minute, int second);

} // namespace reply_text
