#pragma once

// The download of one file entry's archive into the temporary folder, checked against the digest that
// its row offers.

#include "failure.h"

#include <optional>
#include <string>

class TForm1;
class TDataXML;

namespace run {

// Fetches the archive of the entry under the cursor, or takes the one an earlier run left, and advances
// the total bar. Nothing when the archive is in place; otherwise why it is not: given up, or a digest
// that is not one, for which nothing is fetched.
std::optional<Failure> fetch_entry_archive(TForm1 &form, TDataXML &files);

// The archives at fixed paths come without a digest from the service: the log says so once per run.
void note_unchecked_fixed_archives(TForm1 &form);

} // namespace run
