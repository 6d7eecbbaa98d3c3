#include "ui/FormMain.h"

#include <cctype>
#include <exception>

#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/Prompt.h"
#include "common/ScopeExit.h"
#include "common/Strings.h"
#include "diagnostics/SErrorLog.h"
#include "script/SE_Uninstall_List.h"
#include "script/SE_Uninstaller.h"
#include "ui/FormDebug.h"

namespace {

constexpr uint16_t kStringLanguageSpace = 7;
constexpr uint16_t kStringBack = 12;
constexpr uint16_t kStringNext = 13;
constexpr uint16_t kStringCancel = 14;
constexpr uint16_t kStringUninstaller = 26;
constexpr uint16_t kStringQuitQuestion = 27;
constexpr uint16_t kStringQuitCaption = 28;
constexpr char kDebugCaption[] = "Debug";
constexpr int32_t kDebugWidth = 870;
constexpr int32_t kDebugHeight = 600;
constexpr char kSetupErrorCaption[] = "Setup Error";
constexpr char kNoPages[] = "Error: Setup has no pages. Setup is corrupt";
constexpr char kNoLanguages[] = "Error: Setup has no languages. Setup is corrupt";

// The language button's picture: a black triangle pointing down, 9 x 6, on
// a transparent background (0xFF000000 marks a transparent pixel).
platform::Picture LanguageTriangle() {
  platform::Picture p;
  p.Width = 9;
  p.Height = 6;
  p.Pixels.assign(54, 0xFF000000u);
  for (uint32_t row = 0; row < 5; ++row) {
    for (uint32_t x = row; x < 9 - row; ++x) p.Pixels[row * 9 + x] = 0x000000;
  }
  return p;
}

}  // namespace

// The notifications acting on the page controls; called on the UI thread.
class TFrmMain::TControlUpdater : public TSetupObserver {
 public:
  TControlUpdater(TFrmMain& Form, TSetupObserver* Outer) : form_(Form), outer_(Outer) {}
  void SetStatusText(const WideString& Text) override {
    if (form_.patchingStatusLabel_) form_.patchingStatusLabel_->SetText(Text);
    if (outer_) outer_->SetStatusText(Text);
  }
  void StepProgress(bool Show) override {
    if (form_.patchingProgressBar_) {
      ++progressCount_;
      if (Show) {
        platform::GaugeState g = form_.patchingProgressBar_->GetGauge();
        g.SetPosition(progressCount_);
        form_.patchingProgressBar_->SetGauge(g);
      }
    }
    if (outer_) outer_->StepProgress(Show);
  }
  void SetFinishText(const WideString& Text, bool Refresh) override {
    if (form_.finishTextLabel_) {
      form_.finishTextLabel_->SetText(Text);
      if (Refresh) form_.finishTextLabel_->Repaint();
    }
    if (outer_) outer_->SetFinishText(Text, Refresh);
  }
  void SetProgress(uint32_t Position, uint32_t Maximum) override {
    if (form_.patchingProgressBar_) {
      platform::GaugeState g = form_.patchingProgressBar_->GetGauge();
      g.SetMaximum(static_cast<int32_t>(Maximum));
      g.SetPosition(static_cast<int32_t>(Position));
      form_.patchingProgressBar_->SetGauge(g);
    }
    progressCount_ = static_cast<int32_t>(Position);
    if (outer_) outer_->SetProgress(Position, Maximum);
  }

 private:
  TFrmMain& form_;
  TSetupObserver* outer_;
  int32_t progressCount_ = 0;
};

// The setup thread's notifications, handed to the UI thread in order.
class TFrmMain::TPostingObserver : public TSetupObserver {
 public:
  TPostingObserver(platform::Form& Form, TSetupObserver& Target) : form_(Form), target_(Target) {}
  void SetStatusText(const WideString& Text) override {
    form_.Post([this, Text] { target_.SetStatusText(Text); });
  }
  void StepProgress(bool Show) override {
    form_.Post([this, Show] { target_.StepProgress(Show); });
  }
  void SetFinishText(const WideString& Text, bool Refresh) override {
    form_.Post([this, Text, Refresh] { target_.SetFinishText(Text, Refresh); });
  }
  void SetProgress(uint32_t Position, uint32_t Maximum) override {
    form_.Post([this, Position, Maximum] { target_.SetProgress(Position, Maximum); });
  }

