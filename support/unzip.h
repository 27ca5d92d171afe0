#pragma once

#include <string>

// Unpacks the ZIP archive `archive` into `folder` (created when missing): every entry is written
// below the folder under its relative path in the archive, sub-folders are created as needed and
// existing files are replaced. UTF-8 paths.
//
// The whole archive is checked before anything is written, and each entry is written under a
// temporary name; the entries take their real names only once every one of them has passed its CRC
// check. So an archive that fails, for whatever reason, leaves the folder as it was: no partial
// file, no older file lost, no new folder. Throws `Exception` with the reason.
void extract_zip(const std::string &archive, const std::string &folder);
