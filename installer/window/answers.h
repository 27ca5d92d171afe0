#pragma once

// Who answers the run's questions and reads its messages. With a person at the window: message boxes,
// without an owner and with an empty title. In an unattended run the installer answers for the
// operator, and what a box would have said goes to the install log instead.

#include "install_log.h"

#include <windows.h>

#include <string>

class Answers {
public:
  // A person at the window.
  Answers() = default;
  // No person: a retry question is answered Yes while fewer than `rounds` rounds of attempts were
  // had, then No.
  static Answers unattended(int rounds);

  bool unattended() const { return rounds_ > 0; }

  // A Yes/No/Cancel question after `rounds_had` rounds of three failed attempts; the answer (IDYES...)
  // and the question go to the log.
  int ask(InstallLog &log, const std::wstring &question, UINT icon, int rounds_had) const;
  // A message with one OK button; unattended, only the log gets it.
  void tell(InstallLog &log, const std::wstring &message, UINT icon) const;

private:
  int rounds_ = 0;
};
