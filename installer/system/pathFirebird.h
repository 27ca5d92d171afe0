#pragma once

#include <string>

// The folder above the "bin" folder of the installed Firebird server, without a closing backslash, as
// its service entry's "ImagePath" tells it; empty when there is no entry or the path is too short.
// Throws Exception when "ImagePath" is not text.
std::string pathFirebird();

// The folder rule applied to an "ImagePath" command line: every piece but the last two (normally
// "bin" and the program with its arguments), joined with "\", double quotes removed.
std::string firebird_folder_from_image_path(const std::string &image_path);
