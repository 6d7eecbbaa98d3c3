#include "gamedata/LineEncryption.h"

#include <cmath>

#include "common/Exceptions.h"
#include "common/Strings.h"

std::string KeyDigits(long double Value) {
  std::string text = FloatToText(Value);
  std::string key;
  for (char c : text) {
    if (c >= '1' && c <= '9') key += c;
  }
  return key;
}

std::string KeyA(uint8_t Seed) { return KeyDigits(std::sin(static_cast<long double>(Seed))); }
std::string KeyB(uint8_t Seed) { return KeyDigits(std::cos(static_cast<long double>(Seed))); }

namespace {

void NeedKey(const std::string& key, const char* which, uint8_t seed) {
  if (key.empty()) {
    RaiseSetupError({"line encryption: seed ", DecimalText(seed), " gives an empty ", which});
  }
}

}  // namespace

std::string Shift(const std::string& Key, const std::string& S, bool Reversed) {
  std::string out;
  out.reserve(S.size());
  size_t k = 0;
  for (size_t p = 0; p < S.size(); ++p) {
    auto c = static_cast<uint8_t>(Reversed ? S[S.size() - 1 - p] : S[p]);
    out += static_cast<char>(static_cast<uint8_t>(c + (Key[k] - '0')));
    if (++k == Key.size()) k = 0;
  }
  return out;
}

std::string Unshift(const std::string& Key, const std::string& S, bool Reversed) {
  std::string out(S.size(), '\0');
  size_t k = 0;
  for (size_t p = 0; p < S.size(); ++p) {
    char ch = static_cast<char>(static_cast<uint8_t>(static_cast<uint8_t>(S[p]) - (Key[k] - '0')));
    // Putting each byte in front of the result is writing it from the end.
    out[Reversed ? S.size() - 1 - p : p] = ch;
    if (++k == Key.size()) k = 0;
  }
  return out;
}

std::string TQuarnEncryptionType::Encrypt(const std::string& Source) const {
  std::string a = KeyA(SeedA), b = KeyB(SeedB);
  NeedKey(a, "KeyA", SeedA);
  NeedKey(b, "KeyB", SeedB);
  return Shift(b, Shift(a, Source, false), true);
}

std::string TQuarnEncryptionType::Decrypt(const std::string& Source) const {
  std::string a = KeyA(SeedA), b = KeyB(SeedB);
  NeedKey(a, "KeyA", SeedA);
  NeedKey(b, "KeyB", SeedB);
  return Unshift(a, Unshift(b, Source, true), false);
}
