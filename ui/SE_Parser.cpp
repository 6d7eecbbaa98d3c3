#include "ui/SE_Parser.h"

#include <algorithm>
#include <cctype>

#include "common/Exceptions.h"
#include "common/Prompt.h"
#include "common/Strings.h"
#include "package/ZUI_PakFile.h"
#include "ui/ZUI_Language.h"

namespace {

constexpr char kMissingCaption[] = "Missing File";
constexpr char kMissingLayout[] = "Error File Missing: |";
constexpr char kMissingPageSet[] = "Error File Missing: ";
constexpr char kRichEditCaption[] = "Rich Edit Error";
constexpr char kRichEditTemp[] = "RETL.temp";
constexpr uint16_t kStringNext = 13;
constexpr int32_t kMaxTiledSide = 4096;
constexpr uint16_t kStringInstall = 15;
constexpr uint16_t kStringFinish = 16;

using platform::WidgetFlag;
using platform::WidgetKind;

struct KindName {
  const char* Name;
  WidgetKind Kind;
};
constexpr KindName kKinds[] = {
    {"tlabel", WidgetKind::kLabel},      {"tedit", WidgetKind::kEdit},   {"tshelltreeview", WidgetKind::kShellTree},
    {"tbutton", WidgetKind::kButton},    {"timage", WidgetKind::kImage}, {"tpanel", WidgetKind::kPanel},
    {"tbevel", WidgetKind::kBevel},      {"tmemo", WidgetKind::kMemo},   {"trichedit", WidgetKind::kRichEdit},
    {"tprogressbar", WidgetKind::kGauge}};

constexpr const char* kPageTypeNames[] = {"welcome",  "changelog", "installdir", "patch",
                                          "patching", "finish",    "mainlayout", "uninstall"};

bool IsIdentifier(const std::string& Name) {
  if (Name.empty()) return false;
  auto first = static_cast<unsigned char>(Name[0]);
  if (!std::isalpha(first) && first != '_') return false;
  for (char ch : Name) {
    auto c = static_cast<unsigned char>(ch);
    if (!std::isalnum(c) && c != '_') return false;
  }
  return true;
}

bool IsTrue(const std::string& Value) { return LowerAscii(Value) == "true"; }

bool TakesFont(WidgetKind Kind) {
  return Kind == WidgetKind::kLabel || Kind == WidgetKind::kEdit || Kind == WidgetKind::kPanel ||
         Kind == WidgetKind::kMemo || Kind == WidgetKind::kRichEdit;
}

bool TakesCaption(WidgetKind Kind) {
  return Kind == WidgetKind::kLabel || Kind == WidgetKind::kPanel || Kind == WidgetKind::kButton ||
         Kind == WidgetKind::kEdit || Kind == WidgetKind::kMemo || Kind == WidgetKind::kRichEdit;
}

// Sections of a text as the layouts and the page set group them: empty lines
// skipped, a "[" line starts a new section.
template <class Apply>
void ForEachSection(const TStringList& Lines, Apply apply) {
  TStringList section;
  for (int32_t i = 0; i < Lines.Count(); ++i) {
    const std::string& line = Lines.Get(i);
    if (line.empty()) continue;
    if (line[0] == '[' && section.Count() > 0) {
      apply(section);
      section.Clear();
    }
    section.Add(line);
  }
  if (section.Count() > 0) apply(section);
}

std::string SectionName(const std::string& Header) {
  return Header.size() >= 2 ? Header.substr(1, Header.size() - 2) : std::string();
}

}  // namespace

namespace {
const std::string kNoItem;
}  // namespace

const std::string& TStringList::Get(int32_t Index) const {
  return Index < 0 || Index >= Count() ? kNoItem : items_[static_cast<size_t>(Index)];
}

TStringList ReadLines(const uint8_t* Data, size_t Size) {
  std::string text(reinterpret_cast<const char*>(Data), Size);
  text = text.substr(0, text.find('\0'));
  TStringList lines;
  auto trimmed = [](const std::string& piece) {
    size_t start = 0, end = piece.size();
    while (start < end && static_cast<unsigned char>(piece[start]) <= 0x20) ++start;
    while (end > start && static_cast<unsigned char>(piece[end - 1]) <= 0x20) --end;
    return piece.substr(start, end - start);
  };
  size_t start = 0;
  for (size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', start)) {
    lines.Add(trimmed(text.substr(start, cr - start)));
    start = cr + 1;
  }
  std::string last = trimmed(text.substr(start));
  if (!last.empty()) lines.Add(last);
  return lines;
}

