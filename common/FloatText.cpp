// The C library's general form of a double. In a file of its own: a setup
// does not use it, and a Windows program links every function of an object
// it uses (the unwind tables refer to them all), so keeping it beside the
// rest of Strings would bring the whole printf family into every setup.
#include <cstdio>
#include <string>

#include "common/Strings.h"

std::string FloatToText(double Value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.15g", Value);
  std::string s = text;
  // "1e+20" is written "1E20", "1e-05" "1E-5".
  size_t e = s.find('e');
  if (e != std::string::npos) {
    std::string mantissa = s.substr(0, e);
    std::string exponent = s.substr(e + 1);
    bool negative = !exponent.empty() && exponent[0] == '-';
    size_t digits = exponent.find_first_not_of("+-0");
    s = Concat({mantissa, "E", (negative ? "-" : ""), (digits == std::string::npos ? "0" : exponent.substr(digits))});
  }
  if (s.find('.') == std::string::npos) s += ".0";
  return s;
}
