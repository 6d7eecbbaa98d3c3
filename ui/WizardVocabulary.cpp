#include "ui/WizardVocabulary.h"

#include <algorithm>

#include "common/Prompt.h"
#include "common/Strings.h"
#include "package/ZUI_PakFile.h"
#include "ui/SE_Parser.h"
#include "ui/ZUI_Language.h"

namespace {

using platform::WidgetFlag;
using platform::WidgetKind;

constexpr char kRichEditCaption[] = "Rich Edit Error";
constexpr int32_t kMaxTiledSide = 4096;

bool IsTrue(const std::string& Value) { return SameTextAscii(Value, "true"); }

platform::Widget& WidgetOf(const TPropertyCall& c) { return *c.Control.Widget; }

// "left", "top", "width", "height".
void SetBound(const TPropertyCall& c) {
  platform::Bounds b = WidgetOf(c).GetBounds();
  int32_t v = ParseInteger(c.Value);
  (c.Key == "left" ? b.Left : c.Key == "top" ? b.Top : c.Key == "width" ? b.Width : b.Height) = v;
  WidgetOf(c).SetBounds(b);
}

void SetEnabled(const TPropertyCall& c) { WidgetOf(c).SetEnabled(IsTrue(c.Value)); }

// A caption kept as its template and shown expanded (language tokens, "<BR>",
// template fields); translation expands the template again.
void SetCaption(const TPropertyCall& c) {
  c.Control.CaptionTemplate = platform::TextToWide(c.Value);
  WidgetOf(c).SetText(ShownCaption(c.Context, c.Control));
}

// A box's text: "<BR>" as a line break, nothing else expanded.
void SetPlainText(const TPropertyCall& c) {
  WidgetOf(c).SetText(platform::TextToWide(ReplaceText(c.Value, "<BR>", "\r")));
}

// "fontface", "fontsize", "fontbold", "fontcolour". The control leaves the
// panel's font with the face, size and style it had; its colour stays the
// panel's until a colour line.
void SetFont(const TPropertyCall& c) {
  platform::FontSpec font = WidgetOf(c).GetFont();
  font.ParentFont = false;
  if (c.Key == "fontface") font.Face = c.Value;
  if (c.Key == "fontsize") font.Size = ParseInteger(c.Value);
  if (c.Key == "fontbold") font.Bold = IsTrue(c.Value);
  if (c.Key == "fontcolour") {
    font.Colour = static_cast<uint32_t>(ParseInteger(c.Value));
    font.HasColour = true;
  }
  WidgetOf(c).SetFont(font);
}

// The boolean properties, each its flag.
void SetFlag(const TPropertyCall& c) {
  static const std::pair<const char*, WidgetFlag> kFlags[] = {
      {"autosize", WidgetFlag::kAutoSize},       {"wordwrap", WidgetFlag::kWordWrap},
      {"transparent", WidgetFlag::kTransparent}, {"border", WidgetFlag::kBorder},
      {"stretch", WidgetFlag::kStretch},         {"center", WidgetFlag::kCenter},
      {"checked", WidgetFlag::kChecked}};
  for (const auto& [key, flag] : kFlags) {
    if (c.Key == key) WidgetOf(c).SetFlag(flag, IsTrue(c.Value));
  }
}

// A rich-text box's lines from a packed entry (template fields in its name),
// handed to the box from memory.
void LoadRichFile(const TPropertyCall& c) {
  std::string entry = platform::WideToUtf8(
      c.Context.Fields ? c.Context.Fields->ExpandFields(platform::TextToWide(c.Value)) : platform::TextToWide(c.Value));
  std::optional<TBytes> data = LayoutEntry(c.Context, entry);
  if (!data) {
    if (c.Context.Problems) {
      c.Context.Problems->Add(TLayoutFault::kNoFile, c.Value, entry);
    } else {
      ShowMessage(Concat({"Error: File \"", entry, "\" Missing"}), kRichEditCaption, platform::kMbOk);
    }
    return;
  }
  std::string text(data->begin(), data->end());
  // Plain text's lines end at a carriage return, as a rich-text box keeps
  // them (a text written on Linux has line feeds alone).
  if (text.compare(0, 5, "{\\rtf") != 0) {
    text = ReplaceText(text, "\r\n", "\r");
    std::replace(text.begin(), text.end(), '\n', '\r');
  }
  WidgetOf(c).LoadRichText(text);
}

// A picture from a packed entry; one the program cannot decode is reported
// and not shown.
void LoadPicture(const TPropertyCall& c) {
  std::optional<TBytes> data = LayoutEntry(c.Context, c.Value);
  if (!data) {
    if (c.Context.Problems) c.Context.Problems->Add(TLayoutFault::kNoPicture, c.Value);
    return;
  }
  platform::Picture picture;
  std::string error;
  if (DecodePicture(c.Value, data->data(), data->size(), picture, error)) {
    WidgetOf(c).SetPicture(picture);
  } else if (c.Context.Problems) {
    c.Context.Problems->Add(TLayoutFault::kBadPicture, c.Value, error);
  } else if (c.Context.Form) {
    c.Context.Form->Report(Concat({"picture ", c.Value, " not shown: ", error}));
  }
}

// The picture repeated over the control. Sizes come from the layout's
// author: the tiled bitmap is bounded (a wizard page is 578 x 375) so a huge
// control cannot exhaust memory.
void TilePicture(const TPropertyCall& c) {
  platform::Widget& w = WidgetOf(c);
  const platform::Picture& tile = w.GetPicture();
  if (!IsTrue(c.Value) || tile.Empty()) return;
  platform::Bounds b = w.GetBounds();
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
}

// "forecolour", "backcolour" of a gauge.
void SetGaugeColour(const TPropertyCall& c) {
  platform::GaugeState gauge = WidgetOf(c).GetGauge();
  (c.Key == "forecolour" ? gauge.ForeColour : gauge.BackColour) = static_cast<uint32_t>(ParseInteger(c.Value));
  WidgetOf(c).SetGauge(gauge);
}

constexpr TPropertyRow kEveryControl[] = {
    {"left", SetBound}, {"top", SetBound}, {"width", SetBound}, {"height", SetBound}, {"enabled", SetEnabled}};
const TControlKind kControlKinds[] = {
    {"tlabel",
     WidgetKind::kLabel,
     kShowsName | kRetranslated,
     {{"caption", SetCaption},
      {"fontface", SetFont},
      {"fontsize", SetFont},
      {"fontcolour", SetFont},
      {"fontbold", SetFont},
      {"autosize", SetFlag},
      {"wordwrap", SetFlag},
      {"transparent", SetFlag}},
     kDumpFont | kDumpTransparent | kDumpAutoSize | kDumpWordWrap},
    {"tedit",
     WidgetKind::kEdit,
     kShowsName,
     {{"text", SetCaption},
      {"fontface", SetFont},
      {"fontsize", SetFont},
      {"fontcolour", SetFont},
      {"fontbold", SetFont},
      {"autosize", SetFlag}},
     kDumpFont | kDumpAutoSize},
    {"tshelltreeview", WidgetKind::kShellTree, kTranscribesPath, {}, 0},
    {"tbutton", WidgetKind::kButton, kShowsName, {}, 0},
    {"timage",
     WidgetKind::kImage,
     kNotTranscribed,
     {{"transparent", SetFlag},
      {"file", LoadPicture},
      {"stretch", SetFlag},
      {"center", SetFlag},
      {"tile", TilePicture}},
     kDumpTransparent | kDumpPicture},
    {"tpanel",
     WidgetKind::kPanel,
     kShowsName | kRetranslated | kEightBitCaption,
     {{"caption", SetCaption},
      {"fontface", SetFont},
      {"fontsize", SetFont},
      {"fontcolour", SetFont},
      {"fontbold", SetFont}},
     kDumpFont},
    {"tbevel", WidgetKind::kBevel, kNotTranscribed, {}, 0},
    {"tmemo",
     WidgetKind::kMemo,
     kShowsName,
     {{"text", SetPlainText},
      {"fontface", SetFont},
      {"fontsize", SetFont},
      {"fontcolour", SetFont},
      {"fontbold", SetFont},
      {"border", SetFlag}},
     kDumpFont | kDumpBorder},
    {"trichedit",
     WidgetKind::kRichEdit,
     kShowsName,
     {{"text", SetPlainText},
      {"fontface", SetFont},
      {"fontsize", SetFont},
      {"fontcolour", SetFont},
      {"fontbold", SetFont},
      {"border", SetFlag},
      {"file", LoadRichFile}},
     kDumpFont | kDumpBorder},
    {"tprogressbar",
     WidgetKind::kGauge,
     0,
     {{"forecolour", SetGaugeColour}, {"backcolour", SetGaugeColour}},
     kDumpGauge},
    {"tcheckbox",
     WidgetKind::kCheckBox,
     kShowsName | kRetranslated,
     {{"caption", SetCaption},
      {"fontface", SetFont},
      {"fontsize", SetFont},
      {"fontcolour", SetFont},
      {"fontbold", SetFont},
      {"checked", SetFlag}},
     kDumpFont | kDumpChecked},
};

}  // namespace