const char* PageTypeName(uint8_t Type) { return Type < 8 ? kPageTypeNames[Type] : "welcome"; }

// ---------------------------------------------------------------------------
// TControlParser

void TControlParser::LoadFromEntry(const std::string& Name) {
  uint32_t size = 0;
  std::optional<TBytes> data = context_.Pak ? context_.Pak->FindEntry(Name, 0, size) : std::nullopt;
  if (!data) {
    ShowMessage(kMissingLayout + Name + "|", kMissingCaption, platform::kMbOk);
    return;
  }
  ForEachSection(ReadLines(data->data(), data->size()), [this](const TStringList& s) { BuildControl(s); });
}

void TControlParser::BuildControl(const TStringList& Section) {
  std::string typeLine = Section.Get(1);
  size_t eq = typeLine.find('=');
  std::string type = eq == std::string::npos ? std::string() : LowerAscii(typeLine.substr(eq + 1));
  const KindName* kind = nullptr;
  for (const KindName& k : kKinds) {
    if (type == k.Name) kind = &k;
  }
  if (!kind) return;
  std::string name = SectionName(Section.Get(0));
  if (!IsIdentifier(name)) throw ESetupError("Control name \"" + name + "\" is not a valid component name");
  if (!context_.Names.insert(LowerAscii(name)).second) {
    throw ESetupError("A component named " + name + " already exists");
  }
  platform::Widget& widget = context_.Form->Create(kind->Kind, name, context_.Panel);
  if (TakesCaption(kind->Kind)) widget.SetText(platform::AnsiToWide(name));
  controls_.push_back({&widget, kind->Name, WideString()});
  for (int32_t i = 2; i < Section.Count(); ++i) {
    std::string key, value;
    SplitKeyValue(Section.Get(i), key, value);
    ApplyProperty(controls_.back(), LowerAscii(key), value);
  }
}

WideString TControlParser::ExpandCaption(const WideString& Raw) const {
  WideString text = context_.Languages ? context_.Languages->ExpandLangTokens(Raw) : Raw;
  text = ReplaceText(text, u"<BR>", u"\r");
  return context_.Fields ? context_.Fields->ExpandFields(text) : text;
}

