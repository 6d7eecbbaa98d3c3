// A bounded read cursor over a memory block it does not own, and the record
// readers that parse binary records through it.
#pragma once

#include <cstdint>
#include <string>

#include "common/Bytes.h"

class TBufferManager {
 public:
  TBufferManager(const uint8_t* Data, uint32_t Size);
  explicit TBufferManager(const TBytes& Block);

  // The next Count bytes, or all that remain when fewer do; empty at the end.
  // Got is the number of bytes returned; the position advances by it.
  TBytes Read(uint32_t Count, uint32_t& Got);
  // Copies the next Count bytes (or all that remain) into Dest and advances;
  // returns the number copied.
  uint32_t ReadInto(uint32_t Count, void* Dest);
  void Seek(uint32_t NewPosition);

  const uint8_t* Data() const { return data_; }
  uint32_t Position() const { return position_; }
  uint32_t Size() const { return size_; }
  uint32_t Remaining() const { return position_ < size_ ? size_ - position_ : 0; }

 private:
  const uint8_t* data_;
  uint32_t position_ = 0;
  uint32_t size_;
};

// Record readers: raise ESetupError when the block does not hold the whole field.
uint16_t ReadU16(TBufferManager& Buffer);
uint32_t ReadU32(TBufferManager& Buffer);
// A u16 byte count, then that many bytes of 8-bit text.
std::string ReadShortString(TBufferManager& Buffer);

// Little-endian writers, the other half of the record formats.
void WriteU16(TBytes& Out, uint16_t Value);
void WriteU32(TBytes& Out, uint32_t Value);
// Raises ESetupError for a text longer than 65,535 bytes.
void WriteShortString(TBytes& Out, const std::string& Text);
// A short string that holds stored text (platform/Text.h): UTF-8 inside,
// Windows-1252 or marked UTF-8 in the record.
std::string ReadStoredText(TBufferManager& Buffer);
void WriteStoredText(TBytes& Out, const std::string& Text);
