#include "statement_excerpt.h"

#include "text.h"

std::string statement_excerpt(const std::string &statement) {
  std::string line;
  size_t characters = 0;
  for (char c : text::trim_controls(statement)) {
    const bool starts_character = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts_character && ++characters > 60)
      return line + "...";
    line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  }
  return line;
}
