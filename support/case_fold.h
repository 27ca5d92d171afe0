#pragma once

#include <string>
#include <string_view>

namespace text {

// The text with Unicode's simple case folding applied to each character: two names that Windows
// (NTFS) takes for one file fold to the same text. Invalid UTF-8 sequences become U+FFFD.
std::string fold_case(std::string_view utf8);

} // namespace text
