// The small cipher the game archive stores its password with: each byte is
// shifted by digits of a key derived from a seed, the string reversed, and
// shifted again by a second key. It hides the password from casual view only.
#pragma once

#include <cstdint>
#include <string>

class TEncryptionType {
 public:
  virtual ~TEncryptionType() = default;
  virtual std::string Encrypt(const std::string& Source) const = 0;
  virtual std::string Decrypt(const std::string& Source) const = 0;
};

class TQuarnEncryptionType : public TEncryptionType {
 public:
  // Raise ESetupError when a seed gives an empty key (no digit 1 to 9).
  std::string Encrypt(const std::string& Source) const override;
  std::string Decrypt(const std::string& Source) const override;

  uint8_t SeedA = 3;
  uint8_t SeedB = 5;
};

// The digits 1 to 9 of Value's general text (15 significant digits).
std::string KeyDigits(long double Value);
std::string KeyA(uint8_t Seed);  // from the sine of the seed
std::string KeyB(uint8_t Seed);  // from the cosine of the seed
// One step: each byte (of S read backwards when Reversed) plus the next key digit.
std::string Shift(const std::string& Key, const std::string& S, bool Reversed);
// Its inverse.
std::string Unshift(const std::string& Key, const std::string& S, bool Reversed);
