#include "common/BufferManager.h"

#include <cstring>

#include "common/Exceptions.h"
#include "common/Strings.h"

TBufferManager::TBufferManager(const uint8_t* Data, uint32_t Size) : data_(Data), size_(Data ? Size : 0) {}

TBufferManager::TBufferManager(const TBytes& Block)
    : TBufferManager(Block.data(), static_cast<uint32_t>(Block.size())) {}

TBytes TBufferManager::Read(uint32_t Count, uint32_t& Got) {
  Got = Count < Remaining() ? Count : Remaining();
  TBytes out(data_ + position_, data_ + position_ + Got);
  position_ += Got;
  return out;
}

uint32_t TBufferManager::ReadInto(uint32_t Count, void* Dest) {
  uint32_t n = Count < Remaining() ? Count : Remaining();
  if (n) std::memcpy(Dest, data_ + position_, n);
  position_ += n;
  return n;
}

void TBufferManager::Seek(uint32_t NewPosition) { position_ = NewPosition; }

namespace {

void Need(const TBufferManager& buffer, uint32_t count, const char* what) {
  if (buffer.Remaining() < count) {
    RaiseSetupError({"Record ends inside a ", what, " at offset ", DecimalText(buffer.Position()), ": ",
                     DecimalText(count), " bytes needed, ", DecimalText(buffer.Remaining()), " left"});
  }
}

}  // namespace

uint16_t ReadU16(TBufferManager& Buffer) {
  Need(Buffer, 2, "16-bit field");
  uint8_t b[2];
  Buffer.ReadInto(2, b);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t ReadU32(TBufferManager& Buffer) {
  Need(Buffer, 4, "32-bit field");
  uint8_t b[4];
  Buffer.ReadInto(4, b);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
         (static_cast<uint32_t>(b[3]) << 24);
}

std::string ReadShortString(TBufferManager& Buffer) {
  uint16_t n = ReadU16(Buffer);
  Need(Buffer, n, "string");
  std::string s(n, '\0');
  Buffer.ReadInto(n, s.data());
  return s;
}

std::string ReadStoredText(TBufferManager& Buffer) { return platform::FromStoredText(ReadShortString(Buffer)); }

void WriteStoredText(TBytes& Out, const std::string& Text) { WriteShortString(Out, platform::ToStoredText(Text)); }

void WriteU16(TBytes& Out, uint16_t Value) {
  Out.push_back(static_cast<uint8_t>(Value & 0xFF));
  Out.push_back(static_cast<uint8_t>(Value >> 8));
}

void WriteU32(TBytes& Out, uint32_t Value) {
  WriteU16(Out, static_cast<uint16_t>(Value & 0xFFFF));
  WriteU16(Out, static_cast<uint16_t>(Value >> 16));
}

void WriteShortString(TBytes& Out, const std::string& Text) {
  if (Text.size() > 0xFFFF) {
    RaiseSetupError(
        {"String of ", DecimalText(Text.size()), " bytes is longer than 65535: ", Text.substr(0, 40), "..."});
  }
  WriteU16(Out, static_cast<uint16_t>(Text.size()));
  Out.insert(Out.end(), Text.begin(), Text.end());
}
