// Inflating zlib streams whose length a record claims: the one reader the
// setup package and the game archive share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "common/Bytes.h"
#include "common/FunctionRef.h"

// The most bytes one byte of a deflate stream can stand for (a stream is at
// least 1/1032 of what it holds, plus its header and end): a claim beyond
// CouldHold is not a stream of that size and is refused before anything is
// allocated.
constexpr uint64_t kMaxInflateRatio = 1032;
inline bool CouldHold(size_t StreamSize, uint64_t Claimed) {
  return Claimed <= static_cast<uint64_t>(StreamSize) * kMaxInflateRatio + 64;
}

// Exactly Expected bytes from one complete zlib stream, or nothing. The
// output is allocated at once up to 72 MiB and beyond that grows as the
// stream really inflates, never to the claim: a damaged size costs only what
// the stream holds, and one byte past the claim ends it. Produced, when
// given, is the number of bytes the stream really holds, counted on past
// Expected (without keeping them) so a length mismatch shows either way; 0
// for a claim the stream could not hold.
std::optional<TBytes> InflateExact(const uint8_t* Data, size_t Size, uint64_t Expected, uint64_t* Produced = nullptr);

// The same stream handed to Sink in pieces of at most 1 MiB as it inflates,
// so no buffer of the claimed size is ever needed. True when the stream ended
// at exactly Expected bytes; false for any other stream, when Sink returns
// false, or for a claim the stream could not hold (Sink not called).
bool InflateExactTo(const uint8_t* Data, size_t Size, uint64_t Expected,
                    TFunctionRef<bool(const uint8_t* Piece, size_t Count)> Sink);

// Checks streams one after another as InflateExact would read them, without
// keeping their bytes: its zlib state and output buffer are reused from one
// stream to the next, so checking thousands of small entries allocates
// nothing per entry. One checker serves one thread at a time.
class TStreamChecker {
 public:
  TStreamChecker();
  ~TStreamChecker();
  TStreamChecker(const TStreamChecker&) = delete;
  TStreamChecker& operator=(const TStreamChecker&) = delete;
  // True when Data is one complete zlib stream of exactly Expected bytes.
  // Produced: what the stream really holds, as for InflateExact.
  bool Check(const uint8_t* Data, size_t Size, uint64_t Expected, uint64_t& Produced);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