 private:
  platform::Form& form_;
  TSetupObserver& target_;
};

TFrmMain::TFrmMain(TProgram& Program, platform::Form& Form, TSetupObserver* Outer)
    : program_(Program), form_(Form), outer_(Outer), state_(Program.CompLines) {
  using platform::WidgetKind;
  form_.Self().SetBounds({0, 0, 578, 413});
  panel_ = &form_.Create(WidgetKind::kPanel, "Panel1", nullptr);
  panel_->SetBounds({0, 0, 578, 375});
  panel_->SetColour(0xFFFFFF);
  panel_->SetText(WideString());
  form_.Create(WidgetKind::kBevel, "Bevel2", nullptr).SetBounds({0, 375, 578, 3});
  for (int i = 0; i < kWizardButtonCount; ++i) {
    buttons_[i] = &form_.Create(WidgetKind::kButton, kWizardButtons[i].Control, nullptr);
    buttons_[i]->SetBounds(kWizardButtons[i].Rect);
  }
  back_ = buttons_[kBackButton];
  next_ = buttons_[kNextButton];
  cancel_ = buttons_[kCancelButton];
  language_ = buttons_[kLanguageButton];
  language_->SetButtonPicture(LanguageTriangle());
  form_.SetActions(WizardActions());

  back_->SetOnClick(GuardedHandler(&TFrmMain::BackButtonClick));
  next_->SetOnClick(GuardedHandler(&TFrmMain::NextButtonClick));
  cancel_->SetOnClick(GuardedHandler(&TFrmMain::CancelButtonClick));
  language_->SetOnClick(GuardedHandler(&TFrmMain::LanguageButtonClick));
  form_.SetOnCloseQuery([this] { return FormCloseQuery(); });
  form_.SetOnClose([this] { FormClose(); });
  form_.SetOnDebugKey(GuardedHandler(&TFrmMain::ShowDebugWindow));

  layout_.Pak = program_.SetupPak.get();
  layout_.Languages = &program_.Languages;
  layout_.Fields = &program_.LanguageStrings;
  layout_.Form = &form_;
  layout_.Panel = panel_;
  pages_ = std::make_unique<TSEPageControl>(*back_, *panel_, *language_, *cancel_, *next_, layout_);

  updater_ = std::make_unique<TControlUpdater>(*this, outer_);
  poster_ = std::make_unique<TPostingObserver>(form_, *updater_);
  program_.PrepareScriptState(state_, poster_.get());
  state_.AskWhenInUse = true;
  thread_ = std::make_unique<TSetupThread>(state_, program_.CommandList,
                                           [this](const std::string& message) { threadError_ = message; });
  if (!thread_->Start()) RaiseSetupError({"Failed to start the setup thread"});
}

TFrmMain::~TFrmMain() = default;

void TFrmMain::Guarded(TFunctionRef<void()> Handler) {
  try {
    Handler();
  } catch (const std::exception& e) {
    ShowMessage(e.what(), ApplicationTitle(), platform::kMbOk | platform::kMbIconError);
  }
}

std::function<void()> TFrmMain::GuardedHandler(void (TFrmMain::*Method)()) {
  return [this, Method] { Guarded([this, Method] { (this->*Method)(); }); };
}

std::function<void(size_t)> TFrmMain::LanguageMenuHandler() {
  return [this](size_t index) { Guarded([this, index] { English1Click(index); }); };
}

std::string TFrmMain::ApplicationTitle() const {
  const TSetupInfo& info = program_.SetupInfoFile.Info;
  if (info.IsUninstaller == 1) {
    return Concat({info.SetupShortName, " ", platform::WideToUtf8(program_.Languages.GetString(kStringUninstaller))});
  }
  return info.SetupName;
}

uint8_t TFrmMain::CurrentType() const {
  return pages_->PageCount() > 0 ? pages_->PageType(pages_->CurrentPage()) : kPageWelcome;
}

