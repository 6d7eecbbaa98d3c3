// The program's exception: raised for malformed records, files that cannot be
// read where the caller needs them, and failed internal checks.
#pragma once

#include <stdexcept>
#include <string>

class ESetupError : public std::runtime_error {
 public:
  explicit ESetupError(const std::string& Message) : std::runtime_error(Message) {}
};
