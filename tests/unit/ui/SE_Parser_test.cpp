// The layout language and the page set: lines, sections, kinds, properties,
// captions, pictures, failures; pages, types, settings and the buttons.
#include <gtest/gtest.h>

#include "tests/support/WizardFixture.h"
#include "ui/JpegPicture.h"

#ifndef _WIN32
#include "platform/host/HostMachine.h"
#endif

using platform::WidgetFlag;
using platform::WidgetKind;

namespace {

std::vector<std::string> Lines(const std::string& Text) {
  TStringList list = ReadLines(reinterpret_cast<const uint8_t*>(Text.data()), Text.size());
  std::vector<std::string> out;
  for (int32_t i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

std::string Jpeg(uint32_t Width, uint32_t Height) {
  TRgbImage image;
  image.Width = Width;
  image.Height = Height;
  image.Pixels.assign(static_cast<size_t>(Width) * Height * 3, 0x80);
  TBytes out;
  std::string error;
  EXPECT_TRUE(EncodeJpeg(image, 90, out, error)) << error;
  return std::string(out.begin(), out.end());
}

}  // namespace

// Lines end at CR only; each is trimmed of characters up to 0x20; empty lines
// stay; text after a NUL is not seen; a last piece counts only when not empty.
TEST(SE_Parser, LineReader) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\r\n\r\n  b \t\r\nlast", {"a", "", "b", "last"}},
      {"a\nb\r\n", {"a\nb"}},
      {std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
      {"\r\n", {""}},
      {"", {}},
      {"x\r  ", {"x"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lines(c.text), c.lines) << c.text;
  TStringList list;
  list.Add("one");
  EXPECT_EQ(list.Get(-1), "");
  EXPECT_EQ(list.Get(1), "");
  EXPECT_EQ(list.Get(0), "one");
}

// The type line: only the text after its first "=", any key, any case; a
// section with no known type creates nothing.
TEST(SE_Parser, TypeLineVariants) {
  WizardFixture f;
  REQUIRE_FORM(f);
  auto page = f.Page(
      "[Alone]\r\n[TypeOnly]\r\nType=TLABEL\r\n[OtherKey]\r\nKind=tlabel\r\n[NoKind]\r\nLeft=220\r\n"
      "[Unknown]\r\nType=TRadioButton\r\nLeft=1\r\n[Tree]\r\nType=tshelltreeview\r\n[Bar]\r\nType=TProgressBar\r\n"
      "[Push]\r\nType=TButton\r\nCaption=ignored\r\n");
  std::vector<std::pair<std::string, std::string>> made;
  for (const TPageControl& c : page->Controls()) made.emplace_back(c.Widget->Name(), c.Kind);
  EXPECT_EQ(made, (std::vector<std::pair<std::string, std::string>>{{"TypeOnly", "tlabel"},
                                                                    {"OtherKey", "tlabel"},
                                                                    {"Tree", "tshelltreeview"},
                                                                    {"Bar", "tprogressbar"},
                                                                    {"Push", "tbutton"}}));
  // Defaults: a label shows its name and sizes itself; a button takes no
  // caption line; the bar starts at 200 x 40, 0 of 100.
  EXPECT_EQ(page->Controls()[0].Widget->GetText(), u"TypeOnly");
  EXPECT_TRUE(page->Controls()[0].Widget->GetFlag(WidgetFlag::kAutoSize));
  EXPECT_EQ(page->Controls()[4].Widget->GetText(), u"Push");
  platform::GaugeState bar = page->Controls()[3].Widget->GetGauge();
  EXPECT_EQ(bar.Maximum, 100);
  EXPECT_EQ(page->Controls()[3].Widget->GetBounds(), (platform::Bounds{0, 0, 200, 40}));
}

// Keys compare without case but with their blanks; unknown keys (comments)
// are ignored; later lines override earlier ones; booleans are "true" only.
TEST(SE_Parser, PropertyLines) {
  WizardFixture f;
  REQUIRE_FORM(f);
  auto page = f.Page(
      "[L]\r\nType=TLabel\r\nautosize=false\r\nLeft = 220\r\nLEFT=10\r\n;Top=112\r\nTop=253\r\nWidth=$10\r\n"
      "Height=2\r\nFONTBOLD=True\r\nFontFace=Arial\r\nFontSize=12\r\nwordwrap=TRUE\r\ntransparent=yes\r\n"
      "no equals sign\r\n[M]\r\nType=TMemo\r\nText=line one<br>line two\r\nborder=false\r\nfontbold=yes\r\n"
      "[N]\r\nType=TMemo\r\nText=<LANG1>\r\n[E]\r\nType=TEdit\r\nText=\r\nenabled=false\r\n");
  ASSERT_EQ(page->Controls().size(), 4u);
  platform::Widget& l = *page->Controls()[0].Widget;
  EXPECT_EQ(l.GetBounds(), (platform::Bounds{10, 253, 16, 2}));
  platform::FontSpec font = l.GetFont();
  EXPECT_FALSE(font.ParentFont);
  EXPECT_EQ(font.Face, "Arial");
  EXPECT_EQ(font.Size, 12);
  EXPECT_TRUE(font.Bold);
  EXPECT_FALSE(font.HasColour);  // the panel's colour until a colour line
  EXPECT_TRUE(l.GetFlag(WidgetFlag::kWordWrap));
  EXPECT_FALSE(l.GetFlag(WidgetFlag::kTransparent));
  EXPECT_FALSE(l.GetFlag(WidgetFlag::kAutoSize));
  platform::Widget& m = *page->Controls()[1].Widget;
  EXPECT_EQ(m.GetText(), u"line one\rline two");
  EXPECT_FALSE(m.GetFlag(WidgetFlag::kBorder));
  EXPECT_FALSE(m.GetFont().Bold);
  EXPECT_EQ(page->Controls()[2].Widget->GetText(), u"<LANG1>");  // no tokens in a memo
  EXPECT_EQ(page->Controls()[3].Widget->GetText(), u"");         // "Text=" empties the name
  EXPECT_FALSE(page->Controls()[3].Widget->IsEnabled());
}

// A caption's expansion: language tokens (exact case), "<BR>" (any case), template
// fields; the raw value is kept and expanded again on translation.
TEST(SE_Parser, CaptionsAndTranslation) {
  WizardFixture f;
  REQUIRE_FORM(f);
  f.AddLanguage("Deutsch\r\n0407;\r\n1 Willkommen\r\n");
  auto page = f.Page(
      "[A]\r\nType=TLabel\r\nCaption=<LANG2>\r\n[B]\r\nType=TLabel\r\nCaption=<LANG99>\r\n"
      "[C]\r\nType=TLabel\r\nCaption=<lang1> and<br>more\r\n[D]\r\nType=TLabel\r\nCaption=<LANG1>!\r\n"
      "[P]\r\nType=TPanel\r\nCaption=<LANG1>\r\n[E]\r\nType=TEdit\r\nText=<LANG1>\r\n");
  const auto& c = page->Controls();
  EXPECT_EQ(c[0].Widget->GetText(), u"Line one\rline two for Demo");
  EXPECT_EQ(c[1].Widget->GetText(), u"NOT FOUND 99");
  EXPECT_EQ(c[2].Widget->GetText(), u"<lang1> and\rmore");
  EXPECT_EQ(c[3].Widget->GetText(), u"Welcome!");
  EXPECT_EQ(c[4].Widget->GetText(), u"Welcome");
  EXPECT_EQ(c[3].CaptionTemplate, u"<LANG1>!");
  f.languages.CurrentIndex = 1;
  f.shortTitle = "Other";
  page->TranslateCaptions();
  EXPECT_EQ(c[3].Widget->GetText(), u"Willkommen!");
  EXPECT_EQ(c[4].Widget->GetText(), u"Willkommen");
  EXPECT_EQ(c[1].Widget->GetText(), u"NOT FOUND 99");
  EXPECT_EQ(c[5].Widget->GetText(), u"Welcome");  // an edit box keeps its text
}

// What stops the page set: a bad integer (with the conversion text), an
// invalid or duplicate name (across pages too), a broken language token.
TEST(SE_Parser, FailuresThatStopLoading) {
  {
    // A name used on another page of the same set.
    WizardFixture f;
    REQUIRE_FORM(f);
    f.Pack({{"One.txt", "[Title]\r\nType=TLabel\r\n"}, {"Two.txt", "[TITLE]\r\nType=TBevel\r\n"}});
    TControlParser one(f.context), two(f.context);
    one.LoadFromEntry("One.txt");
    EXPECT_THROW(two.LoadFromEntry("Two.txt"), ESetupError);
  }
  struct Case {
    std::string layout;
    std::string message;
  } cases[] = {
      {"[A]\r\nType=TLabel\r\nLeft=12px\r\n", "'12px' is not a valid integer value"},
      {"[A]\r\nType=TLabel\r\nfontcolour=red\r\n", "'red' is not a valid integer value"},
      {"[1st]\r\nType=TLabel\r\n", "Control name \"1st\" is not a valid component name"},
      {"[a-b]\r\nType=TLabel\r\n", "Control name \"a-b\" is not a valid component name"},
      {"[Twice]\r\nType=TLabel\r\n[twice]\r\nType=TEdit\r\n", "A component named twice already exists"},
  };
  for (const Case& c : cases) {
    WizardFixture g;
    try {
      g.Page(c.layout);
      ADD_FAILURE() << "no error for " << c.layout;
    } catch (const ESetupError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  WizardFixture h;
  EXPECT_THROW(h.Page("[A]\r\nType=TLabel\r\nCaption=<LANGx>\r\n"), ESetupError);
}

#ifndef _WIN32
// Missing entries: the layout's box with bars, the rich text's box; a missing
// picture shows nothing. The rich text goes through "RETL.temp", which is
// gone afterwards.
TEST(SE_Parser, MissingEntriesAndRichText) {
  WizardFixture f;
  REQUIRE_FORM(f);
  platform::host::Transcript().clear();
  f.Pack(
      {{"Page.txt",
        "[R]\r\nType=TRichEdit\r\nfile=<%SETUPSHORTTITLE%>.rtf\r\nLeft=5\r\n[Q]\r\nType=TRichEdit\r\nfile=log.rtf\r\n"
        "[T]\r\nType=TRichEdit\r\nfile=plain.txt\r\n[I]\r\nType=TImage\r\nfile=none.jpg\r\n"},
       {"log.rtf", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 First\\par Second \\'e9\\u8364?\\par}"},
       {"plain.txt", "one\r\ntwo"}});
  TControlParser page(f.context), missing(f.context);
  page.LoadFromEntry("Page.txt");
  missing.LoadFromEntry("Nowhere.txt");
  auto& t = platform::host::Transcript();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].Caption, "Rich Edit Error");
  EXPECT_EQ(t[0].Text, "Error: File \"Demo.rtf\" Missing");
  EXPECT_EQ(t[1].Caption, "Missing File");
  EXPECT_EQ(t[1].Text, "Error File Missing: |Nowhere.txt|");
  EXPECT_TRUE(missing.Controls().empty());
  const auto& c = page.Controls();
  EXPECT_EQ(c[0].Widget->GetText(), u"R");  // stays empty of file text; its other lines apply
  EXPECT_EQ(c[0].Widget->GetBounds().Left, 5);
  EXPECT_EQ(c[1].Widget->GetText(), u"First\rSecond \u00e9\u20ac");
  EXPECT_EQ(c[2].Widget->GetText(), u"one\rtwo");
  EXPECT_TRUE(c[3].Widget->GetPicture().Empty());
  EXPECT_FALSE(platform::FileExists(platform::TempPath() + "RETL.temp"));
}
#endif

// "tile" works only after a picture is loaded: the control is then covered
// with copies of it, clipped at its edges.
TEST(SE_Parser, TileAfterFile) {
  WizardFixture f;
  REQUIRE_FORM(f);
  f.Pack({{"Page.txt",
           "[Before]\r\nType=TImage\r\nWidth=50\r\nHeight=30\r\ntile=true\r\nfile=Side.jpg\r\n"
           "[After]\r\nType=TImage\r\nWidth=50\r\nHeight=30\r\nfile=Side.jpg\r\nTile=TRUE\r\nstretch=true\r\n"},
          {"Side.jpg", Jpeg(16, 8)}});
  TControlParser page(f.context);
  page.LoadFromEntry("Page.txt");
  const platform::Picture& before = page.Controls()[0].Widget->GetPicture();
  EXPECT_EQ(before.Width, 16u);
  EXPECT_EQ(before.Height, 8u);
  const platform::Picture& after = page.Controls()[1].Widget->GetPicture();
  EXPECT_EQ(after.Width, 50u);
  EXPECT_EQ(after.Height, 30u);
  EXPECT_EQ(after.Pixels[0], after.Pixels[16]);  // the next copy starts at x = 16
  EXPECT_TRUE(page.Controls()[1].Widget->GetFlag(WidgetFlag::kStretch));
  // A control far larger than any page gets a bounded picture.
  WizardFixture g;
  g.Pack({{"Page.txt", "[Huge]\r\nType=TImage\r\nWidth=2000000000\r\nHeight=-5\r\nfile=Side.jpg\r\ntile=true\r\n"},
          {"Side.jpg", Jpeg(16, 8)}});
  TControlParser huge(g.context);
  huge.LoadFromEntry("Page.txt");
  EXPECT_EQ(huge.Controls()[0].Widget->GetPicture().Width, 4096u);
  EXPECT_EQ(huge.Controls()[0].Widget->GetPicture().Height, 0u);
}

// Bitmaps and icons decode to their pixels; damaged or unknown pictures are
// refused with a reason, never read past their data.
TEST(SE_Parser, PictureFormats) {
  // A 2 x 2 24-bit bitmap, stored bottom-up: blue, green over red, white.
  std::string bmp = "BM" + std::string(4, '\0') + std::string(4, '\0') + std::string("\x36\0\0\0", 4);
  std::string dib = std::string("\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0", 16) + std::string(24, '\0');
  std::string pixels = std::string("\0\0\xff\xff\xff\xff\0\0", 8) + std::string("\xff\0\0\0\xff\0\0\0", 8);
  std::string file = bmp + dib + pixels;
  platform::Picture p;
  std::string error;
  ASSERT_TRUE(DecodePicture("a.BMP", reinterpret_cast<const uint8_t*>(file.data()), file.size(), p, error)) << error;
  EXPECT_EQ(p.Pixels, (std::vector<uint32_t>{0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}));
  // The same image in an icon, with its mask (height doubled in the header).
  std::string icoDib = dib;
  icoDib[8] = 4;
  std::string ico = std::string("\0\0\1\0\1\0\x02\x02\0\0\1\0\x18\0", 14) + std::string("\0\0\0\0\x16\0\0\0", 8);
  uint32_t size = static_cast<uint32_t>(icoDib.size() + pixels.size() + 8);
  ico[14] = static_cast<char>(size);
  std::string icon = ico + icoDib + pixels + std::string(8, '\0');
  ASSERT_TRUE(DecodePicture("i.ico", reinterpret_cast<const uint8_t*>(icon.data()), icon.size(), p, error)) << error;
  EXPECT_EQ(p.Width, 2u);
  EXPECT_EQ(p.Height, 2u);
  EXPECT_EQ(p.Pixels[0], 0x0000FFu);
  for (size_t cut : {size_t{10}, size_t{30}, file.size() - 1}) {
    EXPECT_FALSE(DecodePicture("a.bmp", reinterpret_cast<const uint8_t*>(file.data()), cut, p, error)) << cut;
  }
  EXPECT_FALSE(DecodePicture("a.wmf", nullptr, 0, p, error));
  EXPECT_EQ(error, "the metafile is empty or too large");
  EXPECT_FALSE(DecodePicture("a.gif", nullptr, 0, p, error));
}

// The page set: pages in order, types by position (case-insensitive, unknown
// or missing ones welcome), the main layout always shown, the settings.
TEST(SE_Parser, PageSet) {
  WizardFixture f;
  REQUIRE_FORM(f);
  std::vector<PakEntry> entries = {
      {"Pages.txt",
       "[Pages]\r\nlayout.txt\r\nINSTALL.TXT\r\nlayout3.txt\r\nlayout4.txt\r\nlayout5.txt\r\nmainlayout.txt\r\n"
       "[Other]\r\nignored\r\n[PageTypes]\r\nWelcome\r\nInstallDir\r\nPATCH\r\nPatching\r\nFinish\r\nMainLayout\r\n"
       "Extra\r\n[Settings]\r\ncolour=$FF0000\r\nfontcolour $FFFFFF\r\nsomething else\r\n"}};
  const char* names[] = {"Layout.txt", "Install.txt", "Layout3.txt", "Layout4.txt", "Layout5.txt", "MainLayout.txt"};
  for (int i = 0; i < 6; ++i) {
    entries.push_back({names[i], "[C" + std::to_string(i) + "]\r\nType=TLabel\r\n"});
  }
  f.Pack(entries);
  platform::Form& form = *f.form;
  platform::Widget& back = form.Create(WidgetKind::kButton, "BackButton", nullptr);
  platform::Widget& next = form.Create(WidgetKind::kButton, "NextButton", nullptr);
  platform::Widget& cancel = form.Create(WidgetKind::kButton, "CancelButton", nullptr);
  platform::Widget& language = form.Create(WidgetKind::kButton, "LanguageButton", nullptr);
  TSEPageControl pages(back, *f.context.Panel, language, cancel, next, f.context);
  pages.LoadPageSet("Pages.txt");
  ASSERT_EQ(pages.PageCount(), 6);
  std::vector<int> types;
  for (int i = 0; i < 6; ++i) types.push_back(pages.PageType(i));
  EXPECT_EQ(types, (std::vector<int>{0, 2, 3, 4, 5, 6}));
  EXPECT_EQ(pages.BackgroundColour(), 0xFF0000u);  // the 7th character is skipped whatever it is
  EXPECT_EQ(pages.FontColour(), 0xFFFFFFu);

  auto visible = [&] {
    std::string out;
    for (int i = 0; i < 6; ++i) out += pages.Page(i).Controls()[0].Widget->IsVisible() ? '1' : '0';
    return out;
  };
  EXPECT_EQ(pages.CurrentPage(), 0);
  EXPECT_EQ(visible(), "100001");
  EXPECT_FALSE(back.IsVisible());
  pages.ShowPage(2);  // patch
  EXPECT_EQ(visible(), "001001");
  EXPECT_TRUE(back.IsVisible());
  EXPECT_EQ(next.GetText(), u"Install");
  pages.ShowPage(-1);
  pages.ShowPage(6);
  EXPECT_EQ(pages.CurrentPage(), 2);
  pages.ShowPage(3);  // patching
  EXPECT_FALSE(back.IsVisible());
  EXPECT_FALSE(next.IsEnabled());
  EXPECT_FALSE(cancel.IsEnabled());
  EXPECT_FALSE(language.IsVisible());
  EXPECT_EQ(next.GetText(), u"Next >");
  pages.ShowPage(4);  // finish
  EXPECT_EQ(cancel.GetText(), u"Finish");
  EXPECT_TRUE(cancel.IsEnabled());
  EXPECT_FALSE(next.IsVisible());
  pages.ShowPage(0);  // nothing shown again that a working or finish page hid
  EXPECT_FALSE(next.IsVisible());
  EXPECT_FALSE(language.IsVisible());
  EXPECT_EQ(cancel.GetText(), u"Finish");
}

#ifndef _WIN32
// Fewer types than pages leave the rest welcome; "Colour $0000FF" is red; a
// missing page set shows its box without bars; a bad colour stops loading.
TEST(SE_Parser, PageSetEdges) {
  WizardFixture f;
  REQUIRE_FORM(f);
  platform::host::Transcript().clear();
  f.Pack({{"Pages.txt",
           "[PageTypes]\r\nfinish\r\n[Pages]\r\nA.txt\r\nB.txt\r\n[PageTypes]\r\nPatch\r\n[settings]\r\nColour "
           "$0000FF\r\n"},
          {"Bad.txt", "[Settings]\r\ncolour blue\r\n"}});
  platform::Form& form = *f.form;
  platform::Widget& b = form.Create(WidgetKind::kButton, "B", nullptr);
  TSEPageControl pages(b, *f.context.Panel, b, b, b, f.context);
  pages.LoadPageSet("Pages.txt");
  ASSERT_EQ(pages.PageCount(), 2);
  EXPECT_EQ(pages.PageType(0), kPagePatch);
  EXPECT_EQ(pages.PageType(1), kPageWelcome);
  EXPECT_EQ(pages.BackgroundColour(), 0x0000FFu);
  auto& t = platform::host::Transcript();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].Text, "Error File Missing: |A.txt|");
  TSEPageControl none(b, *f.context.Panel, b, b, b, f.context);
  none.LoadPageSet("Nothing.txt");
  EXPECT_EQ(t.back().Caption, "Missing File");
  EXPECT_EQ(t.back().Text, "Error File Missing: Nothing.txt");
  EXPECT_EQ(none.PageCount(), 0);
  EXPECT_THROW(none.LoadPageSet("Bad.txt"), ESetupError);
}
#endif

// The drawn bar: range rules, rounded percentage, truncated caption, and the
// pixels: border, fill from x = 2, back colour for the rest.
TEST(SE_Parser, GaugeRulesAndDrawing) {
  platform::GaugeState g;
  g.SetMaximum(0);  // not above the minimum: ignored
  EXPECT_EQ(g.Maximum, 100);
  g.SetMaximum(3);
  g.SetPosition(5);
  EXPECT_EQ(g.Position, 3);
  g.SetPosition(2);
  EXPECT_EQ(g.Percent(), 67);
  EXPECT_EQ(g.Caption(), "66%");
  g.SetMinimum(3);  // not below the maximum: ignored
  EXPECT_EQ(g.Minimum, 0);
  std::vector<uint32_t> px;
  g.ForeColour = 0x0000FF;  // red, as 0x00BBGGRR
  platform::DrawGauge(g, 13, 6, px);
  auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * 13 + x]; };
  EXPECT_EQ(at(0, 0), 0x5A6E87u);  // the border colour $876E5A as RGB
  EXPECT_EQ(at(2, 2), 0xFF0000u);  // filled: (13 - 3) * 67 / 100 = 6 pixels from x = 2
  EXPECT_EQ(at(7, 4), 0xFF0000u);
  EXPECT_EQ(at(8, 2), 0xFFFFFFu);  // back colour
  EXPECT_EQ(at(2, 5), 0x5A6E87u);  // the bottom border
  platform::GaugeState empty;
  empty.Maximum = 0;
  EXPECT_EQ(empty.Caption(), "0%");
}
