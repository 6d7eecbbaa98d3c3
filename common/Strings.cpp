#include "common/Strings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

template <typename Char>
Char LowerChar(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <typename Str, typename View>
Str ReplaceAll(View source, View key, View replacement) {
  if (key.empty()) return Str(source);
  Str result;
  result.reserve(source.size());
  size_t pos = 0;
  size_t copied = 0;
  while (pos + key.size() <= source.size()) {
    size_t i = 0;
    while (i < key.size() && LowerChar(source[pos + i]) == LowerChar(key[i])) ++i;
    if (i == key.size()) {
      result.append(source, copied, pos - copied);
      result += replacement;
      pos += key.size();
      copied = pos;
    } else {
      ++pos;
    }
  }
  result += source.substr(copied);
  return result;
}

}  // namespace

WideString ReplaceText(std::u16string_view Source, std::u16string_view Key, std::u16string_view Replacement) {
  return ReplaceAll<WideString>(Source, Key, Replacement);
}

std::string ReplaceText(std::string_view Source, std::string_view Key, std::string_view Replacement) {
  return ReplaceAll<std::string>(Source, Key, Replacement);
}

std::string LowerAscii(std::string Text) {
  for (char& c : Text) c = LowerChar(c);
  return Text;
}

std::string UpperAscii(std::string Text) {
  for (char& c : Text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return Text;
}

bool SameTextAscii(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    if (LowerChar(A[i]) != LowerChar(B[i])) return false;
  }
  return true;
}

std::string LowerText(const std::string& Text) {
  std::string out = Text;
  for (size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<uint8_t>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      // U+00C0..U+00DE (but U+00D7, the multiplication sign) as C3 80..C3 9E.
      auto t = static_cast<uint8_t>(out[i + 1]);
      if (t >= 0x80 && t <= 0x9E && t != 0x97) out[i + 1] = static_cast<char>(t + 32);
      ++i;
    }
  }
  return out;
}

std::string AddBackslash(const std::string& Path) {
  if (Path.empty() || Path.back() == '\\') return Path;
  return Path + "\\";
}

void SplitKeyValue(const std::string& Line, std::string& Key, std::string& Value) {
  size_t eq = Line.find('=');
  if (eq == std::string::npos) {
    Key.clear();
    Value = Line;
  } else {
    Key = Line.substr(0, eq);
    Value = Line.substr(eq + 1);
  }
}

int32_t IntOrMinusOne(const std::string& Text) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  if (i == Text.size()) return -1;
  int64_t value = 0;
  for (; i < Text.size(); ++i) {
    if (Text[i] < '0' || Text[i] > '9') return -1;
    value = value * 10 + (Text[i] - '0');
    if (value > 2147483648LL) return -1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return -1;
  return static_cast<int32_t>(value);
}

std::string SignedText(int64_t Value) { return std::to_string(Value); }

std::string UnsignedText(uint64_t Value) { return std::to_string(Value); }

std::string FormatSize(uint64_t Bytes) {
  static const char* const kUnits[] = {"Bytes", "KB", "MB", "GB"};
  double v = static_cast<double>(Bytes);
  int unit = 0;
  bool stopped = false;
  for (int i = 0; i < 3; ++i) {
    v /= 1024;
    if (std::trunc(v) > 0) {
      ++unit;
    } else {
      stopped = true;
      break;
    }
  }
  if (stopped) v *= 1024;
  // Fixed notation with at most 7 significant digits, then two decimals.
  int digits = v >= 1 ? static_cast<int>(std::floor(std::log10(v))) + 1 : 1;
  if (digits > 5) {
    // 10^(digits - 7): 0.1, or a power of ten a double holds exactly.
    double scale = digits == 6 ? 0.1 : 1;
    for (int i = 7; i < digits; ++i) scale *= 10;
    v = std::round(v / scale) * scale;
  }
  return Concat({FixedTwoDecimals(v), " ", kUnits[unit]});
}

