// The wizard on the emulated machine: controls kept in memory and a headless
// driver in place of the person in front of the screen. The driver takes its
// actions from machine.ini's [wizard] section, in key order:
//   next, back, cancel     the buttons (Cancel reads Finish on a finish page)
//   close                  the window's close box
//   language N             the N-th item of the language menu, from 0
//   dir TEXT               the install-directory box's text replaced by TEXT
//   tree PATH              PATH selected in the folder tree
//   debug                  the debug window opened and closed
// When they run out it presses Next while Next is visible and enabled, and
// Finish on a finish page; otherwise the wizard is stuck, the transcript says
// so and the driver closes it. Everything shown is printed as "[Wizard] ...".
#include <algorithm>
#include <cstdio>
#include <deque>
#include <mutex>

#include "platform/PlatformShared.h"
#include "platform/Widgets.h"
#include "platform/host/HostMachine.h"

namespace platform {
namespace {

constexpr int32_t kScreenWidth = 1024;
constexpr int32_t kScreenHeight = 768;
constexpr int32_t kFrame = 3;     // the fixed border on each side
constexpr int32_t kCaption = 22;  // the title bar
constexpr size_t kMaxDefaultActions = 1000;

void Print(const std::string& Text) {
  size_t start = 0;
  while (start <= Text.size()) {
    size_t end = Text.find('\n', start);
    if (end == std::string::npos) end = Text.size();
    std::printf("[Wizard] %s\n", Text.substr(start, end - start).c_str());
    start = end + 1;
  }
  std::fflush(stdout);
}

// The folder tree over the emulated machine: the desktop, "My Documents" and
// "My Computer" with its drives; folders listed when a node is expanded.
struct TreeNode {
  std::string Label;
  std::string Path;  // with a trailing backslash; empty for virtual folders
  bool Expanded = false;
  bool Listed = false;
  bool Drives = false;  // "My Computer": its children are the drives
  std::vector<std::unique_ptr<TreeNode>> Children;
  TreeNode* Parent = nullptr;
};

class HostWidget : public Widget {
 public:
  HostWidget(WidgetKind Kind, std::string Name, HostWidget* Parent)
      : kind_(Kind), name_(std::move(Name)), parent_(Parent) {
    if (Kind == WidgetKind::kMemo || Kind == WidgetKind::kRichEdit) border_ = true;
    if (Kind == WidgetKind::kLabel || Kind == WidgetKind::kEdit) autoSize_ = true;
    if (Kind == WidgetKind::kGauge) bounds_ = {0, 0, 200, 40};
    if (Kind == WidgetKind::kShellTree) BuildTree();
  }

  WidgetKind Kind() const override { return kind_; }
  const std::string& Name() const override { return name_; }
  void SetBounds(const Bounds& Rect) override { bounds_ = Rect; }
  Bounds GetBounds() const override { return bounds_; }
  void SetVisible(bool Visible) override { visible_ = Visible; }
  bool IsVisible() const override { return visible_; }
  void SetEnabled(bool Enabled) override { enabled_ = Enabled; }
  bool IsEnabled() const override { return enabled_; }
  void SetText(const WideString& Text) override {
    text_ = Text;
    // An edit box reports every text set, as Windows does.
    if (kind_ == WidgetKind::kEdit && onChange_) onChange_();
  }
  WideString GetText() const override { return text_; }
  void SetFont(const FontSpec& Font) override { font_ = Font; }
  FontSpec GetFont() const override {
    if (!font_.ParentFont || !parent_) return font_;
    FontSpec inherited = parent_->GetFont();
    inherited.ParentFont = true;
    return inherited;
  }
  void SetFlag(WidgetFlag Flag, bool On) override { FlagRef(Flag) = On; }
  bool GetFlag(WidgetFlag Flag) const override { return const_cast<HostWidget*>(this)->FlagRef(Flag); }
  // Background colour and z-order show only in a screen's painting; the
  // dump reads the page set's colour, so the host keeps neither.
  void SetColour(uint32_t) override {}
  void SetPicture(const Picture& Image) override { picture_ = Image; }
  const Picture& GetPicture() const override { return picture_; }
  void LoadRichText(const std::string& Data) override { text_ = RichTextToPlain(Data); }
  void SetGauge(const GaugeState& Gauge) override { gauge_ = Gauge; }
  GaugeState GetGauge() const override { return gauge_; }
  void SetButtonPicture(const Picture& Image) override { picture_ = Image; }
  void SendToBack() override {}
  void Repaint() override {}
  void SetOnClick(std::function<void()> Handler) override { onClick_ = std::move(Handler); }
  void SetOnChange(std::function<void()> Handler) override { onChange_ = std::move(Handler); }

