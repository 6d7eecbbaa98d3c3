// The program's exception: raised for malformed records, files that cannot be
// read where the caller needs them, and failed internal checks.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

// Derived from std::exception with its own text, not from std::runtime_error:
// that one keeps its text in the library's older string type, which would
// carry a second string implementation into every setup.
class ESetupError : public std::exception {
 public:
  // Out of line, as is the destructor: a setup raises this in many places.
  explicit ESetupError(std::string Message);
  ESetupError(const ESetupError&) = default;
  ~ESetupError() override;
  const char* what() const noexcept override;

 private:
  std::string message_;
};

// Raises ESetupError with the pieces joined: one call where a throw site
// would join its message, allocate and build the exception inline.
[[noreturn]] void RaiseSetupError(std::initializer_list<std::string_view> Pieces);
