#include "common/FileRecords.h"

#include <cstring>

#include "common/Exceptions.h"
#include "common/Strings.h"

std::string ReadShortStringFromFile(platform::File& Handle) {
  uint8_t len[2];
  if (Handle.Read(len, 2) != 2) RaiseSetupError({"File ends inside a string length"});
  uint32_t n = len[0] | (len[1] << 8);
  std::string s(n, '\0');
  if (n && Handle.Read(s.data(), n) != n) RaiseSetupError({"File ends inside a string"});
  return s;
}

namespace {
constexpr uint32_t kChunk = 64 * 1024;
}

TFileReader::TFileReader(platform::File& Handle, uint64_t Start, uint64_t Limit)
    : file_(Handle), position_(Start), limit_(Limit), bufferStart_(Start) {}

void TFileReader::Fill() {
  // Keep the unread tail and read the next chunk behind it.
  uint64_t consumed = position_ - bufferStart_;
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(consumed));
  bufferStart_ = position_;
  uint64_t end = bufferStart_ + buffer_.size();
  uint64_t want = limit_ - end < kChunk ? limit_ - end : kChunk;
  if (want == 0) return;
  size_t old = buffer_.size();
  buffer_.resize(old + want);
  if (!file_.Seek(static_cast<int64_t>(end), platform::SeekOrigin::kBegin)) {
    buffer_.resize(old);
    return;
  }
  uint32_t got = file_.Read(buffer_.data() + old, static_cast<uint32_t>(want));
  buffer_.resize(old + got);
}

void TFileReader::ReadBytes(void* Dest, uint32_t Count) {
  if (position_ > limit_ || Count > limit_ - position_) {
    RaiseSetupError({"Record at offset ", DecimalText(position_), " runs past the end of its region (",
                     DecimalText(Count), " bytes needed, ", DecimalText(limit_ - position_), " left)"});
  }
  auto* out = static_cast<uint8_t*>(Dest);
  while (Count > 0) {
    uint64_t available = bufferStart_ + buffer_.size() - position_;
    if (available == 0) {
      Fill();
      available = bufferStart_ + buffer_.size() - position_;
      if (available == 0) RaiseSetupError({"File ends at offset ", DecimalText(position_), " inside a record"});
    }
    uint32_t n = Count < available ? Count : static_cast<uint32_t>(available);
    std::memcpy(out, buffer_.data() + (position_ - bufferStart_), n);
    out += n;
    position_ += n;
    Count -= n;
  }
}

uint16_t TFileReader::U16() {
  uint8_t b[2];
  ReadBytes(b, 2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t TFileReader::U32() {
  uint8_t b[4];
  ReadBytes(b, 4);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
         (static_cast<uint32_t>(b[3]) << 24);
}

std::string TFileReader::ShortString() {
  uint16_t n = U16();
  std::string s(n, '\0');
  if (n) ReadBytes(s.data(), n);
  return s;
}
