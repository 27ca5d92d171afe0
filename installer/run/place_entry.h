#pragma once

// The placement of one file entry: its archive unpacked in the temporary folder, its file copied into
// the target folder, with its desktop shortcut.

#include "failure.h"

#include <optional>
#include <string>

class TForm1;

// The columns of a file entry that its placement reads.
struct FileEntry {
  std::string arquivo;
  std::string local;
  std::string check_id;
  std::string atalho;
  std::string nome_atalho;
  // The row offers the archive's digest: the archive stays in the temporary folder once unpacked, for a
  // later run to use again until a run places every entry.
  bool archive_checked = false;
};

// Whether a name from the file list, joined to the temporary or the target folder, stays below it: a
// relative path that neither climbs out nor names a drive, the rule for the names inside an archive.
bool stays_below(const std::string &name);

// Places the entry. When it cannot be placed: the reason, which names the operation and its object
// ("copiar c:\Velacorte\Velacorte.exe: em uso"). The unpacked file never stays in the temporary folder.
std::optional<Failure> place_entry(TForm1 &form, const FileEntry &entry);
