#pragma once

// What went wrong in one step of a run or of a removal: the operation, the object it acted on and why,
// printed one way in the log and in the boxes: "copiar c:\Velacorte\x.exe: em uso".

#include "Exception.h"

#include <string>

struct Failure {
  std::string operation; // "copiar", "baixar", "desempacotar"…
  std::string object;    // a path, a link, a key; may be empty
  std::string reason;    // "em uso", "abandonado"…; empty when `object` says it all

  // "operation object: reason"; without an object "operation: reason", without a reason "operation
  // object".
  std::string text() const {
    return operation + (object.empty() ? "" : " " + object) + (reason.empty() ? "" : ": " + reason);
  }
};

// A failure that ends the step it happened in, for the callers that pass it on as an exception.
class FailureError : public Exception {
public:
  explicit FailureError(Failure failure) : Exception(failure.text()), failure_(std::move(failure)) {}
  const Failure &failure() const { return failure_; }

private:
  Failure failure_;
};
