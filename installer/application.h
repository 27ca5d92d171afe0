#pragma once

// The program's message loop and its default failure report, shared by the window and the run.

#include <string>

namespace application {

// Runs the message loop until `terminate` is called or the queue receives WM_QUIT.
void run();
// Asks the message loop to end once the handler that is running returns.
void terminate();
bool terminated();
// Dispatches every pending message and returns; a request to end is remembered, not acted on.
void process_messages();

// The report of a failure that no handler caught: a message box with the text, a full stop added when
// its last character's code is above that of the full stop, the error icon and the program's name as
// title.
void show_failure(const std::string &text);
// The program's file name without its extension.
std::string title();

} // namespace application
