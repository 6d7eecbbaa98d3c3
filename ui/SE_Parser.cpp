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
constexpr uint16_t kStringNext = 13;
constexpr uint16_t kStringInstall = 15;
constexpr uint16_t kStringFinish = 16;

using platform::WidgetKind;

constexpr const char* kPageTypeNames[kPageTypeCount] = {"welcome", "changelog",  "installdir", "patch",  "patching",
                                                        "finish",  "mainlayout", "uninstall",  "license"};

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
    section.Add(line, Lines.LineOf(i));
  }
  if (section.Count() > 0) apply(section);
}

std::string SectionName(const std::string& Header) {
  return Header.size() >= 2 ? Header.substr(1, Header.size() - 2) : std::string();
}

// A name the setup refuses: raised, or under the builder's check recorded at
// Line (false: the reading goes on without it).
bool Refused(const TLayoutContext& Context, int32_t Line, const std::string& Text) {
  if (!Context.Problems) RaiseSetupError({Text});
  Context.Problems->Line = Line;
  Context.Problems->Add(TLayoutFault::kRefused, {}, Text);
  return false;
}

// Applies a property of Line; under the builder's check a value the setup
// refuses is recorded and the reading goes on.
void ApplyProperty(TPropertyHandler Apply, const TPropertyCall& Call, int32_t Line) {
  TLayoutProblems* problems = Call.Context.Problems;
  if (!problems) return Apply(Call);
  problems->Line = Line;
  problems->Apply(Apply, Call);
}

// A page-set setting's integer, as ApplyProperty treats a property's.
int32_t SettingInteger(const TLayoutContext& Context, int32_t Line, const std::string& Text) {
  if (!Context.Problems) return ParseInteger(Text);
  Context.Problems->Line = Line;
  return Context.Problems->Integer(Text);
}

}  // namespace

namespace {
const std::string kNoItem;
}  // namespace

const std::string& TStringList::Get(int32_t Index) const {
  return Index < 0 || Index >= Count() ? kNoItem : items_[static_cast<size_t>(Index)];
}

int32_t TStringList::LineOf(int32_t Index) const {
  return Index < 0 || Index >= Count() ? 0 : lines_[static_cast<size_t>(Index)];
}

TStringList ReadLines(const uint8_t* Data, size_t Size) {
  std::string text(reinterpret_cast<const char*>(Data), Size);
  text = platform::FromStoredText(text.substr(0, text.find('\0')));
  TStringList lines;
  auto trimmed = [](const std::string& piece) {
    size_t start = 0, end = piece.size();
    while (start < end && static_cast<unsigned char>(piece[start]) <= 0x20) ++start;
    while (end > start && static_cast<unsigned char>(piece[end - 1]) <= 0x20) --end;
    return piece.substr(start, end - start);
  };
  size_t start = 0;
  int32_t line = 1;
  for (size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', start)) {
    lines.Add(trimmed(text.substr(start, cr - start)), line++);
    start = cr + 1;
  }
  std::string last = trimmed(text.substr(start));
  if (!last.empty()) lines.Add(last, line);
  return lines;
}

const char* PageTypeName(uint8_t Type) { return Type < kPageTypeCount ? kPageTypeNames[Type] : "welcome"; }

std::optional<TBytes> LayoutEntry(const TLayoutContext& Context, const std::string& Name) {
  uint32_t size = 0;
  if (Context.Pak) return Context.Pak->FindEntry(Name, 0, size);
  return Context.Lookup ? Context.Lookup(Name) : std::nullopt;
}

// ---------------------------------------------------------------------------
// TControlParser

void TControlParser::LoadFromEntry(const std::string& Name) {
  std::optional<TBytes> data = LayoutEntry(context_, Name);
  TLayoutProblems* problems = context_.Problems;
  if (!data) {
    if (problems) {
      problems->Add(TLayoutFault::kNoLayout, Name);
    } else {
      ShowMessage(Concat({kMissingLayout, Name, "|"}), kMissingCaption, platform::kMbOk);
    }
    return;
  }
  // The page set's place is kept while its layout is read.
  std::string entry = problems ? problems->Entry : std::string();
  int32_t line = problems ? problems->Line : 0;
  if (problems) problems->Entry = Name;
  ForEachSection(ReadLines(data->data(), data->size()), [this](const TStringList& s) { BuildControl(s); });
  if (problems) {
    problems->Entry = entry;
    problems->Line = line;
  }
}

