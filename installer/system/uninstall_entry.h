#pragma once

// The product's entry in Windows' list of installed programs, under HKEY_LOCAL_MACHINE.

#include <string>

class InstallLog;
class InstallRecord;

// Writes the entry's eleven values with `version` as DisplayVersion and records the entry. A list of
// programs that does not open goes to the log only; a key or value that cannot be written throws
// Exception.
void write_uninstall_entry(const std::string &version, InstallLog &log, InstallRecord &record);
