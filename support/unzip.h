#pragma once

#include "Exception.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

struct ExtractOptions {
  // What becomes of a file of the archive that is on disk already.
  enum class Existing {
    replace,
    keep,
    refuse_if_different, // stop before anything is written, naming the file
  };
  Existing existing = Existing::replace;
  // Set from elsewhere (a signal handler) to stop the extraction and undo it.
  const std::atomic<bool> *cancel = nullptr;
  // Called as data is written, with the bytes written so far and the bytes of all entries.
  std::function<void(uint64_t done, uint64_t total)> progress;
};

// The extraction was stopped through `ExtractOptions::cancel` and undone.
class ExtractionCancelled : public Exception {
public:
  using Exception::Exception;
};

// Unpacks the ZIP archive `archive` into `folder` (created when missing): every entry is written
// below the folder under its relative path in the archive, sub-folders are created as needed and
// existing files are replaced. UTF-8 paths. Each file takes the entry's time of last change.
//
// The whole archive is checked before anything is written, and each entry is written under a
// temporary name in the folder. Only once every entry has passed its CRC check do they take their
// real names, the files they replace being moved aside until the last one is in place. So an archive
// that fails, for whatever reason, leaves the folder as it was: no partial file, no older file lost,
// no new folder. An extraction cut short by the end of its process is undone by the next extraction
// into the same folder. Throws `Exception` with the reason, naming any file that could not be
// restored.
void extract_zip(const std::string &archive, const std::string &folder, const ExtractOptions &options = {});