void TControlParser::BuildControl(const TStringList& Section) {
  std::string typeLine = Section.Get(1);
  size_t eq = typeLine.find('=');
  std::string type = eq == std::string::npos ? std::string() : LowerAscii(typeLine.substr(eq + 1));
  const TControlKind* kind = ControlKindOfLayoutName(type);
  if (!kind) {
    // The setup skips such a section: the control is simply not there.
    if (context_.Problems) {
      std::string key, value;
      SplitKeyValue(typeLine, key, value);
      bool typed = eq != std::string::npos && SameTextAscii(key, "type");
      context_.Problems->Line = Section.LineOf(typed ? 1 : 0);
      context_.Problems->Add(typed ? TLayoutFault::kUnknownControl : TLayoutFault::kNoTypeLine,
                             typed ? value : Section.Get(0));
    }
    return;
  }
  std::string name = SectionName(Section.Get(0));
  if (!IsIdentifier(name) &&
      !Refused(context_, Section.LineOf(0), Concat({"Control name \"", name, "\" is not a valid component name"}))) {
    return;
  }
  if (!context_.Names.insert(LowerAscii(name)).second &&
      !Refused(context_, Section.LineOf(0), Concat({"A component named ", name, " already exists"}))) {
    return;
  }
  platform::Widget& widget = context_.Form->Create(kind->Kind, name, context_.Panel);
  if (kind->Traits & kShowsName) widget.SetText(platform::TextToWide(name));
  controls_.push_back({&widget, kind->LayoutName, WideString(), kind});
  for (int32_t i = 2; i < Section.Count(); ++i) {
    std::string key, value;
    SplitKeyValue(Section.Get(i), key, value);
    key = LowerAscii(key);
    if (TPropertyHandler apply = PropertyHandler(*kind, key)) {
      ApplyProperty(apply, {context_, controls_.back(), key, value}, Section.LineOf(i));
    }
  }
}

WideString ShownCaption(const TLayoutContext& Context, const TPageControl& Control) {
  const WideString& raw = Control.CaptionTemplate;
  WideString text = Context.Languages ? Context.Languages->ExpandLangTokens(raw) : raw;
  text = ReplaceText(text, u"<BR>", u"\r");
  if (Context.Fields) text = Context.Fields->ExpandFields(text);
  if (Control.KindRow && (Control.KindRow->Traits & kEightBitCaption)) text = platform::Cp1252Only(text);
  return text;
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
    if (c.KindRow && (c.KindRow->Traits & kRetranslated)) c.Widget->SetText(ShownCaption(context_, c));
  }
}

// ---------------------------------------------------------------------------
// TSEPageControl

TSEPageControl::TSEPageControl(platform::Widget& Back, platform::Widget&, platform::Widget& LanguageButton,
                               platform::Widget& Cancel, platform::Widget& Next, TLayoutContext& Context)
    : back_(Back), next_(Next), cancel_(Cancel), language_(LanguageButton), context_(Context) {}

void TSEPageControl::LoadPageSet(const std::string& Name) {
  std::optional<TBytes> data = LayoutEntry(context_, Name);
  if (!data) {
    if (context_.Problems) {
      context_.Problems->Add(TLayoutFault::kNoPageSet, Name);
    } else {
      ShowMessage(kMissingPageSet + Name, kMissingCaption, platform::kMbOk);
    }
    return;
  }
  if (context_.Problems) context_.Problems->Entry = Name;
  ForEachSection(ReadLines(data->data(), data->size()), [this](const TStringList& s) { ApplySection(s); });
}

void TSEPageControl::ApplySection(const TStringList& Section) {
  std::string name = LowerAscii(SectionName(Section.Get(0)));
  TLayoutProblems* problems = context_.Problems;
  if (name == "pages") {
    for (int32_t i = 1; i < Section.Count(); ++i) {
      if (problems) problems->Line = Section.LineOf(i);
      AddPage(Section.Get(i));
    }
  } else if (name == "pagetypes") {
    for (int32_t k = 1; k < Section.Count(); ++k) {
      if (problems) problems->Line = Section.LineOf(k);
      if (k - 1 >= PageCount()) {
        if (problems) problems->Add(TLayoutFault::kTypeWithoutPage, Section.Get(k));
        break;
      }
      TControlParser& page = *pages_[static_cast<size_t>(k - 1)];
      std::string type = LowerAscii(Section.Get(k));
      bool known = false;
      for (uint8_t t = 0; t < kPageTypeCount; ++t) {
        if (type == kPageTypeNames[t]) {
          page.PageType = t;
          known = true;
        }
      }
      // The setup shows a page of an unknown type as a welcome page.
      if (!known && problems) problems->Add(TLayoutFault::kUnknownPageType, Section.Get(k));
      if (page.PageType == kPageMainLayout) {
        page.ShowControls();
        page.SendControlsToBack();
      }
    }
  } else if (name == "settings") {
    for (int32_t i = 1; i < Section.Count(); ++i) {
      const std::string& line = Section.Get(i);
      const int32_t at = Section.LineOf(i);
      if (SameTextAscii(std::string_view(line).substr(0, 6), "colour")) {
        background_ =
            static_cast<uint32_t>(SettingInteger(context_, at, line.size() > 7 ? line.substr(7) : std::string()));
      } else if (SameTextAscii(std::string_view(line).substr(0, 10), "fontcolour")) {
        fontColour_ =
            static_cast<uint32_t>(SettingInteger(context_, at, line.size() > 11 ? line.substr(11) : std::string()));
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
    case kPageLicense:
      next_.SetEnabled(Accepted(current_));
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

bool TSEPageControl::Accepted(int32_t Index) const {
  if (Index < 0 || Index >= PageCount()) return false;
  for (const TPageControl& c : pages_[static_cast<size_t>(Index)]->Controls()) {
    if (c.Widget->Kind() == platform::WidgetKind::kCheckBox && !c.Widget->GetFlag(platform::WidgetFlag::kChecked)) {
      return false;
    }
  }
  return true;
}

void TSEPageControl::TranslatePages() {
  for (auto& page : pages_) page->TranslateCaptions();
}
