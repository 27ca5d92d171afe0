#pragma once

#include <atomic>

// Turns Ctrl+C, SIGINT, SIGTERM and SIGHUP, and on Windows the closing of the console, into a request that
// the program stops: `flag` is set, and the program undoes its work and ends. A closing console
// gives the program a few seconds to do so.
void stop_on_interrupt(std::atomic<bool> &flag);
