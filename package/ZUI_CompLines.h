// "CompiledLines": the compiled script. A u16 line count, then per line the
// command number, row and parameter count (i32 each) and the parameters as
// length-prefixed strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Bytes.h"

// Command numbers that are not registry positions.
constexpr int32_t kLabelLine = 0;
constexpr int32_t kNothingLine = -1;

struct TCompLine {
  int32_t Command = kNothingLine;
  std::vector<std::string> Params;
  int32_t ParamCount = 0;
  int32_t Row = -1;
};

class TCompLines {
 public:
  // Replaces Lines with the entry's lines. Raises ESetupError when the data
  // ends early or a parameter count is negative or larger than the data.
  void LoadFromBuffer(const uint8_t* Data, uint32_t Size);
  // The entry's bytes. Raises ESetupError for more than 65,535 lines or a
  // parameter longer than 65,535 bytes.
  TBytes SaveToBytes() const;

  std::vector<TCompLine> Lines;
};
