#include "builder/Deflate.h"

#include <libdeflate.h>

#include <memory>

#include "common/Exceptions.h"
#include "common/Strings.h"

const char* CompressorName() { return "libdeflate " LIBDEFLATE_VERSION_STRING; }

uint32_t Adler32(const uint8_t* Data, size_t Size) { return libdeflate_adler32(1, Data, Size); }

uint64_t CompressorBytes(int Level) { return Level >= 10 ? 9ull << 20 : 1ull << 20; }

bool CompressWithLibdeflate(const uint8_t* Data, uint32_t Size, int Level, TBytes& Out) {
  std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(Level), libdeflate_free_compressor);
  if (!compressor) throw ESetupError("Cannot make a compressor of level " + DecimalText(Level) + " (out of memory)");
  Out.resize(libdeflate_zlib_compress_bound(compressor.get(), Size));
  size_t packed = libdeflate_zlib_compress(compressor.get(), Data, Size, Out.data(), Out.size());
  Out.resize(packed);
  return packed > 0;
}
