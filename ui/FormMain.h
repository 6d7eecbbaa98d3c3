// The wizard's main form: a page panel over a row of buttons, the page flow
// by page type, the install-directory page, the run of the script on the
// patching page, the uninstall page, the language menu and closing.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/FunctionRef.h"
#include "common/Observers.h"
#include "platform/Widgets.h"
#include "script/SE_ScriptState.h"
#include "script/SE_SetupThread.h"
#include "ui/SE_Parser.h"
#include "ui/ZUI_Program.h"

class TFrmDebug;

class TFrmMain {
 public:
  // FormCreate: the form's controls, the page set (empty) and the setup
  // thread (idle). Outer (may be null) sees the run's notifications too, on
  // the UI thread.
  TFrmMain(TProgram& Program, platform::Form& Form, TSetupObserver* Outer);
  ~TFrmMain();
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;

  // Titles, pages, named controls, install directory, captions, languages.
  // False (a message shown) when the package has no pages or no languages.
  bool SetPagesUp();
  void SetupLanguages();
  void SetupCheckedLanguage();
  void LanguageButtonClick();
  void English1Click(size_t Index);
  void NextButtonClick();
  void BackButtonClick();
  void CancelButtonClick();
  bool FormCloseQuery();
  void FormClose();
  void InstallDir_Edit_Change();
  void ShellTreeViewChange();
  void SetWorkingState(bool Working) {
    workingState_ = Working;
    form_.SetBusy(Working);
  }
  // Opens the debug window and closes it again (the key combination).
  void ShowDebugWindow();

  // The exit status the wizard ends with: 0 closed from a finish page, 3
  // closed anywhere else, 2 after an error log.
  int ExitCode() const;

  // What the UI dump and the transcript read.
  platform::Form& Form() { return form_; }
  const TSEPageControl& Pages() const { return *pages_; }
  platform::Widget& Panel() { return *panel_; }
  platform::Widget& BackButton() { return *back_; }
  platform::Widget& NextButton() { return *next_; }
  platform::Widget& CancelButton() { return *cancel_; }
  platform::Widget& LanguageButton() { return *language_; }
  // Button Index of kWizardButtons.
  platform::Widget& Button(int Index) { return *buttons_[Index]; }
  bool InstallDirVisited() const { return installDirVisited_; }
  bool WorkingState() const { return workingState_; }
  const std::string& DebugText() const { return debugText_; }

 private:
  class TControlUpdater;
  class TPostingObserver;

  // Runs a handler the way the message loop would: an exception becomes a
  // message box with its text.
  void Guarded(TFunctionRef<void()> Handler);
  // The form's handler that runs Method guarded; one closure type for them
  // all, so the program carries one copy of its code.
  std::function<void()> GuardedHandler(void (TFrmMain::*Method)());
  // The language menu's handler: the language chosen, guarded.
  std::function<void(size_t)> LanguageMenuHandler();
  void StartPatching();
  // The patch page's space check and its free-space label.
  void CheckPatchPage();
  // The error log for Text, or a message box when no log can be written.
  void ReportError(const std::string& Text, const std::string& Stage);
  // Reports Text and ends the wizard (exit status 2).
  void EndWithError(const std::string& Text, const std::string& Stage);
  void RunUninstallPage();
  // Selects Path in the folder tree; with Expand, opens the nodes down to it.
  void SelectDirInTree(const std::string& Path, bool Expand);
  uint8_t CurrentType() const;
  std::string ApplicationTitle() const;

  TProgram& program_;
  platform::Form& form_;
  TSetupObserver* outer_;
  platform::Widget* panel_ = nullptr;
  platform::Widget* buttons_[kWizardButtonCount] = {};
  platform::Widget* back_ = nullptr;
  platform::Widget* next_ = nullptr;
  platform::Widget* cancel_ = nullptr;
  platform::Widget* language_ = nullptr;
  TLayoutContext layout_;
  std::unique_ptr<TSEPageControl> pages_;
  std::unique_ptr<TControlUpdater> updater_;
  std::unique_ptr<TPostingObserver> poster_;
  TScriptState state_;
  std::unique_ptr<TSetupThread> thread_;
  std::string threadError_;

  platform::Widget* patchingStatusLabel_ = nullptr;
  platform::Widget* patchingProgressBar_ = nullptr;
  platform::Widget* finishTextLabel_ = nullptr;
  platform::Widget* installDirEdit_ = nullptr;
  platform::Widget* installDirTree_ = nullptr;
  platform::Widget* spaceAvailableLabel_ = nullptr;
  platform::Widget* installDirReasonLabel_ = nullptr;  // why the typed folder is refused

  bool installDirVisited_ = false;
  bool workingState_ = false;
  bool terminating_ = false;
  bool closedOnFinish_ = false;
  // The run (or the uninstall) went to its end: closing now is no cancel.
  bool runEnded_ = false;
  bool errorLogWritten_ = false;
  bool completedWithErrors_ = false;
  std::string debugText_;
};
