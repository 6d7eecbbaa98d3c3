#include "gamedata/GameData.h"

#include "common/Strings.h"

void RaiseAssertion(std::initializer_list<std::string_view> Text, const char* Unit, int Line) {
  throw EAssertionFailed(Concat({Concat(Text), " (", Unit, ", line ", DecimalText(Line), ")"}));
}

uint32_t DosDate(const platform::CalendarDate& Date) {
  uint32_t year = Date.Year >= 1980 ? Date.Year - 1980u : 0u;
  uint32_t date = ((year & 0x7F) << 9) | ((Date.Month & 0x0Fu) << 5) | (Date.Day & 0x1Fu);
  return date << 16;
}

std::string GameText(const std::string& Text) {
  std::string bytes, bad;
  if (!platform::Utf8ToCp1252(Text, bytes, &bad)) {
    RaiseSetupError({"\"", Text, "\" has a character (", bad,
                     ") that the game's containers and archives cannot hold: they take Windows-1252 text only"});
  }
  return bytes;
}
