#pragma once

// The processes running now, from one toolhelp snapshot. Windows only.

#include <windows.h>

#include <functional>
#include <string_view>

// Calls `visit` with the id and the program file name (as the snapshot gives it) of each process, until
// `visit` returns false or none is left. False when no snapshot could be taken.
bool for_each_process(const std::function<bool(DWORD id, std::wstring_view exe)> &visit);
