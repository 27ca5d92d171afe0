#pragma once

// The partial body of a download beside its target (target + ".parcial"), and the record of the reply
// that began it (target + ".parcial.info": the URL, the total it announced and its validators, one per
// line), so that a later download, in this run or the next, continues it.

#include "HttpClient.h"

#include <windows.h>

#include <string>

class KeptBody {
public:
  explicit KeptBody(const std::wstring &target);
  ~KeptBody();
  KeptBody(const KeptBody &) = delete;
  KeptBody &operator=(const KeptBody &) = delete;

  // What an earlier download of `url` left; nothing when it was of another URL or its record is gone.
  PartialBody kept_for(const std::string &url) const;
  // Opens the partial body for the pieces that start at `offset`, dropping anything kept past it; a
  // body from 0 gets a new record, from `reply`, first.
  void begin(const std::string &url, const PartialBody &reply, int64_t offset);
  void write(const char *data, size_t size);
  // Moves the whole body to `target` and drops the record.
  void commit(const std::wstring &target);
  // Leaves nothing that a later download could continue.
  void discard();

private:
  std::string read_record() const;
  void write_record(const std::string &record);

  std::wstring path, record_path;
  HANDLE file = INVALID_HANDLE_VALUE;
};
