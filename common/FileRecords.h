// Binary records on open files: length-prefixed strings and a buffered,
// bounded reader that never reads past the limit it is given.
#pragma once

#include <cstdint>
#include <string>

#include "common/Bytes.h"

// A u16 byte count, then the bytes. Raises ESetupError on a short read.
std::string ReadShortStringFromFile(platform::File& Handle);

// Reads fields from a file from its current position up to an absolute limit.
// Raises ESetupError when a field would cross the limit or the file ends early.
class TFileReader {
 public:
  TFileReader(platform::File& Handle, uint64_t Start, uint64_t Limit);

  void ReadBytes(void* Dest, uint32_t Count);
  uint16_t U16();
  uint32_t U32();
  std::string ShortString();
  uint64_t Position() const { return position_; }

 private:
  void Fill();

  platform::File& file_;
  uint64_t position_;  // absolute position of the next byte handed out
  uint64_t limit_;
  TBytes buffer_;
  uint64_t bufferStart_ = 0;
};
