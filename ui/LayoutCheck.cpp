#include "ui/LayoutCheck.h"

#include <map>

#include "common/Exceptions.h"
#include "common/Strings.h"
#include "ui/ZUI_Language.h"

namespace {

// A control that only keeps what is set on it: the property handlers read
// some of it back (bounds, font, picture, gauge).
class TKeptWidget : public platform::Widget {
 public:
  TKeptWidget(platform::WidgetKind Kind, const std::string& Name) : kind_(Kind), name_(Name) {}
  platform::WidgetKind Kind() const override { return kind_; }
  const std::string& Name() const override { return name_; }
  void SetBounds(const platform::Bounds& Rect) override { bounds_ = Rect; }
  platform::Bounds GetBounds() const override { return bounds_; }
  void SetVisible(bool Visible) override { visible_ = Visible; }
  bool IsVisible() const override { return visible_; }
  void SetEnabled(bool Enabled) override { enabled_ = Enabled; }
  bool IsEnabled() const override { return enabled_; }
  void SetText(const WideString& Text) override { text_ = Text; }
  WideString GetText() const override { return text_; }
  void SetFont(const platform::FontSpec& Font) override { font_ = Font; }
  platform::FontSpec GetFont() const override { return font_; }
  void SetFlag(platform::WidgetFlag Flag, bool On) override { flags_[Flag] = On; }
  bool GetFlag(platform::WidgetFlag Flag) const override {
    auto it = flags_.find(Flag);
    return it != flags_.end() && it->second;
  }
  void SetColour(uint32_t) override {}
  void SetPicture(const platform::Picture& Image) override { picture_ = Image; }
  const platform::Picture& GetPicture() const override { return picture_; }
  void LoadRichText(const std::string&) override {}
  void SetGauge(const platform::GaugeState& Gauge) override { gauge_ = Gauge; }
  platform::GaugeState GetGauge() const override { return gauge_; }
  void SetButtonPicture(const platform::Picture&) override {}
  void SendToBack() override {}
  void Repaint() override {}
  void SetOnClick(std::function<void()>) override {}
  void SetOnChange(std::function<void()>) override {}
  std::string SelectedPath() const override { return {}; }
  void SelectPath(const std::string&) override {}
  int32_t NodeCount() const override { return 0; }
  std::string NodePath(int32_t) const override { return {}; }
  bool NodeIsFirstChild(int32_t) const override { return false; }
  void ExpandNode(int32_t) override {}

 private:
  platform::WidgetKind kind_;
  std::string name_;
  platform::Bounds bounds_;
  bool visible_ = true;
  bool enabled_ = true;
  WideString text_;
  platform::FontSpec font_;
  std::map<platform::WidgetFlag, bool> flags_;
  platform::Picture picture_;
  platform::GaugeState gauge_;
};

// A form that makes kept controls and never shows anything.
class TKeptForm : public platform::Form {
 public:
  TKeptForm() : self_(platform::WidgetKind::kForm, "FrmMain") {}
  platform::Widget& Self() override { return self_; }
  platform::Widget& Create(platform::WidgetKind Kind, const std::string& Name, platform::Widget*) override {
    widgets_.push_back(std::make_unique<TKeptWidget>(Kind, Name));
    return *widgets_.back();
  }
  void SetMenu(const std::vector<platform::MenuItem>&, std::function<void(size_t)>) override {}
  std::vector<platform::MenuItem> Menu() const override { return {}; }
  void PopupMenu(int32_t, int32_t) override {}
  platform::Bounds ScreenRect() const override { return {}; }
  void SetOnCloseQuery(std::function<bool()>) override {}
  void SetBusy(bool) override {}
  void SetOnClose(std::function<void()>) override {}
  void SetOnDebugKey(std::function<void()>) override {}
  void ShowTextWindow(const std::string&, const std::string&, int32_t, int32_t) override {}
  void Close() override {}
  bool Closed() const override { return true; }
  void SetActions(const platform::ActionTable&) override {}
  void SetOnIdle(std::function<void(const std::string&)>) override {}
  void Run() override {}
  void Pump() override {}
  void Post(std::function<void()>) override {}
  void Report(const std::string&) override {}

