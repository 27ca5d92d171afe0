#pragma once

// The program's message loop and its default failure report, shared by the window and the run.

#include "Exception.h"

#include <string>

namespace application {

// Runs the message loop until `terminate` is called or the queue receives WM_QUIT.
void run();
// Asks the message loop to end once the handler that is running returns.
void terminate();
bool terminated();
// Dispatches every pending message and returns; a request to end is remembered, not acted on.
void process_messages();
// Waits `milliseconds`, processing pending messages at least every `kMessageInterval` ms meanwhile, so
// that the window paints and answers during a long step.
void wait_processing_messages(unsigned long milliseconds);
inline constexpr unsigned long kMessageInterval = 100;

// The report of a failure that no handler caught: a message box with the text, a full stop added when
// its last character's code is above that of the full stop, then `note` in a paragraph of its own when
// there is one, the error icon and the program's name as title.
void show_failure(const std::string &text, const std::string &note = {});

// A failure whose report carries a note after its text: where the run's log lies.
class NotedFailure : public Exception {
public:
  NotedFailure(const std::string &text, std::string note) : Exception(text), note_(std::move(note)) {}
  const std::string &note() const { return note_; }

private:
  std::string note_;
};
// The program's file name without its extension.
std::string title();

} // namespace application
