#include "package/ZUI_CompLines.h"

#include "common/BufferManager.h"
#include "common/Exceptions.h"
#include "common/Strings.h"

void TCompLines::LoadFromBuffer(const uint8_t* Data, uint32_t Size) {
  TBufferManager b(Data, Size);
  uint16_t count = ReadU16(b);
  std::vector<TCompLine> lines(count);
  for (uint16_t i = 0; i < count; ++i) {
    TCompLine& line = lines[i];
    line.Command = static_cast<int32_t>(ReadU32(b));
    line.Row = static_cast<int32_t>(ReadU32(b));
    line.ParamCount = static_cast<int32_t>(ReadU32(b));
    // Every parameter takes at least its two length bytes.
    if (line.ParamCount < 0 || static_cast<uint32_t>(line.ParamCount) > b.Remaining() / 2) {
      RaiseSetupError({"Compiled line ", DecimalText(i), " declares ", DecimalText(line.ParamCount),
                       " parameters, which the remaining ", DecimalText(b.Remaining()), " bytes cannot hold"});
    }
    line.Params.resize(static_cast<size_t>(line.ParamCount));
    for (std::string& p : line.Params) p = ReadStoredText(b);
  }
  Lines = std::move(lines);
}
