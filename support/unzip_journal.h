#pragma once

// The journal of one run of the extraction, in the folder of unpacking. The run writes each line
// before the step it announces: the folders it makes while staging, then every move of its commit.
// A run that was killed is undone from it by the next one, which reads it as hostile input, since
// anybody who can write to the folder can write a journal.

#include <string>
#include <string_view>
#include <vector>

struct JournalMove {
  std::string staged; // names in the folder
  std::string aside;  // empty when no file was there to move aside
  std::string target; // relative path, components joined by '/'
};

struct JournalRecord {
  std::vector<std::string> folders; // relative paths, in the order they were made
  std::vector<JournalMove> moves;
};

// The journal's first line: the run's token and the identity of its folder.
std::string journal_header(std::string_view token, std::string_view folder_identity);
std::string journal_folder_line(std::string_view relative);
std::string journal_move_line(const JournalMove &move);

// What the journal `text` of the run `token` records. Throws `Exception` with the reason unless
// every line is one that such a run writes into the folder of that identity: paths that stay inside
// the folder, staged and aside names of that run only. A last line without its end was never
// finished, so the step it announces was not taken; it is left out.
JournalRecord read_journal(std::string_view text, std::string_view token, std::string_view folder_identity);
