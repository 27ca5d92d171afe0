#pragma once

// File-system and shell helpers shared by the installer's operations. Paths are UTF-16, as Win32 takes them.

#include <string>
#include <vector>

bool folder_exists(const std::wstring &path);
// A file, not a folder.
bool file_exists(const std::wstring &path);
// Creates the folder with any missing parents; true when it exists afterwards. Each folder it created
// is appended to `created`, parents first.
bool create_folder(const std::wstring &path, std::vector<std::wstring> *created = nullptr);
// The file-system path of a shell folder (CSIDL_DESKTOP, CSIDL_COMMON_DESKTOPDIRECTORY...) through its item
// list; the empty text when it cannot be found.
std::wstring shell_folder(int csidl);
