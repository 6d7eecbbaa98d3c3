#include "common/Inflate.h"

#include <zlib.h>

#include <algorithm>

namespace {

constexpr uint64_t kStep = 1 << 20;
constexpr uint64_t kAllocateAtOnce = 72ull << 20;

}  // namespace

std::optional<TBytes> InflateExact(const uint8_t* Data, size_t Size, uint64_t Expected, uint64_t* Produced) {
  if (Produced) *Produced = 0;
  if (!CouldHold(Size, Expected)) return std::nullopt;
  TBytes out;
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return std::nullopt;
  zs.next_in = const_cast<Bytef*>(Data);
  zs.avail_in = static_cast<uInt>(Size);
  if (Expected < kAllocateAtOnce) out.reserve(static_cast<size_t>(Expected) + 1);
  int rc = Z_OK;
  while (rc == Z_OK) {
    const uint64_t done = zs.total_out;
    if (done > Expected) break;
    // One byte more than claimed is room enough to see a stream run long.
    const uint64_t step = std::min<uint64_t>(std::max<uint64_t>(kStep, out.capacity() - done), Expected + 1 - done);
    out.resize(static_cast<size_t>(done + step));
    zs.next_out = out.data() + done;
    zs.avail_out = static_cast<uInt>(step);
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc == Z_BUF_ERROR && zs.avail_out > 0) break;  // input ended inside the stream
    if (rc == Z_BUF_ERROR) rc = Z_OK;
  }
  if (Produced && rc == Z_OK) {
    // Past the claim: count what else the stream holds.
    uint8_t scratch[4096];
    do {
      zs.next_out = scratch;
      zs.avail_out = sizeof(scratch);
      rc = inflate(&zs, Z_NO_FLUSH);
    } while (rc == Z_OK || (rc == Z_BUF_ERROR && zs.avail_out == 0));
  }
  const uint64_t got = zs.total_out;
  inflateEnd(&zs);
  if (Produced) *Produced = got;
  if (rc != Z_STREAM_END || got != Expected) return std::nullopt;
  out.resize(static_cast<size_t>(Expected));
  return out;
}

bool InflateExactTo(const uint8_t* Data, size_t Size, uint64_t Expected,
                    TFunctionRef<bool(const uint8_t* Piece, size_t Count)> Sink) {
  if (!CouldHold(Size, Expected)) return false;
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  zs.next_in = const_cast<Bytef*>(Data);
  zs.avail_in = static_cast<uInt>(Size);
  TBytes piece(static_cast<size_t>(kStep));
  int rc = Z_OK;
  bool sunk = true;
  while (rc == Z_OK && sunk && zs.total_out <= Expected) {
    zs.next_out = piece.data();
    zs.avail_out = static_cast<uInt>(piece.size());
    rc = inflate(&zs, Z_NO_FLUSH);
    const size_t got = piece.size() - zs.avail_out;
    if (rc == Z_BUF_ERROR && zs.avail_out > 0) break;  // input ended inside the stream
    if (rc == Z_BUF_ERROR) rc = Z_OK;
    // Nothing past the claim reaches the sink.
    const uint64_t before = zs.total_out - got;
    const size_t keep = before >= Expected ? 0 : static_cast<size_t>(std::min<uint64_t>(got, Expected - before));
    if (keep > 0) sunk = Sink(piece.data(), keep);
  }
  const uint64_t total = zs.total_out;
  inflateEnd(&zs);
  return sunk && rc == Z_STREAM_END && total == Expected;
}

struct TStreamChecker::Impl {
  z_stream zs{};
  bool ready = false;
  TBytes out;
};

TStreamChecker::TStreamChecker() : impl_(std::make_unique<Impl>()) {}

TStreamChecker::~TStreamChecker() {
  if (impl_->ready) inflateEnd(&impl_->zs);
}

bool TStreamChecker::Check(const uint8_t* Data, size_t Size, uint64_t Expected, uint64_t& Produced) {
  Produced = 0;
  if (!CouldHold(Size, Expected)) return false;
  Impl& i = *impl_;
  if (!i.ready) {
    if (inflateInit(&i.zs) != Z_OK) return false;
    i.ready = true;
    i.out.resize(static_cast<size_t>(kStep));
  } else if (inflateReset(&i.zs) != Z_OK) {
    return false;
  }
  i.zs.next_in = const_cast<Bytef*>(Data);
  i.zs.avail_in = static_cast<uInt>(Size);
  // The whole stream is read, past the claim too, so that Produced tells.
  int rc = Z_OK;
  do {
    i.zs.next_out = i.out.data();
    i.zs.avail_out = static_cast<uInt>(i.out.size());
    rc = inflate(&i.zs, Z_NO_FLUSH);
  } while (rc == Z_OK || (rc == Z_BUF_ERROR && i.zs.avail_out == 0));
  Produced = i.zs.total_out;
  return rc == Z_STREAM_END && Produced == Expected;
}