bool TFrmMain::SetPagesUp() {
  TSetupInfo& info = program_.SetupInfoFile.Info;
  form_.Self().SetText(platform::TextToWide(" " + ApplicationTitle()));
  pages_->LoadPageSet(kPageSetEntry);
  panel_->SetColour(pages_->BackgroundColour());
  if (pages_->PageCount() == 0) {
    ShowMessage(kNoPages, kSetupErrorCaption, platform::kMbOk);
    return false;
  }
  if (program_.Languages.Items.empty()) {
    ShowMessage(kNoLanguages, kSetupErrorCaption, platform::kMbOk);
    return false;
  }

  installDirEdit_ = nullptr;
  installDirTree_ = nullptr;
  for (int32_t p = 0; p < pages_->PageCount(); ++p) {
    for (const TPageControl& c : pages_->Page(p).Controls()) {
      std::string name = LowerAscii(c.Widget->Name());
      if (name == "patching_statuslabel") patchingStatusLabel_ = c.Widget;
      if (name == "patching_progressbar") patchingProgressBar_ = c.Widget;
      if (name == "finishtext") finishTextLabel_ = c.Widget;
      if (name == kInstallDirEditName) installDirEdit_ = c.Widget;
      if (name == kInstallDirTreeName) installDirTree_ = c.Widget;
      if (name == "spaceavalible") spaceAvailableLabel_ = c.Widget;
      if (name == "installdir_reason") installDirReasonLabel_ = c.Widget;
      // A licence page's boxes decide whether Next goes on.
      if (pages_->PageType(p) == kPageLicense && c.Widget->Kind() == platform::WidgetKind::kCheckBox) {
        c.Widget->SetOnClick([this] {
          if (CurrentType() == kPageLicense) next_->SetEnabled(pages_->Accepted(pages_->CurrentPage()));
        });
      }
    }
  }

  info.InstallDir = ExpandPathFields(info.InstallDir, program_.Fields());
  if (installDirTree_) {
    installDirTree_->SetOnChange(GuardedHandler(&TFrmMain::ShellTreeViewChange));
    installDirTree_->SetVisible(true);
    SelectDirInTree(info.InstallDir, false);
    installDirTree_->SetVisible(false);
  }
  if (installDirEdit_) {
    installDirEdit_->SetText(platform::TextToWide(info.InstallDir));  // expanded above
    installDirEdit_->SetOnChange(GuardedHandler(&TFrmMain::InstallDir_Edit_Change));
  }
  back_->SetText(program_.Languages.GetString(kStringBack));
  next_->SetText(program_.Languages.GetString(kStringNext));
  cancel_->SetText(program_.Languages.GetString(kStringCancel));
  SetupLanguages();
  return true;
}

void TFrmMain::SetupLanguages() {
  const TLanguages& languages = program_.Languages;
  const auto current = static_cast<size_t>(languages.CurrentIndex < 0 ? 0 : languages.CurrentIndex);
  language_->SetText(current < languages.Items.size() ? languages.Items[current].DisplayName : WideString());
  language_->SetVisible(languages.Items.size() >= 2);
  std::vector<platform::MenuItem> items;
  for (size_t i = 0; i < languages.Items.size(); ++i) items.push_back({languages.Items[i].DisplayName, i == current});
  form_.SetMenu(items, LanguageMenuHandler());
}

void TFrmMain::SetupCheckedLanguage() {
  std::vector<platform::MenuItem> items = form_.Menu();
  for (size_t i = 0; i < items.size(); ++i)
    items[i].Checked = static_cast<int32_t>(i) == program_.Languages.CurrentIndex;
  form_.SetMenu(items, LanguageMenuHandler());
}

void TFrmMain::LanguageButtonClick() {
  platform::Bounds outer = form_.ScreenRect();
  platform::Bounds client = form_.Self().GetBounds();
  platform::Bounds button = language_->GetBounds();
  int32_t x = outer.Left + outer.Width - client.Width + button.Left - 4;
  int32_t y = outer.Top + outer.Height - client.Height + button.Top + button.Height - 4;
  form_.PopupMenu(x, y);
}

void TFrmMain::English1Click(size_t Index) {
  TLanguages& languages = program_.Languages;
  if (Index >= languages.Items.size()) return;
  languages.CurrentIndex = static_cast<int32_t>(Index);
  language_->SetText(languages.Items[Index].DisplayName);
  SetupCheckedLanguage();
  back_->SetText(languages.GetString(kStringBack));
  next_->SetText(languages.GetString(kStringNext));
  cancel_->SetText(languages.GetString(kStringCancel));
  pages_->ShowPage(pages_->CurrentPage());
  pages_->TranslatePages();
  // Showing the page again enabled Next: the page's check runs again (and
  // says why in the new language).
  if (CurrentType() == kPageInstallDir) InstallDir_Edit_Change();
  if (CurrentType() == kPagePatch) CheckPatchPage();
}