const TControlKind* ControlKindOfLayoutName(const std::string& LayoutName) {
  for (const TControlKind& k : kControlKinds) {
    if (LayoutName == k.LayoutName) return &k;
  }
  return nullptr;
}

std::string ControlKindList() {
  std::string list;
  for (const TControlKind& k : kControlKinds) list += (list.empty() ? "" : ", ") + std::string(k.LayoutName);
  return list;
}

const TControlKind* ControlKindOf(platform::WidgetKind Kind) {
  for (const TControlKind& k : kControlKinds) {
    if (k.Kind == Kind) return &k;
  }
  return nullptr;
}

TPropertyHandler PropertyHandler(const TControlKind& Kind, const std::string& Key) {
  for (const TPropertyRow& p : Kind.Properties) {
    if (Key == p.Key) return p.Apply;
  }
  for (const TPropertyRow& p : kEveryControl) {
    if (Key == p.Key) return p.Apply;
  }
  return nullptr;
}

const TWizardButton kWizardButtons[kWizardButtonCount] = {
    {"BackButton", "back", {344, 384, 73, 25}},
    {"NextButton", "next", {416, 384, 73, 25}},
    {"CancelButton", "cancel", {496, 384, 75, 25}},
    {"LanguageButton", "language", {8, 384, 89, 25}},
};

namespace {
using platform::ActionKey;
using platform::ActionKind;
// Built with the program's other constants, before main: a table made on
// first use would need a guard against two threads.
const platform::ActionTable kWizardActions = {
    {"start", ActionKind::kStart},
    {"next", ActionKind::kPress, "NextButton", "Next button", "", ActionKey::kEnter},
    {"back", ActionKind::kPress, "BackButton", "Back button"},
    {"cancel", ActionKind::kPress, "CancelButton", "Cancel button", "", ActionKey::kEscape},
    {"close", ActionKind::kClose},
    {"language", ActionKind::kPressAndPick, "LanguageButton", "language button", "N"},
    {"dir", ActionKind::kType, kInstallDirEditName, "install-directory box", "TEXT"},
    {"tree", ActionKind::kSelectFolder, kInstallDirTreeName, "folder tree", "PATH"},
    {"accept", ActionKind::kPress, kLicenseAcceptName, "licence check box"},
    {"debug", ActionKind::kDebugKey},
};
}  // namespace

const platform::ActionTable& WizardActions() { return kWizardActions; }
