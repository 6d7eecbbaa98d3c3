// The languages of the wizard: numbered strings per language, chosen by the
// system's language identifier, and the template fields that expand live
// values of the setup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Observers.h"

// UTF-16 LE lines: the first two bytes are skipped (the byte-order mark), a CR
// ends a line, an LF moves the line's start past it.
class TUnicodeStringList {
 public:
  int32_t Add(const WideString& Text);
  void Clear();
  size_t Count() const { return items_.size(); }
  const WideString& Get(size_t Index) const;
  // Raises ESetupError "Cannot open file" when there is no data.
  void LoadFromBuffer(const uint8_t* Data, uint32_t Size);

 private:
  std::vector<WideString> items_;
};

struct TLID {
  uint16_t Number = 0;
  WideString Text;
};

struct TLanguage {
  WideString DisplayName = u"Untitled";
  std::vector<uint16_t> Ids;
  std::vector<TLID> Strings;
};

class TLanguages : public TTextSource {
 public:
  // Parses a language entry and appends it. Raises ESetupError ("'x' is not a
  // valid integer value") for an identifier or string number that is not one.
  void AddLanguage(const uint8_t* Data, uint32_t Size);
  // The first language, in load order, listing Id; -1 when none does.
  int32_t FindByLangID(uint16_t Id) const;
  WideString GetString(uint16_t Number) const override;
  // The current language's string Number, or Fallback (the built-in English
  // text) when the language has none: for texts added after language files
  // were written.
  WideString GetStringOr(uint16_t Number, const WideString& Fallback) const override;
  // Raises ESetupError for a "<LANG" token without a number and ">".
  WideString ExpandLangTokens(const WideString& Text) const override;

  int32_t CurrentIndex = -1;
  std::vector<TLanguage> Items;
};

// Template fields: keys such as "<%SETUPTITLE%>" bound to variables, read at
// the moment of expansion.
class TLanguageStrings {
 public:
  void AddField(const std::string& Key, const std::string* Value);
  WideString ExpandFields(const WideString& Text) const;

 private:
  struct Field {
    std::string Key;  // lower case
    const std::string* Value;
  };
  std::vector<Field> fields_;
};

// A decimal number, or hexadecimal behind "$", as the language and layout
// texts write them; raises the conversion error otherwise.
int32_t ParseInteger(const std::string& Text);