void TFrmMain::NextButtonClick() {
  // Before a page that changes files: a program holding one of them is
  // named, and Cancel stays here with nothing changed.
  const int32_t next = pages_->CurrentPage() + 1;
  if (next < pages_->PageCount()) {
    const uint8_t type = pages_->PageType(next);
    if ((type == kPagePatching || type == kPageUninstall) && !program_.FilesHeld(state_, true).empty()) return;
  }
  pages_->ShowPage(next);
  switch (CurrentType()) {
    case kPageInstallDir:
      if (!installDirVisited_) {
        installDirVisited_ = true;
        if (installDirEdit_) installDirEdit_->SetText(platform::TextToWide(program_.SetupInfoFile.Info.InstallDir));
      }
      InstallDir_Edit_Change();
      break;
    case kPagePatch:
      CheckPatchPage();
      break;
    case kPagePatching:
      StartPatching();
      break;
    case kPageFinish:
      form_.Close();
      break;
    case kPageUninstall:
      RunUninstallPage();
      break;
    default:
      break;
  }
}

void TFrmMain::CheckPatchPage() {
  if (!program_.SpaceEnough()) next_->SetEnabled(false);
  if (spaceAvailableLabel_) {
    WideString text =
        program_.Languages.ExpandLangTokens(u"<LANG" + AsciiToWide(DecimalText(kStringLanguageSpace)) + u">");
    text = ReplaceText(text, u"<BR>", u"\r");
    spaceAvailableLabel_->SetText(program_.LanguageStrings.ExpandFields(text));
  }
}

void TFrmMain::StartPatching() {
  bool ok = false;
  try {
    SetWorkingState(true);
    ok = StartRun(*thread_, state_, [this] { form_.Pump(); });
    // Whatever the thread posted before it finished reaches the controls first.
    form_.Pump();
    if (ok) pages_->ShowPage(pages_->CurrentPage() + 1);
    runEnded_ = ok;
    SetWorkingState(false);
  } catch (const std::exception& e) {
    SetWorkingState(false);
    EndWithError(e.what(), "");
    return;
  }
  if (!ok) {
    EndWithError(threadError_, kSetupThreadStage);
    return;
  }
  // The run went on past what it could not do; the finish page says it
  // failed and the error log says what.
  if (!state_.Failures.empty()) {
    completedWithErrors_ = true;
    ReportError(state_.FailureText(), kInstallationStage);
  }
}

void TFrmMain::ReportError(const std::string& Text, const std::string& Stage) {
  try {
    WriteErrorLog(Text, Stage, program_.Report());
  } catch (const std::exception& e) {
    // No log could be written: the error and the reason are shown instead.
    ShowMessage(Concat({Text, "\r\r", e.what()}), kSetupErrorCaption, platform::kMbOk | platform::kMbIconError);
  }
}

void TFrmMain::EndWithError(const std::string& Text, const std::string& Stage) {
  errorLogWritten_ = true;
  terminating_ = true;
  ReportError(Text, Stage);
  form_.Close();
}

void TFrmMain::RunUninstallPage() {
  TScopeExit idle([this] { SetWorkingState(false); });
  SetWorkingState(true);
  // On the UI thread, without pumping: the controls are updated directly and
  // repainted at once.
  struct Repainting : TSetupObserver {
    TSetupObserver& Target;
    TFrmMain& Form;
    Repainting(TSetupObserver& T, TFrmMain& F) : Target(T), Form(F) {}
    void Repaint() {
      if (Form.patchingStatusLabel_) Form.panel_->Repaint();
      if (Form.patchingProgressBar_) Form.patchingProgressBar_->Repaint();
    }
    void SetStatusText(const WideString& Text) override {
      Target.SetStatusText(Text);
      Repaint();
    }
    void StepProgress(bool Show) override { Target.StepProgress(Show); }
    void SetFinishText(const WideString& Text, bool Refresh) override { Target.SetFinishText(Text, Refresh); }
    void SetProgress(uint32_t Position, uint32_t Maximum) override {
      Target.SetProgress(Position, Maximum);
      Repaint();
    }
  } direct(*updater_, *this);
  TScriptState state(program_.CompLines);
  program_.PrepareScriptState(state, &direct);
  state.AskWhenInUse = true;
  RunUninstall(state);
  runEnded_ = true;
  pages_->ShowPage(pages_->CurrentPage() + 1);
  if (!state.Failures.empty()) {
    completedWithErrors_ = true;
    ReportError(state.FailureText(), kUninstallationStage);
  }
}