  std::string SelectedPath() const override { return selected_; }
  void SelectPath(const std::string& Path) override { selected_ = Path; }
  int32_t NodeCount() const override { return static_cast<int32_t>(Flatten().size()); }
  std::string NodePath(int32_t Index) const override {
    std::vector<TreeNode*> nodes = Flatten();
    return Index >= 0 && Index < static_cast<int32_t>(nodes.size()) ? nodes[static_cast<size_t>(Index)]->Path : "";
  }
  bool NodeIsFirstChild(int32_t Index) const override {
    std::vector<TreeNode*> nodes = Flatten();
    if (Index < 0 || Index >= static_cast<int32_t>(nodes.size())) return false;
    TreeNode* n = nodes[static_cast<size_t>(Index)];
    return n->Parent && n->Parent->Children.front().get() == n;
  }
  void ExpandNode(int32_t Index) override {
    std::vector<TreeNode*> nodes = Flatten();
    if (Index < 0 || Index >= static_cast<int32_t>(nodes.size())) return;
    TreeNode* n = nodes[static_cast<size_t>(Index)];
    List(*n);
    n->Expanded = true;
  }

  // What the person does.
  void Click() {
    if (kind_ == WidgetKind::kCheckBox) checked_ = !checked_;
    if (onClick_) onClick_();
  }
  void UserSelect(const std::string& Path) {
    selected_ = Path;
    if (onChange_) onChange_();
  }

 private:
  bool& FlagRef(WidgetFlag Flag) {
    switch (Flag) {
      case WidgetFlag::kAutoSize:
        return autoSize_;
      case WidgetFlag::kWordWrap:
        return wordWrap_;
      case WidgetFlag::kTransparent:
        return transparent_;
      case WidgetFlag::kBorder:
        return border_;
      case WidgetFlag::kStretch:
        return stretch_;
      case WidgetFlag::kChecked:
        return checked_;
      case WidgetFlag::kCenter:
        break;
    }
    return center_;
  }

  void BuildTree() {
    root_.Label = "Desktop";
    root_.Expanded = true;
    root_.Listed = true;
    for (const char* label : {"My Documents", "My Computer"}) {
      auto child = std::make_unique<TreeNode>();
      child->Label = label;
      child->Parent = &root_;
      child->Drives = std::string(label) == "My Computer";
      if (!child->Drives) {
        child->Path = SpecialFolder(kCsidlPersonal);
        if (!child->Path.empty() && child->Path.back() != '\\') child->Path += '\\';
      }
      root_.Children.push_back(std::move(child));
    }
  }

  static void List(TreeNode& Node) {
    if (Node.Listed) return;
    Node.Listed = true;
    std::vector<std::string> paths = shared::FolderTreeChildren(Node.Path, Node.Drives);
    for (const std::string& p : paths) {
      auto child = std::make_unique<TreeNode>();
      child->Path = p;
      child->Label = p;
      child->Parent = &Node;
      Node.Children.push_back(std::move(child));
    }
  }

  // Every node created, depth first: the tree's absolute positions.
  std::vector<TreeNode*> Flatten() const {
    std::vector<TreeNode*> out;
    std::function<void(TreeNode&)> walk = [&](TreeNode& n) {
      out.push_back(&n);
      for (auto& c : n.Children) walk(*c);
    };
    walk(const_cast<TreeNode&>(root_));
    return out;
  }

  WidgetKind kind_;
  std::string name_;
  HostWidget* parent_;
  Bounds bounds_;
  bool visible_ = true;
  bool enabled_ = true;
  WideString text_;
  FontSpec font_;
  bool autoSize_ = false, wordWrap_ = false, transparent_ = false, border_ = false, stretch_ = false, center_ = false,
       checked_ = false;
  Picture picture_;
  GaugeState gauge_;
  std::function<void()> onClick_;
  std::function<void()> onChange_;
  std::string selected_;
  TreeNode root_;
};

class HostForm : public Form {
 public:
  HostForm() : self_(WidgetKind::kForm, "FrmMain", nullptr) {}