std::string FixedTwoDecimals(double Value) {
  // Value = Mantissa / 2^Shift exactly, with a 53-bit integer mantissa.
  int exponent = 0;
  double fraction = std::frexp(Value, &exponent);
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  int shift = 53 - exponent;
  uint64_t whole = 0, hundredths = 0;
  if (shift <= 0) {
    whole = mantissa << -shift;
  } else if (shift < 64) {
    whole = mantissa >> shift;
    uint64_t mask = (uint64_t{1} << shift) - 1;
    uint64_t scaled = (mantissa & mask) * 100;  // below 2^60
    uint64_t rest = scaled & mask, half = uint64_t{1} << (shift - 1);
    hundredths = scaled >> shift;
    if (rest > half || (rest == half && (hundredths & 1))) ++hundredths;
    if (hundredths == 100) {
      ++whole;
      hundredths = 0;
    }
  }
  std::string decimals = std::to_string(hundredths);
  if (decimals.size() < 2) decimals.insert(0, 1, '0');
  return Concat({std::to_string(whole), ".", decimals});
}

namespace {

// 10^N by repeated squaring: exact as far as 10^27, which covers every
// power the line keys need (14 to 19), and the setup carries no powl (with
// its general logarithm and exponential) for it.
long double PowerOfTen(int N) {
  unsigned n = N < 0 ? 0u - static_cast<unsigned>(N) : static_cast<unsigned>(N);
  long double result = (n & 1) ? 10.0L : 1.0L;
  long double square = 10.0L;
  for (n >>= 1; n != 0; n >>= 1) {
    square *= square;
    if (n & 1) result *= square;
  }
  return N < 0 ? 1.0L / result : result;
}

}  // namespace

std::string FloatToText(long double Value) {
  // As the double form writes them, without its printf.
  if (Value == 0) return std::signbit(Value) ? "-0.0" : "0.0";
  if (std::isnan(Value)) return "nan.0";
  if (std::isinf(Value)) return Value < 0 ? "-inf.0" : "inf.0";
  const bool negative = Value < 0;
  long double v = negative ? -Value : Value;
  int exponent = static_cast<int>(std::floor(std::log10(v)));
  // Fifteen significant digits as one integer, corrected when the rounding
  // or the logarithm lands one decade off.
  long double scaled = v * PowerOfTen(14 - exponent);
  long long digits = std::llround(scaled);
  if (digits >= 1000000000000000LL) {
    ++exponent;
    digits = std::llround(v * PowerOfTen(14 - exponent));
  } else if (digits < 100000000000000LL) {
    --exponent;
    digits = std::llround(v * PowerOfTen(14 - exponent));
  }
  std::string d = std::to_string(digits);
  while (d.size() > 1 && d.back() == '0') d.pop_back();
  std::string text;
  if (exponent < -4 || exponent >= 15) {
    text = Concat({d.substr(0, 1), (d.size() > 1 ? "." + d.substr(1) : ""), "E", std::to_string(exponent)});
  } else if (exponent < 0) {
    text = Concat({"0.", std::string(static_cast<size_t>(-exponent - 1), '0'), d});
  } else {
    size_t point = static_cast<size_t>(exponent) + 1;
    text =
        d.size() > point ? Concat({d.substr(0, point), ".", d.substr(point)}) : d + std::string(point - d.size(), '0');
  }
  if (negative) text = "-" + text;
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

WideString AsciiToWide(const std::string& Text) { return WideString(Text.begin(), Text.end()); }

WideString FillProgressText(const WideString& Template, const WideString& Name, uint64_t Done, uint64_t Total) {
  WideString text = ReplaceText(Template, u"<%ZUPNAME%>", Name);
  text = ReplaceText(text, u"<%FNUM%>", AsciiToWide(DecimalText(Done)));
  return ReplaceText(text, u"<%FTOTAL%>", AsciiToWide(DecimalText(Total)));
}
