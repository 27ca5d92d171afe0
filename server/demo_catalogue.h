#pragma once

// The sample catalogue of `--demo`: the product's file list in "sistema.check_files", a sample
// table, and the archives that the list and the installer's fixed paths name.

#include "Database.h"

#include <filesystem>
#include <string>

// `base_url` ("http://ADDR:PORT") is where the archives' links point. Archives already present in
// `files` are kept, so a caller can put its own stand-ins there before the service starts. The list's
// `sha256` column holds the digest of each archive as it lies in `files`; without `with_sha256` the list
// has no such column, as services before it had.
void build_demo_catalogue(Database &database, const std::filesystem::path &files, const std::string &base_url,
                          bool with_sha256 = true);
