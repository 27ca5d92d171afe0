#pragma once

// File-system and shell helpers shared by the installer's operations. Paths are UTF-16, as Win32 takes them.

#include <windows.h>

#include <string>
#include <vector>

class InstallRecord;

bool folder_exists(const std::wstring &path);
// A file, not a folder.
bool file_exists(const std::wstring &path);
// Creates the folder with any missing parents; true when it exists afterwards. Each folder it created
// is appended to `created`, parents first.
bool create_folder(const std::wstring &path, std::vector<std::wstring> *created = nullptr);
// The file-system path of a shell folder (CSIDL_DESKTOP, CSIDL_COMMON_DESKTOPDIRECTORY...) through its item
// list; the empty text when it cannot be found.
std::wstring shell_folder(int csidl);

// The folder that a file entry's location code names: "system" (the 32-bit system folder from Windows
// 6 on), a text holding "pfiles" (Program Files of 32-bit programs put in its place), "desktop", or
// the code itself. `owner` is the window that asks the shell.
std::string target_folder(const std::string &local, HWND owner);
// The product's fixed folder tree, each folder created recorded in `record`.
void create_folder_tree(InstallRecord &record);
