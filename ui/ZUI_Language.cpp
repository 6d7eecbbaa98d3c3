#include "ui/ZUI_Language.h"

#include "common/Exceptions.h"
#include "common/Strings.h"

namespace {

constexpr char kCannotOpen[] = "Cannot open file";
constexpr char16_t kNotFound[] = u"NOT FOUND ";

[[noreturn]] void ConversionError(const std::string& text) {
  RaiseSetupError({"'", text, "' is not a valid integer value"});
}

int32_t ParseHex(const std::string& text) {
  // Leading zeros take no room: "$0000000FF" fits as well as "$FF".
  size_t first = text.find_first_not_of('0');
  if (first == std::string::npos) first = text.empty() ? 0 : text.size() - 1;
  if (text.empty() || text.size() - first > 8) ConversionError("$" + text);
  uint32_t v = 0;
  for (char c : text.substr(first)) {
    int d = (c >= '0' && c <= '9')   ? c - '0'
            : (c >= 'a' && c <= 'f') ? c - 'a' + 10
            : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                     : -1;
    if (d < 0) ConversionError("$" + text);
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return static_cast<int32_t>(v);
}

WideString Trim(const WideString& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= 0x20) ++b;
  while (e > b && s[e - 1] <= 0x20) --e;
  return s.substr(b, e - b);
}

}  // namespace

int32_t ParseInteger(const std::string& Text) {
  if (!Text.empty() && Text[0] == '$') return ParseHex(Text.substr(1));
  int32_t v = IntOrMinusOne(Text);
  if (v == -1 && Text != "-1") ConversionError(Text);
  return v;
}

int32_t TUnicodeStringList::Add(const WideString& Text) {
  items_.push_back(Text);
  return static_cast<int32_t>(items_.size() - 1);
}

void TUnicodeStringList::Clear() { items_.clear(); }

namespace {
const WideString kNoString;
}  // namespace

const WideString& TUnicodeStringList::Get(size_t Index) const {
  return Index < items_.size() ? items_[Index] : kNoString;
}

void TUnicodeStringList::LoadFromBuffer(const uint8_t* Data, uint32_t Size) {
  if (!Data) RaiseSetupError({kCannotOpen});
  Clear();
  size_t units = Size >= 2 ? (Size - 2) / 2 : 0;
  WideString line;
  for (size_t i = 0; i < units; ++i) {
    auto c = static_cast<char16_t>(Data[2 + 2 * i] | (Data[3 + 2 * i] << 8));
    if (c == u'\r') {
      Add(line);
      line.clear();
    } else if (c == u'\n') {
      line.clear();  // the line starts after the LF
    } else {
      line += c;
    }
  }
  if (!line.empty()) Add(line);
}

void TLanguages::AddLanguage(const uint8_t* Data, uint32_t Size) {
  TUnicodeStringList lines;
  lines.LoadFromBuffer(Data, Size);
  TLanguage language;
  if (lines.Count() >= 1) language.DisplayName = lines.Get(0);
  {
    // A missing identifier line reads as empty text, which is no number.
    std::string ids = platform::WideToUtf8(lines.Get(1));
    if (ids.find(';') != std::string::npos) {
      while (!ids.empty()) {
        size_t semi = ids.find(';');
        if (semi == std::string::npos) ConversionError("$");
        language.Ids.push_back(static_cast<uint16_t>(ParseHex(ids.substr(0, semi))));
        ids.erase(0, semi + 1);
      }
    } else {
      language.Ids.push_back(static_cast<uint16_t>(ParseHex(ids)));
    }
  }
  for (size_t i = 2; i < lines.Count(); ++i) {
    WideString line = Trim(lines.Get(i));
    size_t end = 0;
    bool quoted = false;
    std::string number;
    for (; end < line.size(); ++end) {
      char16_t c = line[end];
      if (c == u'"') {
        quoted = !quoted;
      } else if (!quoted && (c == u' ' || c == u'\t')) {
        break;
      } else {
        number += static_cast<char>(c < 0x80 ? c : '?');
      }
    }
    WideString text = line.substr(end);
    size_t lead = 0;
    while (lead < text.size() && text[lead] == u' ') ++lead;
    language.Strings.push_back({static_cast<uint16_t>(ParseInteger(number)), text.substr(lead)});
  }
  Items.push_back(std::move(language));
}

int32_t TLanguages::FindByLangID(uint16_t Id) const {
  for (size_t i = 0; i < Items.size(); ++i) {
    for (uint16_t id : Items[i].Ids) {
      if (id == Id) return static_cast<int32_t>(i);
    }
  }
  return -1;
}

namespace {

// The licence page's texts, which language files written before it lack.
const char16_t* BuiltInString(uint16_t Number) {
  switch (Number) {
    case 39:
      return u"I accept the terms of the license agreement";
    case 40:
      return u"License Agreement";
    case 41:
      return u"Please read the following license agreement. You must accept it to install <%SETUPSHORTTITLE%>.";
    default:
      return nullptr;
  }
}

}  // namespace

WideString TLanguages::GetString(uint16_t Number) const {
  const char16_t* builtIn = BuiltInString(Number);
  return GetStringOr(Number, builtIn ? WideString(builtIn) : kNotFound + AsciiToWide(DecimalText(Number)));
}

WideString TLanguages::GetStringOr(uint16_t Number, const WideString& Fallback) const {
  if (CurrentIndex >= 0 && static_cast<size_t>(CurrentIndex) < Items.size()) {
    for (const TLID& s : Items[static_cast<size_t>(CurrentIndex)].Strings) {
      if (s.Number == Number) return s.Text;
    }
  }
  return Fallback;
}

WideString TLanguages::ExpandLangTokens(const WideString& Text) const {
  if (CurrentIndex < 0 || static_cast<size_t>(CurrentIndex) >= Items.size()) return Text;
  WideString out = Text;
  size_t from = 0;
  for (;;) {
    size_t start = out.find(u"<LANG", from);
    if (start == WideString::npos) return out;
    size_t close = out.find(u'>', start);
    std::string number =
        close == WideString::npos ? "" : platform::WideToUtf8(out.substr(start + 5, close - start - 5));
    int32_t n = IntOrMinusOne(number);
    if (close == WideString::npos || n < 0) ConversionError(number);
    WideString value = GetString(static_cast<uint16_t>(n));
    out.replace(start, close - start + 1, value);
    // Go on after the inserted text, so a string holding its own token ends.
    from = start + value.size();
  }
}

void TLanguageStrings::AddField(const std::string& Key, const std::string* Value) {
  fields_.push_back({LowerAscii(Key), Value});
}

WideString TLanguageStrings::ExpandFields(const WideString& Text) const {
  WideString out = Text;
  for (const Field& f : fields_) {
    out = ReplaceText(out, AsciiToWide(f.Key), f.Value ? platform::TextToWide(*f.Value) : WideString());
  }
  return out;
}
