#include "ui/ZUI_Language.h"

#include <gtest/gtest.h>

#include "common/Exceptions.h"

namespace {

// A language entry as the package carries it: byte-order mark, UTF-16 LE.
TBytes Entry(const std::u16string& text) {
  TBytes b = {0xFF, 0xFE};
  for (char16_t c : text) {
    b.push_back(static_cast<uint8_t>(c & 0xFF));
    b.push_back(static_cast<uint8_t>(c >> 8));
  }
  return b;
}

void Add(TLanguages& l, const std::u16string& text) {
  TBytes b = Entry(text);
  l.AddLanguage(b.data(), static_cast<uint32_t>(b.size()));
}

const std::u16string kEnglish =
    u"English\r\n0c09;0809;0409;\r\n12 < Back\r\n13 Next >\r\n\"1\"4 Cancel\r\n26 \r\n$1B hex\r\n12 second\r\n";

}  // namespace

// CR ends a line; an LF moves the line's start past it; a last line without
// CR counts when not empty.
TEST(TUnicodeStringList, LineEnds) {
  TUnicodeStringList list;
  TBytes b = Entry(u"one\r\ntwo\rthr\nee\r\nlast");
  list.LoadFromBuffer(b.data(), static_cast<uint32_t>(b.size()));
  ASSERT_EQ(list.Count(), 4u);
  EXPECT_EQ(list.Get(0), u"one");
  EXPECT_EQ(list.Get(1), u"two");
  EXPECT_EQ(list.Get(2), u"ee");
  EXPECT_EQ(list.Get(3), u"last");
  EXPECT_EQ(list.Get(9), u"");
  EXPECT_THROW(list.LoadFromBuffer(nullptr, 0), ESetupError);
}

// Strings by number, first of two equal numbers, "$" hexadecimal, quotes in
// the number, empty texts, and the fallback text.
TEST(TLanguages, StringsAndIdentifiers) {
  TLanguages l;
  Add(l, kEnglish);
  Add(l, u"Polski\r\n0415\r\n12 < Wstecz\r\n");
  Add(l, u"Also English\r\n0409;\r\n12 not me\r\n");
  EXPECT_EQ(l.Items[0].DisplayName, u"English");
  EXPECT_EQ(l.Items[0].Ids, (std::vector<uint16_t>{0x0c09, 0x0809, 0x0409}));
  EXPECT_EQ(l.FindByLangID(0x0809), 0);
  EXPECT_EQ(l.FindByLangID(0x0415), 1);
  EXPECT_EQ(l.FindByLangID(0x0409), 0);  // the earlier entry wins
  EXPECT_EQ(l.FindByLangID(0x0407), -1);
  EXPECT_EQ(l.GetString(12), u"NOT FOUND 12");  // no current language yet
  l.CurrentIndex = 0;
  EXPECT_EQ(l.GetString(12), u"< Back");
  EXPECT_EQ(l.GetString(14), u"Cancel");
  EXPECT_EQ(l.GetString(26), u"");
  EXPECT_EQ(l.GetString(0x1B), u"hex");
  EXPECT_EQ(l.GetString(99), u"NOT FOUND 99");
  EXPECT_EQ(l.ExpandLangTokens(u"<LANG12><LANG13>"), u"< BackNext >");
  EXPECT_EQ(l.ExpandLangTokens(u"<lang12>"), u"<lang12>");
  EXPECT_THROW(l.ExpandLangTokens(u"<LANG12"), ESetupError);
  EXPECT_THROW(l.ExpandLangTokens(u"<LANGx>"), ESetupError);
  l.CurrentIndex = 1;
  EXPECT_EQ(l.GetString(12), u"< Wstecz");
}

// Malformed identifier lists and string numbers raise the conversion error.
TEST(TLanguages, ConversionErrors) {
  TLanguages l;
  EXPECT_THROW(Add(l, u"X\r\n0c09;2809\r\n"), ESetupError);
  Add(l, u"X\r\n0c09;2809;\r\n");
  EXPECT_EQ(l.Items.back().Ids.size(), 2u);
  EXPECT_THROW(Add(l, u"X\r\n0409\r\n\r\n"), ESetupError);  // a blank line among the strings
  EXPECT_THROW(Add(l, u"X\r\nzz\r\n"), ESetupError);
  EXPECT_THROW(Add(l, u"Only a name\r\n"), ESetupError);
  EXPECT_THROW(Add(l, u"LF\nonly\nlines\n"), ESetupError);
  try {
    Add(l, u"X\r\n0409\r\nabc text\r\n");
  } catch (const ESetupError& e) {
    EXPECT_EQ(std::string(e.what()), "'abc' is not a valid integer value");
  }
  Add(l, u"Header only\r\n0407\r\n");
  l.CurrentIndex = static_cast<int32_t>(l.Items.size() - 1);
  EXPECT_EQ(l.GetString(1), u"NOT FOUND 1");
}

// A string holding its own token expands once instead of for ever.
TEST(TLanguages, SelfReferenceEnds) {
  TLanguages l;
  Add(l, u"E\r\n0409\r\n1 see <LANG1>\r\n");
  l.CurrentIndex = 0;
  EXPECT_EQ(l.ExpandLangTokens(u"<LANG1>!"), u"see <LANG1>!");
}

// Fields expand to their variables' current values, in any letter case.
TEST(TLanguageStrings, FieldsByReference) {
  std::string title = "Demo";
  TLanguageStrings fields;
  fields.AddField("<%SETUPTITLE%>", &title);
  EXPECT_EQ(fields.ExpandFields(u"Welcome to <%setuptitle%>"), u"Welcome to Demo");
  title = "Other";
  EXPECT_EQ(fields.ExpandFields(u"<%SETUPTITLE%>"), u"Other");
  title = "<%SETUPTITLE%>";
  EXPECT_EQ(fields.ExpandFields(u"<%SETUPTITLE%>"), u"<%SETUPTITLE%>");
}

// A hexadecimal value may have any number of leading zeros; only what does
// not fit into 32 bits is refused.
TEST(ZUILanguage, HexadecimalWithLeadingZeros) {
  EXPECT_EQ(ParseInteger("$0000000FF"), 255);
  EXPECT_EQ(ParseInteger("$00000000000000000409"), 0x409);
  EXPECT_EQ(ParseInteger("$000000000"), 0);
  EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);
  EXPECT_THROW(ParseInteger("$100000000"), ESetupError);
  EXPECT_THROW(ParseInteger("$"), ESetupError);
  EXPECT_THROW(ParseInteger("$000G"), ESetupError);
}
