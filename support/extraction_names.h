#pragma once

// The names of an extraction's own files in the folder of unpacking: the lock that tells a run at
// work from one that has ended, the journal of its moves, its staged files and the files it moves
// aside. Each carries the run's random token, so that no two runs share a name.

#include <cstdint>
#include <string>
#include <string_view>

enum class ExtractionFile { lock, journal, staged, aside };

// A run's token: random, fixed length, lower-case hexadecimal.
std::string new_run_token();

// ".vzlock-" + token for the lock; kind + token + "-" + the sequence number for the others.
std::string extraction_name(ExtractionFile kind, std::string_view token, uint32_t sequence = 0);

struct ParsedExtractionName {
  ExtractionFile kind{};
  std::string token;
};
// Recognises the names `extraction_name` makes, and no other.
bool parse_extraction_name(std::string_view name, ParsedExtractionName &parsed);

// Whether a file or folder of that name, in any letter case, could be taken for one of an
// extraction's own files: no archive may hold such a name.
bool is_extraction_name(std::string_view component);
