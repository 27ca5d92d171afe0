#pragma once

// What the uninstaller may remove, decided from paths and contents alone. The manifest is not trusted:
// every path it names passes these rules before anything is done with it.

#include "file_digest.h"
#include "install_manifest.h"

#include <optional>
#include <string>
#include <vector>

namespace uninstall {

enum class Verdict {
  Remove,  // a product object, unchanged
  Missing, // already gone: nothing to do
  Changed, // changed by the user after the install
  Data,    // the shop's data: the data folder and the token file
  Shared,  // outside the product folder, where other programs share files
  Refused, // a name that does not say plainly which file it is
  Own,     // the uninstaller's records: the install log and the manifest
};

// The reason that the report gives for an object kept ("alterado depois da instalação"...).
const char *reason(Verdict verdict);

// Whether `path` names a place below "c:\Velacorte" in a plain spelling: a drive path with no empty,
// "." or ".." component, no component that Windows would read as another (trailing dots or blanks, a
// stream after ':', a short "NAME~1" alias), and no wildcard. The folded components below the product
// folder; nothing when the path is refused or elsewhere.
std::optional<std::vector<std::string>> below_product_folder(const std::string &path);

// The verdict on a path by its name alone: Remove, Data, Shared, Refused or Own.
Verdict path_verdict(const std::string &path);

// The verdict on a placed file: `final_path` is where the file's name leads now (through any junction
// or link), `now` its current content, nothing when it is gone.
Verdict file_verdict(const manifest::Entry &recorded, const std::string &final_path,
                     const std::optional<FileDigest> &now);

// Whether a shortcut at `link` that opens `target` is the product's: a ".lnk" file directly in one of
// the desktop folders, opening a file below the product folder.
bool is_product_shortcut(const std::string &link, const std::string &target,
                         const std::vector<std::string> &desktops);

// The folders to try to remove once empty, deepest first: the product's folder tree, the folders that
// the manifest names and the folders of its files, and the product folder itself; all below the product
// folder and outside the data folder.
std::vector<std::string> folders_to_try(const std::vector<manifest::Entry> &entries);

} // namespace uninstall
