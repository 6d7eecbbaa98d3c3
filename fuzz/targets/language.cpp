// Language entries: the UTF-16 line list, the language parser, string lookup
// and the "<LANG n>" tokens.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "ui/ZUI_Language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  try {
    TUnicodeStringList list;
    list.LoadFromBuffer(Data, static_cast<uint32_t>(Size));
  } catch (const ESetupError&) {
  }
  TLanguages languages;
  try {
    languages.AddLanguage(Data, static_cast<uint32_t>(Size));
  } catch (const ESetupError&) {
    return 0;
  }
  languages.CurrentIndex = 0;
  for (uint16_t n : {0, 1, 19, 23, 65535}) {
    WideString s = languages.GetString(n);
    try {
      languages.ExpandLangTokens(s);
    } catch (const ESetupError&) {
    }
  }
  return 0;
}
