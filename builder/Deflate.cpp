#include "builder/Deflate.h"

#include <libdeflate.h>

#include <memory>

#include "common/Exceptions.h"
#include "common/Strings.h"

uint64_t CompressorBytes(int Level) { return Level >= 10 ? 9ull << 20 : 1ull << 20; }

TStoredForm MakeStoredFormAtLevel(const uint8_t* Data, uint32_t Size, int Level) {
  TStoredForm form;
  form.OrigSize = Size;
  if (Size < kLargeEntrySize) {
    std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(Level), libdeflate_free_compressor);
    if (!compressor) throw ESetupError("Cannot make a compressor of level " + DecimalText(Level) + " (out of memory)");
    form.Bytes.resize(libdeflate_zlib_compress_bound(compressor.get(), Size));
    size_t packed = libdeflate_zlib_compress(compressor.get(), Data, Size, form.Bytes.data(), form.Bytes.size());
    if (packed > 0 && packed <= Size) {
      form.Bytes.resize(packed);
      form.StoredSize = static_cast<uint32_t>(packed);
    }
  }
  if (form.StoredSize == 0) form.Bytes.assign(Data, Data + Size);
  form.Checksum = PakChecksum(form.Bytes.data(), form.Bytes.size());
  return form;
}