void TFrmMain::BackButtonClick() { pages_->ShowPage(pages_->CurrentPage() - 1); }

void TFrmMain::CancelButtonClick() { form_.Close(); }

bool TFrmMain::FormCloseQuery() {
  if (terminating_) return true;
  if (workingState_) return false;
  // Nothing is left to quit once the run has ended (a working page placed last).
  if (CurrentType() == kPageFinish || runEnded_) return true;
  int answer = ShowMessageWide(program_.Languages.GetString(kStringQuitQuestion),
                               program_.Languages.GetString(kStringQuitCaption), platform::kMbYesNo);
  return answer != platform::kIdNo;
}

void TFrmMain::FormClose() {
  closedOnFinish_ = !terminating_ && (CurrentType() == kPageFinish || runEnded_);
  if (thread_) {
    thread_->RequestQuit();
    thread_.reset();
  }
  if (closedOnFinish_ && program_.SetupInfoFile.Info.IsUninstaller == 1 && !program_.Args.empty() &&
      !LaunchFinaliser(state_, program_.Args[0])) {
    completedWithErrors_ = true;
    ReportError(state_.FailureText(), kUninstallationStage);
  }
}

int TFrmMain::ExitCode() const {
  if (errorLogWritten_) return kExitErrorLog;
  if (!closedOnFinish_) return kExitCancelled;
  if (state_.FailureLine) return kExitFailureLine;
  return completedWithErrors_ ? kExitCompletedWithErrors : kExitCompleted;
}

void TFrmMain::InstallDir_Edit_Change() {
  if (!installDirEdit_) return;
  std::string text = platform::WideToUtf8(installDirEdit_->GetText());
  if (CurrentType() == kPageInstallDir) {
    WideString refusal = program_.InstallDirRefusal(text);
    if (installDirReasonLabel_) installDirReasonLabel_->SetText(refusal);
    if (!refusal.empty()) {
      next_->SetEnabled(false);
      return;
    }
    next_->SetEnabled(true);
    TSetupInfo& info = program_.SetupInfoFile.Info;
    if (installDirVisited_) info.InstallDir = AddBackslash(text);
    if (!info.InstallDir.empty() && std::isalpha(static_cast<unsigned char>(info.InstallDir[0]))) {
      program_.FreeSpaceOf(info.InstallDir);
    }
  }
  if (installDirTree_) SelectDirInTree(text, true);
}

void TFrmMain::ShellTreeViewChange() {
  if (!installDirEdit_ || CurrentType() != kPageInstallDir || !installDirTree_) return;
  std::string path = installDirTree_->SelectedPath();
  if (!TProgram::DriveAcceptable(path)) return;
  // Shown as a folder is typed, without the tree's trailing backslash (the
  // stored directory gets one again); a drive's root keeps its own.
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  installDirEdit_->SetText(platform::TextToWide(path));
}

void TFrmMain::SelectDirInTree(const std::string& Path, bool Expand) {
  std::string path = Path;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  while (!path.empty() && path.size() > 2 && !platform::DirectoryExists(path)) {
    size_t cut = path.rfind('\\');
    path = cut == std::string::npos ? std::string() : path.substr(0, cut);
  }
  if (path.empty() || !platform::DirectoryExists(path)) return;
  path = AddBackslash(path);
  installDirTree_->SelectPath(path);
  if (!Expand) return;
  installDirTree_->ExpandNode(2);
  std::string lowerPath = LowerAscii(path);
  for (size_t end = path.find('\\'); end != std::string::npos; end = path.find('\\', end + 1)) {
    std::string part = lowerPath.substr(0, end + 1);
    int32_t found = -1;
    for (int32_t i = 0; i < installDirTree_->NodeCount() && found < 0; ++i) {
      if (LowerAscii(installDirTree_->NodePath(i)) == part) found = i;
    }
    if (found < 0) break;
    installDirTree_->ExpandNode(found);
    if (installDirTree_->NodeIsFirstChild(found)) break;
  }
}

void TFrmMain::ShowDebugWindow() {
  TFrmDebug debug(program_);
  debugText_ = debug.Text();
  form_.ShowTextWindow(kDebugCaption, debugText_, kDebugWidth, kDebugHeight);
}
