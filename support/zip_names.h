#pragma once

// The names of ZIP entries, turned into paths that stay inside the folder of unpacking and that
// Windows can hold.

#include <string>
#include <string_view>

struct EntryPath {
  std::string path; // relative, UTF-8, components joined by '/'; empty for the folder itself
  bool is_folder = false;
};

// Decodes an entry's raw name (UTF-8 when the archive's flag says so, code page 437 otherwise),
// takes "\" and "/" as separators and drops empty and "." components. Throws `Exception` with the
// reason when the name is absolute, names a drive, climbs out with "..", or holds what Windows
// forbids in a file name (control characters, <>:"|?*, a trailing dot or blank, device names), is
// longer than any Windows path, or has a component named like unpacking's own files.
EntryPath entry_path(std::string_view raw_name, bool utf8);