void TControlParser::ApplyProperty(TPageControl& Control, const std::string& Key, const std::string& Value) {
  platform::Widget& w = *Control.Widget;
  const WidgetKind kind = w.Kind();
  platform::Bounds b = w.GetBounds();
  if (Key == "left" || Key == "top" || Key == "width" || Key == "height") {
    int32_t v = ParseInteger(Value);
    (Key == "left" ? b.Left : Key == "top" ? b.Top : Key == "width" ? b.Width : b.Height) = v;
    w.SetBounds(b);
    return;
  }
  if (Key == "enabled") {
    w.SetEnabled(IsTrue(Value));
    return;
  }
  const bool label = kind == WidgetKind::kLabel, edit = kind == WidgetKind::kEdit;
  const bool memo = kind == WidgetKind::kMemo, rich = kind == WidgetKind::kRichEdit;
  const bool image = kind == WidgetKind::kImage, panel = kind == WidgetKind::kPanel;
  if ((Key == "caption" && (label || panel)) || (Key == "text" && edit)) {
    Control.CaptionTemplate = platform::AnsiToWide(Value);
    WideString text = ExpandCaption(Control.CaptionTemplate);
    // A panel's caption is 8-bit text.
    if (panel) text = platform::AnsiToWide(platform::WideToAnsi(text));
    w.SetText(text);
  } else if (Key == "text" && (memo || rich)) {
    w.SetText(platform::AnsiToWide(ReplaceText(Value, "<BR>", "\r")));
  } else if (TakesFont(kind) && (Key == "fontface" || Key == "fontsize" || Key == "fontcolour" || Key == "fontbold")) {
    // The control leaves the panel's font with the face, size and style it
    // had; its colour stays the panel's until a colour line.
    platform::FontSpec font = w.GetFont();
    font.ParentFont = false;
    if (Key == "fontface") font.Face = Value;
    if (Key == "fontsize") font.Size = ParseInteger(Value);
    if (Key == "fontbold") font.Bold = IsTrue(Value);
    if (Key == "fontcolour") {
      font.Colour = static_cast<uint32_t>(ParseInteger(Value));
      font.HasColour = true;
    }
    w.SetFont(font);
  } else if (Key == "autosize" && (label || edit)) {
    w.SetFlag(WidgetFlag::kAutoSize, IsTrue(Value));
  } else if (Key == "wordwrap" && label) {
    w.SetFlag(WidgetFlag::kWordWrap, IsTrue(Value));
  } else if (Key == "transparent" && (label || image)) {
    w.SetFlag(WidgetFlag::kTransparent, IsTrue(Value));
  } else if (Key == "border" && (memo || rich)) {
    w.SetFlag(WidgetFlag::kBorder, IsTrue(Value));
  } else if (Key == "file" && rich) {
    std::string entry = platform::WideToAnsi(
        context_.Fields ? context_.Fields->ExpandFields(platform::AnsiToWide(Value)) : platform::AnsiToWide(Value));
    uint32_t size = 0;
    std::optional<TBytes> data = context_.Pak ? context_.Pak->FindEntry(entry, 0, size) : std::nullopt;
    if (!data) {
      ShowMessage("Error: File \"" + entry + "\" Missing", kRichEditCaption, platform::kMbOk);
      return;
    }
    // Through a file in the temporary folder, as the box loads its lines.
    std::string temp = platform::TempPath() + kRichEditTemp;
    std::string text;
    platform::File f;
    if (f.Open(temp, platform::kAccessWrite, 0, platform::FileDisposition::kCreateAlways)) {
      f.Write(data->data(), static_cast<uint32_t>(data->size()));
      f.Close();
      if (f.Open(temp, platform::kAccessRead, platform::kShareRead, platform::FileDisposition::kOpenExisting)) {
        text.resize(static_cast<size_t>(f.Size()));
        text.resize(f.Read(text.data(), static_cast<uint32_t>(text.size())));
        f.Close();
      }
      platform::DeleteFile(temp);
    }
    w.LoadRichText(text);
  } else if (Key == "file" && image) {
    uint32_t size = 0;
    std::optional<TBytes> data = context_.Pak ? context_.Pak->FindEntry(Value, 0, size) : std::nullopt;
    if (!data) return;
    platform::Picture picture;
    std::string error;
    if (DecodePicture(Value, data->data(), data->size(), picture, error)) {
      w.SetPicture(picture);
    } else {
      context_.Form->Report("picture " + Value + " not shown: " + error);
    }
  } else if ((Key == "stretch" || Key == "center") && image) {
    w.SetFlag(Key == "stretch" ? WidgetFlag::kStretch : WidgetFlag::kCenter, IsTrue(Value));
  } else if (Key == "tile" && image) {
    const platform::Picture& tile = w.GetPicture();
    if (!IsTrue(Value) || tile.Empty()) return;
    // Sizes come from the layout's author: the tiled bitmap is bounded
    // (a wizard page is 578 x 375) so a huge control cannot exhaust memory.
    platform::Picture tiled;
    tiled.Width = static_cast<uint32_t>(std::clamp(b.Width, 0, kMaxTiledSide));
    tiled.Height = static_cast<uint32_t>(std::clamp(b.Height, 0, kMaxTiledSide));
    tiled.Pixels.assign(static_cast<size_t>(tiled.Width) * tiled.Height, 0xFFFFFF);
    for (uint32_t y = 0; y < tiled.Height; ++y) {
      for (uint32_t x = 0; x < tiled.Width; ++x) {
        tiled.Pixels[static_cast<size_t>(y) * tiled.Width + x] =
            tile.Pixels[static_cast<size_t>(y % tile.Height) * tile.Width + x % tile.Width];
      }
    }
    w.SetPicture(tiled);
  } else if ((Key == "forecolour" || Key == "backcolour") && kind == WidgetKind::kGauge) {
    platform::GaugeState gauge = w.GetGauge();
    uint32_t colour = static_cast<uint32_t>(ParseInteger(Value));
    (Key == "forecolour" ? gauge.ForeColour : gauge.BackColour) = colour;
    w.SetGauge(gauge);
  }
}

void TControlParser::HideControls() {
  for (TPageControl& c : controls_) c.Widget->SetVisible(false);
}

void TControlParser::ShowControls() {
  for (TPageControl& c : controls_) c.Widget->SetVisible(true);
}

