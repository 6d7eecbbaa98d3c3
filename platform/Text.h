// How the program carries text, and the conversions at its edges.
//
// Inside the program every std::string that holds text (a path, a name, a
// message, a script's parameter) is UTF-8. Three edges convert:
// - the system: the Windows layer hands UTF-16 to the wide entry points and
//   reads their answers back into UTF-8 (TextToWide, WideToUtf8); the
//   emulated machine uses UTF-8 as the native file name;
// - our own stored 8-bit text (the package's entry names, setup information
//   and compiled lines, the language and layout files, the install log, the
//   journals): Windows-1252 on every machine, whatever its code page. A text
//   with a character Windows-1252 has no form for is stored as a UTF-8
//   byte-order mark followed by UTF-8, so records written before keep
//   reading as they did (ToStoredText, FromStoredText);
// - the game's own containers and archives: Windows-1252 only, as the game
//   reads them (Utf8ToCp1252 refuses what it cannot represent).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Errors.h"

namespace platform {

// The pieces joined into one string, in one allocation. A chain of "+" makes
// (and cleans up after) a string at every step, inline at every use; the
// setup stub carries hundreds of messages built that way.
std::string Concat(std::initializer_list<std::string_view> Pieces);

// UTF-8 to UTF-16; false when Text is not valid UTF-8.
bool Utf8ToWide(const std::string& Text, WideString& Wide);
std::string WideToUtf8(const WideString& Text);
// UTF-8 to UTF-16 for the system and the screen; bytes that are not UTF-8
// are read as Windows-1252, so nothing is dropped.
WideString TextToWide(const std::string& Text);

// Windows-1252 bytes as UTF-8 (the five unassigned bytes as the C1 controls
// of the same number, so every byte comes back the same).
std::string Cp1252ToUtf8(const std::string& Bytes);
// UTF-8 as Windows-1252; false, with Bytes holding what converted, when Text
// has a character without a Windows-1252 form (or is not UTF-8). BadChar is
// then set to that character's UTF-8 text when given.
bool Utf8ToCp1252(const std::string& Text, std::string& Bytes, std::string* BadChar = nullptr);

// Text as an 8-bit Windows-1252 control shows it: each character without a
// Windows-1252 form becomes "?".
WideString Cp1252Only(const WideString& Text);

// The UTF-8 byte-order mark that introduces a stored text in UTF-8.
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
std::string ToStoredText(const std::string& Text);
std::string FromStoredText(const std::string& Stored);

}  // namespace platform
