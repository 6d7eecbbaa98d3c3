#include "common/DigitKey.h"

namespace {

std::string Shift(const std::string& key, const std::string& text, int sign) {
  std::string out = text;
  if (key.empty()) return out;
  size_t k = 0;
  for (char& c : out) {
    int digit = key[k] - '0';
    if (digit < 0 || digit > 9) digit = 0;
    c = static_cast<char>(static_cast<uint8_t>(static_cast<uint8_t>(c) + sign * digit));
    if (++k == key.size()) k = 0;
  }
  return out;
}

}  // namespace

std::string AddDigitKey(const std::string& Key, const std::string& Text) { return Shift(Key, Text, 1); }
std::string SubDigitKey(const std::string& Key, const std::string& Text) { return Shift(Key, Text, -1); }