 private:
  TKeptWidget self_;
  std::vector<std::unique_ptr<TKeptWidget>> widgets_;
};

// What the parser tells, kept.
class TKeptProblems : public TLayoutProblems {
 public:
  std::vector<TLayoutProblem> Found;
  void Add(TLayoutFault Fault, const std::string& Name, const std::string& Detail) override {
    Found.push_back({Entry, Line, Fault, Name, Detail});
  }
  void Apply(TPropertyHandler Handler, const TPropertyCall& Call) override {
    try {
      Handler(Call);
    } catch (const ESetupError& e) {
      Add(TLayoutFault::kRefused, {}, e.what());
    }
  }
  int32_t Integer(const std::string& Text) override {
    try {
      return ParseInteger(Text);
    } catch (const ESetupError& e) {
      Add(TLayoutFault::kRefused, {}, e.what());
      return 0;
    }
  }
};

}  // namespace

std::vector<TLayoutProblem> CheckPageSet(const TEntryLookup& Entries, const std::string& PageSetEntry,
                                         const TLanguageStrings* Fields) {
  TKeptForm form;
  // One language without strings: "<LANG" tokens are read (and a bad one
  // found) as the setup reads them, and expand to nothing.
  TLanguages languages;
  languages.Items.emplace_back();
  languages.CurrentIndex = 0;
  TKeptProblems problems;
  problems.Entry = PageSetEntry;
  TLayoutContext context;
  context.Lookup = Entries;
  context.Problems = &problems;
  context.Languages = &languages;
  context.Fields = Fields;
  context.Form = &form;
  context.Panel = &form.Create(platform::WidgetKind::kPanel, "Panel1", nullptr);
  platform::Widget& button = form.Create(platform::WidgetKind::kButton, "Button", nullptr);
  TSEPageControl pages(button, *context.Panel, button, button, button, context);
  pages.LoadPageSet(PageSetEntry);
  if (pages.PageCount() == 0 && LayoutEntry(context, PageSetEntry)) {
    problems.Entry = PageSetEntry;
    problems.Line = 0;
    problems.Add(TLayoutFault::kRefused, {},
                 "the page set lists no pages under [Pages] (the setup would stop with \"Error: Setup has no pages\")");
  }
  return std::move(problems.Found);
}

std::string LayoutProblemText(const TLayoutProblem& Problem) {
  const std::string quoted = Concat({"\"", Problem.Name, "\""});
  switch (Problem.Fault) {
    case TLayoutFault::kNoPageSet:
      return "no page set " + quoted;
    case TLayoutFault::kNoLayout:
      return Concat({"layout ", quoted, " is not in the page set (the setup would show \"Error File Missing: |",
                     Problem.Name, "|\" and an empty page)"});
    case TLayoutFault::kNoPicture:
      return Concat({"picture ", quoted, " is not in the page set"});
    case TLayoutFault::kBadPicture:
      return Concat({"picture ", Problem.Name, " cannot be shown: ", Problem.Detail});
    case TLayoutFault::kNoFile:
      return Concat({"file ", quoted, (Problem.Detail == Problem.Name ? "" : Concat({" (\"", Problem.Detail, "\")"})),
                     " is not packed (the setup would show \"Error: File \"", Problem.Detail, "\" Missing\")"});
    case TLayoutFault::kUnknownPageType: {
      std::string known;
      for (uint8_t t = 0; t < kPageTypeCount; ++t) known += (t ? ", " : "") + std::string(PageTypeName(t));
      return Concat({"unknown page type ", quoted, " (known: ", known, ")"});
    }
    case TLayoutFault::kTypeWithoutPage:
      return Concat({"page type ", quoted, " has no page: [Pages] lists fewer"});
    case TLayoutFault::kUnknownControl:
      return Concat({"unknown control type ", quoted, " (known: ", ControlKindList(), ")"});
    case TLayoutFault::kNoTypeLine:
      return Concat({"section ", Problem.Name, " has no \"Type=\" line after it"});
    case TLayoutFault::kRefused:
      break;
  }
  return Problem.Detail;
}