  Widget& Self() override { return self_; }
  Widget& Create(WidgetKind Kind, const std::string& Name, Widget* Parent) override {
    auto* parent = Parent ? static_cast<HostWidget*>(Parent) : &self_;
    widgets_.push_back(std::make_unique<HostWidget>(Kind, Name, parent));
    return *widgets_.back();
  }
  void SetMenu(const std::vector<MenuItem>& Items, std::function<void(size_t)> OnPick) override {
    menu_ = Items;
    onPick_ = std::move(OnPick);
  }
  std::vector<MenuItem> Menu() const override { return menu_; }
  void PopupMenu(int32_t ScreenX, int32_t ScreenY) override {
    menuOpen_ = true;
    Print("pop-up menu opened at " + std::to_string(ScreenX) + "," + std::to_string(ScreenY));
  }
  Bounds ScreenRect() const override {
    Bounds client = self_.GetBounds();
    int32_t w = client.Width + 2 * kFrame, h = client.Height + 2 * kFrame + kCaption;
    return {(kScreenWidth - w) / 2, (kScreenHeight - h) / 2, w, h};
  }
  void SetOnCloseQuery(std::function<bool()> Handler) override { onCloseQuery_ = std::move(Handler); }
  void SetOnClose(std::function<void()> Handler) override { onClose_ = std::move(Handler); }
  void SetOnDebugKey(std::function<void()> Handler) override { onDebugKey_ = std::move(Handler); }
  void SetActions(const ActionTable& Actions) override { actions_ = Actions; }
  // Nothing ends the emulated machine's session.
  void SetBusy(bool) override {}
  void SetOnIdle(std::function<void(const std::string&)> Handler) override { onIdle_ = std::move(Handler); }
  void Close() override {
    if (closed_) return;
    if (onCloseQuery_ && !onCloseQuery_()) return;
    closed_ = true;
    if (onClose_) onClose_();
  }
  bool Closed() const override { return closed_; }
  void Report(const std::string& Line) override { Print(Line); }
  // Printed, then closed at once by the driver.
  void ShowTextWindow(const std::string& Caption, const std::string& Text, int32_t Width, int32_t Height) override {
    Print(Caption + " window (" + std::to_string(Width) + " x " + std::to_string(Height) + "):\n" + Text);
  }

  void Post(std::function<void()> Work) override {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(Work));
  }
  void Pump() override {
    std::deque<std::function<void()>> work;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      work.swap(posted_);
    }
    for (auto& w : work) w();
  }

  void Run() override {
    std::vector<std::string> actions;
    for (const auto& [number, action] : host::Machine().WizardActions) actions.push_back(action);
    Pump();
    const UserAction* start = ActionOfKind(actions_, ActionKind::kStart);
    Idle(start ? start->Verb : "");
    size_t next = 0, defaults = 0;
    while (!closed_) {
      std::string action;
      bool stuck = false;
      if (next < actions.size()) {
        action = actions[next++];
      } else {
        // As a person goes on: Enter while its button can be pressed, Escape
        // once Enter's button is gone.
        const UserAction* enter = ActionOfKey(actions_, ActionKey::kEnter);
        const UserAction* escape = ActionOfKey(actions_, ActionKey::kEscape);
        HostWidget* enterButton = enter ? Find(enter->Control) : nullptr;
        HostWidget* escapeButton = escape ? Find(escape->Control) : nullptr;
        if (++defaults > kMaxDefaultActions) {
          stuck = true;
        } else if (enterButton && enterButton->IsVisible() && enterButton->IsEnabled()) {
          action = enter->Verb;
        } else if (enterButton && !enterButton->IsVisible() && escapeButton && escapeButton->IsVisible() &&
                   escapeButton->IsEnabled()) {
          action = escape->Verb;
        } else {
          stuck = true;
        }
      }
      if (stuck) {
        Print("stuck: no action left and no button to go on with; closing the wizard");
        ForceClose();
        break;
      }
      Print("action: " + action);
      if (!Perform(action)) {
        ForceClose();
        break;
      }
      Pump();
      if (!closed_) Idle(action);
    }
  }

 private:
  HostWidget* Find(const std::string& Name) {
    for (auto& w : widgets_) {
      if (host::ToLowerAscii(w->Name()) == host::ToLowerAscii(Name)) return w.get();
    }
    return nullptr;
  }

  void Idle(const std::string& Action) {
    if (onIdle_) onIdle_(Action);
  }

  // Closes the wizard for the driver: the question answered Yes.
  void ForceClose() {
    Close();
    if (closed_) return;
    Print("the wizard refused to close; the driver ends it");
    closed_ = true;
    if (onClose_) onClose_();
  }

