// What the Windows programs (the setup stub and the finaliser) replace of the
// C++ runtime to stay small. Linked into those programs only.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

// An uncaught exception ends the program as the default handler would, but
// without its message to a console a GUI program does not have, and without
// the symbol demangler that message needs (46 KB of every setup).
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The C++ library reports its own errors (a string too long, an index out of
// range) through these functions. Its definitions build std::logic_error and
// std::runtime_error, which keep their text in the library's older string
// type and bring a second string implementation (45 KB) into every setup.
// These raise the same kinds of exception where they carry no text, and a
// plain std::exception with the library's text otherwise; the program catches
// them all as std::exception.
namespace {
class ELibraryError : public std::exception {
 public:
  explicit ELibraryError(const char* Text) : text_(Text ? Text : "C++ library error") {}
  const char* what() const noexcept override { return text_; }

 private:
  const char* text_;  // the library passes literals
};
}  // namespace

namespace std {
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }
void __throw_bad_exception() { throw std::bad_exception(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_logic_error(const char* Text) { throw ELibraryError(Text); }
void __throw_range_error(const char* Text) { throw ELibraryError(Text); }
void __throw_domain_error(const char* Text) { throw ELibraryError(Text); }
void __throw_length_error(const char* Text) { throw ELibraryError(Text); }
void __throw_out_of_range(const char* Text) { throw ELibraryError(Text); }
void __throw_runtime_error(const char* Text) { throw ELibraryError(Text); }
void __throw_overflow_error(const char* Text) { throw ELibraryError(Text); }
void __throw_underflow_error(const char* Text) { throw ELibraryError(Text); }
void __throw_invalid_argument(const char* Text) { throw ELibraryError(Text); }
void __throw_out_of_range_fmt(const char* Format, ...) { throw ELibraryError(Format); }
}  // namespace std
