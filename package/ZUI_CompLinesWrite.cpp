// The compiled lines written out: the builder's side, in an object of its own
// so that a setup, which only reads them, does not carry it.
#include "common/BufferManager.h"
#include "common/Exceptions.h"
#include "common/Strings.h"
#include "package/ZUI_CompLines.h"

TBytes TCompLines::SaveToBytes() const {
  if (Lines.size() > 0xFFFF) {
    RaiseSetupError({"A script of ", DecimalText(Lines.size()), " lines has more than 65535"});
  }
  TBytes out;
  WriteU16(out, static_cast<uint16_t>(Lines.size()));
  for (const TCompLine& line : Lines) {
    WriteU32(out, static_cast<uint32_t>(line.Command));
    WriteU32(out, static_cast<uint32_t>(line.Row));
    WriteU32(out, static_cast<uint32_t>(line.Params.size()));
    for (const std::string& p : line.Params) WriteStoredText(out, p);
  }
  return out;
}