  // Clicks a button as a person can: only when it is visible and enabled.
  bool Press(const std::string& Name, const std::string& Action) {
    HostWidget* b = Find(Name);
    if (!b || !b->IsVisible() || !b->IsEnabled()) {
      Print(Action + ": the button is " + (!b || !b->IsVisible() ? "hidden" : "disabled") + ", nothing happens");
      return true;
    }
    b->Click();
    return true;
  }

  // False for an action the driver does not know.
  bool Perform(const std::string& Action) {
    size_t blank = Action.find(' ');
    std::string verb = host::ToLowerAscii(Action.substr(0, blank));
    std::string argument = blank == std::string::npos ? std::string() : Action.substr(blank + 1);
    const UserAction* known = ActionOfVerb(actions_, verb);
    switch (known ? known->Kind : ActionKind::kStart) {
      case ActionKind::kPress:
        return Press(known->Control, Action);
      case ActionKind::kClose:
        Close();
        return true;
      case ActionKind::kDebugKey:
        if (onDebugKey_) onDebugKey_();
        return true;
      case ActionKind::kPressAndPick:
        return PressAndPick(*known, Action, argument);
      case ActionKind::kType:
      case ActionKind::kSelectFolder: {
        HostWidget* w = Find(known->Control);
        if (!w || !w->IsVisible() || !w->IsEnabled()) {
          Print(Action + ": no " + known->What + " on this page, nothing happens");
          return true;
        }
        if (known->Kind == ActionKind::kType) {
          w->SetText(TextToWide(argument));
        } else {
          std::string path = argument;
          if (!path.empty() && path.back() != '\\') path += '\\';
          w->UserSelect(path);
        }
        return true;
      }
      case ActionKind::kStart:
        break;
    }
    Print("unknown wizard action \"" + Action + "\" (" + ActionList(actions_) + ")");
    return false;
  }

  // Presses a button that opens the pop-up menu, then picks item Argument.
  bool PressAndPick(const UserAction& Chosen, const std::string& Action, const std::string& Argument) {
    HostWidget* button = Find(Chosen.Control);
    char* end = nullptr;
    unsigned long index = std::strtoul(Argument.c_str(), &end, 10);
    if (Argument.empty() || *end != '\0') {
      Print("unknown wizard action \"" + Action + "\": " + Chosen.Verb + " takes a menu item number");
      return false;
    }
    if (!button || !button->IsVisible() || !button->IsEnabled()) {
      Print(Action + ": the " + Chosen.What + " is hidden, nothing happens");
      return true;
    }
    menuOpen_ = false;
    button->Click();
    if (!menuOpen_) return true;
    menuOpen_ = false;
    if (index >= menu_.size()) {
      Print(Action + ": the menu has " + std::to_string(menu_.size()) + " items, nothing chosen");
      return true;
    }
    if (onPick_) onPick_(index);
    return true;
  }

  HostWidget self_;
  std::vector<std::unique_ptr<HostWidget>> widgets_;
  std::vector<MenuItem> menu_;
  std::function<void(size_t)> onPick_;
  bool menuOpen_ = false;
  std::function<bool()> onCloseQuery_;
  std::function<void()> onClose_;
  std::function<void()> onDebugKey_;
  std::function<void(const std::string&)> onIdle_;
  ActionTable actions_;
  bool closed_ = false;
  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace

std::unique_ptr<Form> CreateForm() { return std::make_unique<HostForm>(); }

bool DecodeMetafile(const uint8_t*, size_t, bool, Picture&, std::string& Error) {
  Error = "metafiles are shown on Windows only";
  return false;
}

// The window has no screen here: each text it would show is printed.
struct ProgressWindow::Impl {
  std::string caption;
  bool shown = false;
};

ProgressWindow::ProgressWindow() : impl_(std::make_unique<Impl>()) {}
ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::Show(const std::string& Caption, const std::string& Label, const std::string& Status) {
  impl_->caption = Caption;
  impl_->shown = true;
  std::printf("[%s] %s\n[%s] %s\n", Caption.c_str(), Label.c_str(), Caption.c_str(), Status.c_str());
  std::fflush(stdout);
}

void ProgressWindow::SetStatus(const std::string& Status) {
  if (!impl_->shown) return;
  std::printf("[%s] %s\n", impl_->caption.c_str(), Status.c_str());
  std::fflush(stdout);
}

void ProgressWindow::SetProgress(uint32_t, uint32_t) {}

void ProgressWindow::Close() { impl_->shown = false; }

}  // namespace platform
