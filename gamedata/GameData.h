// What the game-data units share without including each other: the failed
// internal check with its one raising helper, and the DOS date the containers
// and archives stamp.
#pragma once

#include <cstdint>
#include <string>

#include "common/Exceptions.h"
#include "platform/Platform.h"

// A failed internal check of the game-data code; the text names the check,
// the unit and the line.
class EAssertionFailed : public ESetupError {
 public:
  using ESetupError::ESetupError;
};
// Raises EAssertionFailed with "<Text> (<Unit>, line <Line>)", Text given as
// its pieces: one call per check instead of the message and throw at each.
[[noreturn]] void RaiseAssertion(std::initializer_list<std::string_view> Text, const char* Unit, int Line);

// Text as the game's containers and archives hold it (member names,
// passwords): Windows-1252, converted from the program's UTF-8. A text with
// a character Windows-1252 has no form for raises ESetupError naming it.
std::string GameText(const std::string& Text);

// A DOS date (high word) with time 00:00.
uint32_t DosDate(const platform::CalendarDate& Date);
