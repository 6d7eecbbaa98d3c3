// Text helpers shared by every layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/Bytes.h"
#include "platform/Text.h"

// Replaces every occurrence of Key in Source, comparing ASCII letters without
// regard to case and every other character exactly. The search goes on after
// each inserted replacement, so a replacement holding its own key terminates.
WideString ReplaceText(std::u16string_view Source, std::u16string_view Key, std::u16string_view Replacement);
std::string ReplaceText(std::string_view Source, std::string_view Key, std::string_view Replacement);

// ASCII lower-casing, as the package and the logs compare names.
std::string LowerAscii(std::string Text);
std::string UpperAscii(std::string Text);
bool SameTextAscii(std::string_view A, std::string_view B);
// Lower-casing of UTF-8 text as the Western code page's locale does it:
// ASCII and the Latin-1 letters; everything else is kept.
std::string LowerText(const std::string& Text);

// Appends "\" unless Path is empty or already ends with one.
std::string AddBackslash(const std::string& Path);
// Splits at the first "="; without one, Key is empty and Value the whole line.
void SplitKeyValue(const std::string& Line, std::string& Key, std::string& Value);
// Text as a decimal 32-bit integer (optional sign), or -1 when it is not one.
int32_t IntOrMinusOne(const std::string& Text);

// Decimal text of an integer. Out of line: std::to_string expands at every
// use, and a setup formats numbers into many of its messages.
std::string SignedText(int64_t Value);
std::string UnsignedText(uint64_t Value);
template <class T>
std::string DecimalText(T Value) {
  static_assert(std::is_integral_v<T>, "DecimalText takes an integer");
  if constexpr (std::is_signed_v<T>) {
    return SignedText(Value);
  } else {
    return UnsignedText(Value);
  }
}

// A byte count with two decimals and "Bytes", "KB", "MB" or "GB".
std::string FormatSize(uint64_t Bytes);
// Value (finite, 0 <= Value < 2^63) in fixed notation with two decimals,
// rounded as printf's "%.2f" rounds: to nearest, ties to even, on the exact
// binary value. Written out so a setup needs no printf.
std::string FixedTwoDecimals(double Value);
// General decimal text of Value (15 significant digits), ".0" appended when
// the text holds no ".".
std::string FloatToText(double Value);
// The same for an extended-precision value, computed without the C library's
// long double printing (which not every Windows runtime has).
std::string FloatToText(long double Value);

// Text is UTF-8 inside the program (see platform/Text.h for the edges).
using platform::Concat;
using platform::Utf8ToWide;
using platform::WideToUtf8;

// Wide <-> 8-bit for ASCII-only text (numbers, fixed English texts).
WideString AsciiToWide(const std::string& Text);
// A progress template with "<%ZUPNAME%>", "<%FNUM%>" and "<%FTOTAL%>" filled in.
WideString FillProgressText(const WideString& Template, const WideString& Name, uint64_t Done, uint64_t Total);
