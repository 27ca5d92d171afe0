#pragma once

#include <stdexcept>
#include <string>

// The system's base error type: every failure that the program reports to a person carries its
// message text (UTF-8) in one of these.
class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string &message) : std::runtime_error(message) {}
};
