#pragma once

// The download of one file entry's archive into the temporary folder, checked against the digest that
// its row offers.

#include "failure.h"

#include <optional>
#include <string>
#include <vector>

class TForm1;
class TDataXML;

namespace run {

// Fetches the archive of the entry under the cursor, or takes the one an earlier run left, and advances
// the total bar. Nothing when the archive is in place; otherwise why it is not: given up, or a digest
// that is not one, for which nothing is fetched.
std::optional<Failure> fetch_entry_archive(TForm1 &form, TDataXML &files);

// Whether the row under the cursor offers a valid digest of its archive, which then outlives its
// unpacking.
bool offers_digest(TDataXML &files);

// The archives kept for their digests go once a run has placed every entry; until then a later run
// takes them instead of fetching them again.
void settle_kept_archives(TForm1 &form, const std::vector<std::string> &archives, bool every_entry_placed);

// The archives at fixed paths come without a digest from the service: the log says so once per run.
void note_unchecked_fixed_archives(TForm1 &form);

} // namespace run
