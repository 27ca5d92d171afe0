#pragma once

// Desktop shortcuts to placed files, through the shell's link object.

#include <string>

class InstallRecord;

// Saves "<name>.lnk" on the user's desktop, opening `target` in its own folder, after removing a link of
// that name from both desktops; the link is recorded. False when no desktop is found or the link cannot
// be saved; a shell link object that cannot be made throws Exception.
bool make_desktop_shortcut(const std::string &target, const std::string &name, InstallRecord &record);