void TControlParser::SendControlsToBack() {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) it->Widget->SendToBack();
}

void TControlParser::TranslateCaptions() {
  for (TPageControl& c : controls_) {
    WidgetKind kind = c.Widget->Kind();
    if (kind != WidgetKind::kLabel && kind != WidgetKind::kPanel) continue;
    WideString text = ExpandCaption(c.CaptionTemplate);
    if (kind == WidgetKind::kPanel) text = platform::AnsiToWide(platform::WideToAnsi(text));
    c.Widget->SetText(text);
  }
}

// ---------------------------------------------------------------------------
// TSEPageControl

TSEPageControl::TSEPageControl(platform::Widget& Back, platform::Widget&, platform::Widget& LanguageButton,
                               platform::Widget& Cancel, platform::Widget& Next, TLayoutContext& Context)
    : back_(Back), next_(Next), cancel_(Cancel), language_(LanguageButton), context_(Context) {}

void TSEPageControl::LoadPageSet(const std::string& Name) {
  uint32_t size = 0;
  std::optional<TBytes> data = context_.Pak ? context_.Pak->FindEntry(Name, 0, size) : std::nullopt;
  if (!data) {
    ShowMessage(kMissingPageSet + Name, kMissingCaption, platform::kMbOk);
    return;
  }
  ForEachSection(ReadLines(data->data(), data->size()), [this](const TStringList& s) { ApplySection(s); });
}

void TSEPageControl::ApplySection(const TStringList& Section) {
  std::string name = LowerAscii(SectionName(Section.Get(0)));
  if (name == "pages") {
    for (int32_t i = 1; i < Section.Count(); ++i) AddPage(Section.Get(i));
  } else if (name == "pagetypes") {
    for (int32_t k = 1; k < Section.Count(); ++k) {
      if (k - 1 >= PageCount()) break;
      TControlParser& page = *pages_[static_cast<size_t>(k - 1)];
      std::string type = LowerAscii(Section.Get(k));
      for (uint8_t t = 0; t < 8; ++t) {
        if (type == kPageTypeNames[t]) page.PageType = t;
      }
      if (page.PageType == kPageMainLayout) {
        page.ShowControls();
        page.SendControlsToBack();
      }
    }
  } else if (name == "settings") {
    for (int32_t i = 1; i < Section.Count(); ++i) {
      const std::string& line = Section.Get(i);
      if (LowerAscii(line.substr(0, 6)) == "colour") {
        background_ = static_cast<uint32_t>(ParseInteger(line.size() > 7 ? line.substr(7) : std::string()));
      } else if (LowerAscii(line.substr(0, 10)) == "fontcolour") {
        fontColour_ = static_cast<uint32_t>(ParseInteger(line.size() > 11 ? line.substr(11) : std::string()));
      }
    }
  }
}

void TSEPageControl::AddPage(const std::string& Layout) {
  auto page = std::make_unique<TControlParser>(context_);
  page->LoadFromEntry(Layout);
  page->HideControls();
  pages_.push_back(std::move(page));
  if (pages_.size() == 1) ShowPage(0);
}

void TSEPageControl::ShowPage(int32_t Index) {
  if (Index < 0 || Index >= PageCount()) return;
  current_ = Index;
  back_.SetVisible(current_ != 0);
  next_.SetEnabled(true);
  cancel_.SetEnabled(true);
  const TLanguages* text = context_.Languages;
  auto string = [text](uint16_t n) { return text ? text->GetString(n) : WideString(); };
  next_.SetText(string(kStringNext));
  switch (PageType(current_)) {
    case kPagePatch:
      next_.SetText(string(kStringInstall));
      break;
    case kPagePatching:
    case kPageUninstall:
      back_.SetVisible(false);
      next_.SetEnabled(false);
      cancel_.SetEnabled(false);
      language_.SetVisible(false);
      break;
    case kPageFinish:
      cancel_.SetText(string(kStringFinish));
      back_.SetVisible(false);
      next_.SetVisible(false);
      break;
    default:
      break;
  }
  for (int32_t i = 0; i < PageCount(); ++i) {
    TControlParser& page = *pages_[static_cast<size_t>(i)];
    if (i == current_ || page.PageType == kPageMainLayout) {
      page.ShowControls();
    } else {
      page.HideControls();
    }
  }
}

void TSEPageControl::TranslatePages() {
  for (auto& page : pages_) page->TranslateCaptions();
}
