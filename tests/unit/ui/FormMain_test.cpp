// The main form on the emulated machine: the page flow by type, the
// install-directory page's drive and space checks, the language switch,
// closing and its question, the working state, the finaliser.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fstream>

#include "platform/Widgets.h"
#include "platform/host/HostMachine.h"
#include "startup/Startup.h"
#include "tests/support/Recorders.h"
#include "tests/support/WizardFixture.h"
#include "tests/support/Workspace.h"
#include "ui/FormMain.h"
#include "ui/UiDump.h"

namespace {

// The page set "wiz" of every page type, the last one the side picture.
const char* kPages =
    "[Pages]\r\nWelcome.txt\r\nDir.txt\r\nPatch.txt\r\nWork.txt\r\nFinish.txt\r\nSide.txt\r\n"
    "[PageTypes]\r\nwelcome\r\ninstalldir\r\npatch\r\npatching\r\nfinish\r\nmainlayout\r\n"
    "[Settings]\r\ncolour $000000\r\n";

// A setup built from Script with the "wiz" pages on a machine described by
// Ini, loaded by start-up and shown in a form.
struct Wizard {
  Workspace w;
  TProgram program;
  std::unique_ptr<platform::Form> window;
  std::unique_ptr<TFrmMain> form;
  RecordingObserver observer;

  Wizard(const std::string& Ini, const std::string& Script, const std::string& Setup = "Setup.exe",
         bool WithFinaliser = false, const char* Pages = kPages) {
    platform::host::SetFastClock(true);
    std::ofstream(platform::host::Root() + "/machine.ini") << Ini;
    platform::host::SetRoot(platform::host::Root());
    platform::host::Transcript().clear();
    std::string dir = w.data + "\\layout\\wiz\\";
    platform::CreateDirectory(dir);
    TestMachine::Write(dir + "Pages.txt", Pages);
    TestMachine::Write(dir + "Welcome.txt", "[Title]\r\nType=TLabel\r\nCaption=<LANG1>\r\n");
    TestMachine::Write(
        dir + "Dir.txt",
        "[InstallDir_Edit]\r\nType=TEdit\r\nText=\r\n[InstallDir_ShellTreeView]\r\nType=TShellTreeView\r\n"
        "[InstallDir_Reason]\r\nType=TLabel\r\nCaption=\r\n");
    TestMachine::Write(dir + "Patch.txt", "[SpaceAvalible]\r\nType=TLabel\r\nCaption=free\r\n");
    TestMachine::Write(dir + "Work.txt",
                       "[Patching_StatusLabel]\r\nType=TLabel\r\n[Patching_ProgressBar]\r\nType=TProgressBar\r\n");
    TestMachine::Write(dir + "Finish.txt", "[FinishText]\r\nType=TLabel\r\nCaption=<LANG1>\r\n");
    TestMachine::Write(dir + "Side.txt", "[Side]\r\nType=TImage\r\n");
    TestMachine::Write(w.data + "\\languages\\install\\deutsch.wri",
                       LanguageEntry("Deutsch\r\n0407;\r\n1 Willkommen\r\n7 Frei <%SPACEAVA%>\r\n13 Weiter >\r\n"
                                     "31 <%DEVICENAME%> ist ein Geraet\r\n"));
    w.File("files\\a.txt", "AAAA");
    if (WithFinaliser) TestMachine::Write(w.data + "\\finalise.exe", "MZ the finaliser");
    std::string setup = w.Build("name Demo\noutfile " + Setup + "\npages wiz\n" + Script);
    program.Args = {setup};
    EXPECT_EQ(PrepareProgram(program), kContinue) << platform::host::Transcript().size();
    window = platform::CreateForm();
    form = std::make_unique<TFrmMain>(program, *window, &observer);
  }

  ~Wizard() { platform::host::SetFastClock(false); }

  platform::Widget& Named(const std::string& Name) {
    for (int32_t p = 0; p < form->Pages().PageCount(); ++p) {
      for (const TPageControl& c : form->Pages().Page(p).Controls()) {
        if (c.Widget->Name() == Name) return *c.Widget;
      }
    }
    throw std::runtime_error("no control " + Name);
  }
  int Page() const { return form->Pages().CurrentPage(); }
  std::string InstallDir() const { return program.SetupInfoFile.Info.InstallDir; }
};

const char* kScript = "installdir \"$PROGRAMFILES\\Demo\"\nlanguage install\\english\nfile files\\\n";

}  // namespace

// Welcome, install directory, patch, patching (the run), finish: each page's
// buttons, the directory stored with its backslash once visited, the files
// installed, Finish closing without a question.
TEST(FormMain, WalkThroughEveryPageType) {
  Wizard z("[drives]\nC=fixed,5000000\n", kScript);
  ASSERT_TRUE(z.form->SetPagesUp());
  EXPECT_EQ(z.window->Self().GetText(), u" Demo");
  EXPECT_FALSE(z.form->BackButton().IsVisible());
  EXPECT_FALSE(z.form->LanguageButton().IsVisible());  // one language
  EXPECT_EQ(z.form->CancelButton().GetText(), u"Cancel");
  EXPECT_EQ(z.Named("Title").GetText(), u"NOT FOUND 1");
  EXPECT_EQ(z.Named("InstallDir_Edit").GetText(), u"C:\\Program Files\\Demo");
  // The tree holds the nearest existing folder, without being shown.
  EXPECT_EQ(z.Named("InstallDir_ShellTreeView").SelectedPath(), "C:\\");
  EXPECT_FALSE(z.Named("InstallDir_ShellTreeView").IsVisible());
  EXPECT_TRUE(z.Named("Side").IsVisible());

  z.form->NextButtonClick();
  EXPECT_EQ(z.Page(), 1);
  EXPECT_TRUE(z.form->InstallDirVisited());
  EXPECT_EQ(z.InstallDir(), "C:\\Program Files\\Demo\\");
  EXPECT_TRUE(z.form->NextButton().IsEnabled());
  EXPECT_TRUE(z.Named("InstallDir_ShellTreeView").IsVisible());

  z.form->NextButtonClick();
  EXPECT_EQ(z.Page(), 2);
  EXPECT_EQ(z.form->NextButton().GetText(), u"Install");
  EXPECT_EQ(z.Named("SpaceAvalible").GetText(), u"NOT FOUND 7");

  z.form->NextButtonClick();  // onto the patching page: the run, then the finish page
  EXPECT_EQ(z.Page(), 4);
  EXPECT_EQ(TestMachine::Read("C:\\Program Files\\Demo\\a.txt"), "AAAA");
  EXPECT_EQ(z.Named("Patching_StatusLabel").GetText(), u"Extracting a.txt");
  platform::GaugeState bar = z.Named("Patching_ProgressBar").GetGauge();
  EXPECT_EQ(bar.Maximum, 1);
  EXPECT_EQ(bar.Position, 1);
  EXPECT_EQ(z.observer.status.front(), u"Status: 0 of 1 files extracted");
  EXPECT_FALSE(z.form->BackButton().IsVisible());
  EXPECT_FALSE(z.form->NextButton().IsVisible());
  EXPECT_EQ(z.form->CancelButton().GetText(), u"Finish");
  EXPECT_FALSE(z.form->WorkingState());

  size_t boxes = platform::host::Transcript().size();
  z.form->CancelButtonClick();
  EXPECT_TRUE(z.window->Closed());
  EXPECT_EQ(platform::host::Transcript().size(), boxes);  // no question on a finish page
  EXPECT_EQ(z.form->ExitCode(), kExitCompleted);
}

// A CD-ROM or unknown drive, or a name that opens as a device, disables Next
// with the reason on the page; a fixed drive enables it and, once the page was
// visited, stores the directory. Too little free space on the
// chosen drive disables Next on the patch page; another drive mends it.
TEST(FormMain, DriveAndSpaceChecks) {
  Wizard z("[drives]\nC=fixed,2\nD=cdrom\nF=fixed,900000000\nR=removable,nomedium\n",
           "installdir \"C:\\Demo\"\nlanguage install\\english\nlanguage install\\deutsch\nfile files\\\n");
  ASSERT_TRUE(z.form->SetPagesUp());
  platform::Widget& edit = z.Named("InstallDir_Edit");
  z.form->NextButtonClick();
  ASSERT_EQ(z.Page(), 1);
  edit.SetText(u"D:\\Games");
  EXPECT_FALSE(z.form->NextButton().IsEnabled());
  EXPECT_EQ(z.InstallDir(), "C:\\Demo\\");  // not stored
  edit.SetText(u"Q:\\Games");
  EXPECT_FALSE(z.form->NextButton().IsEnabled());
  const WideString drive = z.Named("InstallDir_Reason").GetText();
  EXPECT_NE(drive.find(u"cannot install to this drive"), WideString::npos);
  // A name Windows opens as a device: refused with the device named, in the
  // language chosen; a language without the string falls back to English.
  edit.SetText(u"C:\\Games\\lpt1.txt\\x");
  EXPECT_FALSE(z.form->NextButton().IsEnabled());
  EXPECT_EQ(z.Named("InstallDir_Reason").GetText(), u"Windows opens the name LPT1 as a device: choose another folder.");
  z.form->English1Click(1);
  EXPECT_EQ(z.Named("InstallDir_Reason").GetText(), u"LPT1 ist ein Geraet");
  edit.SetText(u"D:\\Games");
  EXPECT_EQ(z.Named("InstallDir_Reason").GetText(), drive);
  z.form->English1Click(0);
  edit.SetText(u"C:\\Games");
  EXPECT_TRUE(z.form->NextButton().IsEnabled());
  EXPECT_EQ(z.Named("InstallDir_Reason").GetText(), u"");
  EXPECT_EQ(z.InstallDir(), "C:\\Games\\");
  z.form->NextButtonClick();
  EXPECT_EQ(z.Page(), 2);
  EXPECT_FALSE(z.form->NextButton().IsEnabled());  // 2 bytes free, 4 needed
  // Showing the page again in another language runs its check again.
  z.form->English1Click(1);
  EXPECT_FALSE(z.form->NextButton().IsEnabled());
  z.form->English1Click(0);
  // A drive that cannot say how much is free: unknown, and not enough.
  z.form->BackButtonClick();
  edit.SetText(u"R:\\Games");
  EXPECT_TRUE(z.form->NextButton().IsEnabled());
  z.form->NextButtonClick();
  EXPECT_EQ(z.Page(), 2);
  EXPECT_FALSE(z.form->NextButton().IsEnabled());
  EXPECT_EQ(z.program.SpaceAvailableText, "unknown");
  z.form->BackButtonClick();
  edit.SetText(u"F:\\Games");
  z.form->NextButtonClick();
  EXPECT_TRUE(z.form->NextButton().IsEnabled());
  EXPECT_EQ(z.program.SpaceAvailableText, "858.31 MB");

  // A folder picked in the tree shows as one typed, the stored directory
  // with its backslash.
  z.form->BackButtonClick();
  platform::CreateDirectory("C:\\Picked");
  z.Named("InstallDir_ShellTreeView").SelectPath("C:\\Picked\\");
  z.form->ShellTreeViewChange();
  EXPECT_EQ(edit.GetText(), u"C:\\Picked");
  EXPECT_EQ(z.InstallDir(), "C:\\Picked\\");
}

// Switching the language keeps the typed directory, re-translates the
// labels and the buttons, ticks the new item; the menu opens under the
// button's lower-left corner.
TEST(FormMain, LanguageSwitch) {
  Wizard z("[drives]\nC=fixed,5000000\n",
           "installdir \"C:\\Demo\"\nlanguage install\\english\nlanguage install\\deutsch\nfile files\\\n");
  ASSERT_TRUE(z.form->SetPagesUp());
  EXPECT_TRUE(z.form->LanguageButton().IsVisible());
  EXPECT_EQ(z.form->LanguageButton().GetText(), u"English");
  std::vector<platform::MenuItem> menu = z.window->Menu();
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_TRUE(menu[0].Checked);
  EXPECT_FALSE(menu[1].Checked);
  z.form->NextButtonClick();
  z.Named("InstallDir_Edit").SetText(u"C:\\Typed");
  z.form->English1Click(1);
  EXPECT_EQ(z.Named("InstallDir_Edit").GetText(), u"C:\\Typed");
  EXPECT_EQ(z.Named("Title").GetText(), u"Willkommen");
  EXPECT_EQ(z.form->NextButton().GetText(), u"Weiter >");
  EXPECT_EQ(z.form->LanguageButton().GetText(), u"Deutsch");
  menu = z.window->Menu();
  EXPECT_FALSE(menu[0].Checked);
  EXPECT_TRUE(menu[1].Checked);
  z.form->NextButtonClick();
  EXPECT_EQ(z.Named("SpaceAvalible").GetText(), u"Frei 4.77 MB");
  // Once a working page was shown the button stays hidden.
  z.form->NextButtonClick();
  EXPECT_FALSE(z.form->LanguageButton().IsVisible());
}

// A working page placed last stays current after its run: closing it then
// asks nothing and ends as installed, not cancelled.
TEST(FormMain, WorkingPageLastEndsAsInstalled) {
  Wizard z("[drives]\nC=fixed,5000000\n", kScript, "Setup.exe", false,
           "[Pages]\r\nWelcome.txt\r\nWork.txt\r\n[PageTypes]\r\nwelcome\r\npatching\r\n");
  ASSERT_TRUE(z.form->SetPagesUp());
  z.form->NextButtonClick();
  EXPECT_EQ(z.Page(), 1);
  EXPECT_TRUE(platform::FileExists("C:\\Program Files\\Demo\\a.txt"));
  const size_t boxes = platform::host::Transcript().size();
  EXPECT_TRUE(z.form->FormCloseQuery());
  EXPECT_EQ(platform::host::Transcript().size(), boxes);  // no question
  z.form->FormClose();
  EXPECT_EQ(z.form->ExitCode(), kExitCompleted);
}

// A run that fails half-way is undone on the patching page ("Restoring N of
// M" and the bar), then the finish page shows the failure text and the error
// report says what failed and that everything was put
// back; the installed file is gone again and the exit status is 6.
TEST(FormMain, FailedRunIsRolledBackOnTheWorkingPage) {
  Wizard z("[drives]\nC=fixed,5000000\n", std::string(kScript) + "copyfile \"C:\\nowhere.txt\" \"$INSTDIR\\b.txt\"\n");
  ASSERT_TRUE(z.form->SetPagesUp());
  for (int i = 0; i < 3; ++i) z.form->NextButtonClick();
  EXPECT_EQ(z.Page(), 4);
  EXPECT_FALSE(platform::FileExists("C:\\Program Files\\Demo\\a.txt"));
  EXPECT_FALSE(platform::DirectoryExists("C:\\Program Files\\Demo"));
  bool restoring = false;
  for (const WideString& text : z.observer.status) restoring = restoring || text.rfind(u"Restoring ", 0) == 0;
  EXPECT_TRUE(restoring);
  const WideString last = z.Named("Patching_StatusLabel").GetText();
  EXPECT_EQ(last.rfind(u"Restoring ", 0), 0u) << platform::WideToUtf8(last);
  platform::GaugeState bar = z.Named("Patching_ProgressBar").GetGauge();
  EXPECT_EQ(bar.Position, bar.Maximum);
  EXPECT_EQ(z.Named("FinishText").GetText(), u"Setup failed to install.");
  // The error report names the failure and that everything was put back.
  ASSERT_FALSE(platform::host::Transcript().empty());
  const std::string report = platform::host::Transcript().front().Text;
  EXPECT_NE(report.find("b.txt"), std::string::npos) << report;
  EXPECT_NE(report.find("Everything the run had changed was put back"), std::string::npos) << report;
  z.form->CancelButtonClick();
  EXPECT_EQ(z.form->ExitCode(), kExitCompletedWithErrors);
}

// Cancel asks string 27 under caption 28: No keeps the wizard open, Yes
// closes it (exit status 3). While working, closing is refused silently.
TEST(FormMain, CancelQuestionAndWorkingState) {
  Wizard z("[drives]\nC=fixed,5000000\n[messageboxes]\nanswers=7,6\n", kScript);
  ASSERT_TRUE(z.form->SetPagesUp());
  z.form->CancelButtonClick();
  ASSERT_EQ(platform::host::Transcript().size(), 1u);
  EXPECT_EQ(platform::host::Transcript()[0].Caption, "Quit");
  EXPECT_EQ(platform::host::Transcript()[0].Text, "Are you sure you want to quit the installation?");
  EXPECT_EQ(platform::host::Transcript()[0].Flags, platform::kMbYesNo);
  EXPECT_FALSE(z.window->Closed());
  z.form->SetWorkingState(true);
  z.window->Close();
  EXPECT_FALSE(z.window->Closed());
  EXPECT_EQ(platform::host::Transcript().size(), 1u);
  z.form->SetWorkingState(false);
  z.window->Close();
  EXPECT_TRUE(z.window->Closed());
  EXPECT_EQ(z.form->ExitCode(), kExitCancelled);
}

// Pages without the named controls: an install-directory page without its
// box, a working page without status line and bar; nothing fails and the
// run still installs.
TEST(FormMain, MissingNamedControlsNeverFail) {
  Wizard z("[drives]\nC=fixed,5000000\n", kScript);
  std::string dir = z.w.data + "\\layout\\wiz\\";
  TestMachine::Write(dir + "Dir.txt", "[Other]\r\nType=TLabel\r\n");
  TestMachine::Write(dir + "Work.txt", "[Working]\r\nType=TLabel\r\n");
  TestMachine::Write(dir + "Finish.txt", "[Finished]\r\nType=TLabel\r\n");
  std::string setup = z.w.Build("name Demo\noutfile Bare.exe\npages wiz\n" + std::string(kScript), "Bare.exe");
  // The fixture's run of "Demo" is over: another may start.
  z.program.InstanceLock.reset();
  TProgram program;
  program.Args = {setup};
  ASSERT_EQ(PrepareProgram(program), kContinue);
  std::unique_ptr<platform::Form> window = platform::CreateForm();
  TFrmMain form(program, *window, nullptr);
  ASSERT_TRUE(form.SetPagesUp());
  for (int i = 0; i < 3; ++i) form.NextButtonClick();
  EXPECT_EQ(form.Pages().CurrentPage(), 4);
  EXPECT_EQ(TestMachine::Read("C:\\Program Files\\Demo\\a.txt"), "AAAA");
}

// A package without pages, or without languages, is refused with a message.
TEST(FormMain, NoPagesOrNoLanguages) {
  Wizard z("[drives]\nC=fixed,5000000\n", kScript);
  std::string noLanguage = z.w.Build("name Demo\noutfile NoLang.exe\npages wiz\ninstalldir C:\\D\n", "NoLang.exe");
  // The fixture's run of "Demo" is over: another may start.
  z.program.InstanceLock.reset();
  TProgram program;
  program.Args = {noLanguage};
  ASSERT_EQ(PrepareProgram(program), kContinue);
  std::unique_ptr<platform::Form> window = platform::CreateForm();
  TFrmMain form(program, *window, nullptr);
  EXPECT_FALSE(form.SetPagesUp());
  EXPECT_EQ(platform::host::Transcript().back().Text, "Error: Setup has no languages. Setup is corrupt");
  // The builder refuses a page set without pages; a setup made without it
  // is refused when it starts.
  std::string noPages =
      z.w.BuildEdited("name Demo\noutfile NoPages.exe\npages install\ninstalldir C:\\D\nlanguage install\\english\n",
                      "NoPages.exe", [](std::vector<TPackInput>& entries) {
                        for (TPackInput& in : entries) {
                          if (in.EntryName == "Pages.txt") in.Data = TBytes{'[', 'P', 'a', 'g', 'e', 's', ']'};
                        }
                      });
  program.InstanceLock.reset();
  EXPECT_EQ(RunProgram({noPages}, nullptr, RunWizard), kExitFatalMessage);
  EXPECT_EQ(platform::host::Transcript().back().Text, "Error: Setup has no pages. Setup is corrupt");
}

// The finaliser starts only when an uninstaller closes from its finish page.
TEST(FormMain, FinaliserOnlyFromAnUninstallersFinishPage) {
  Wizard z("[drives]\nC=fixed,5000000\n[messageboxes]\nanswers=6\n",
           "installdir \"C:\\Demo\"\nprefix Demo\nlanguage install\\english\nuninstallpages uninstall\n"
           "uninstalllanguage install\\english\nfile files\\\n",
           "Setup.exe", true);
  ASSERT_TRUE(z.form->SetPagesUp());
  testing::internal::CaptureStdout();
  for (int i = 0; i < 3; ++i) z.form->NextButtonClick();
  z.form->CancelButtonClick();
  std::string setupOut = testing::internal::GetCapturedStdout();
  EXPECT_EQ(setupOut.find("[Execute]"), std::string::npos) << setupOut;
  ASSERT_TRUE(platform::FileExists("C:\\Demo\\Demo_Uninstall.exe"));

  // Closed from its welcome page: no finaliser.
  testing::internal::CaptureStdout();
  // The fixture's run of "Demo" is over: another may start.
  z.program.InstanceLock.reset();
  EXPECT_EQ(RunProgram({"C:\\Demo\\Demo_Uninstall.exe"}, nullptr,
                       [](TProgram& p, TSetupObserver* o) {
                         std::unique_ptr<platform::Form> window = platform::CreateForm();
                         TFrmMain form(p, *window, o);
                         form.SetPagesUp();
                         form.CancelButtonClick();
                         return form.ExitCode();
                       }),
            kExitCancelled);
  std::string cancelled = testing::internal::GetCapturedStdout();
  EXPECT_EQ(cancelled.find("[Execute]"), std::string::npos) << cancelled;
  EXPECT_TRUE(platform::FileExists("C:\\Demo\\a.txt"));

  // Walked to its finish page: the uninstall, then the finaliser, written
  // into a new folder of its own; a file planted under the old fixed name in
  // the temporary folder is neither written nor started.
  platform::CreateDirectory("C:\\Temp");
  TestMachine::Write("C:\\Temp\\FINALISE.exe", "planted");
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunProgram({"C:\\Demo\\Demo_Uninstall.exe"}, nullptr, RunWizard), kExitCompleted);
  std::string walked = testing::internal::GetCapturedStdout();
  size_t started = walked.find("[Execute] C:\\Temp\\wizpak-");
  ASSERT_NE(started, std::string::npos) << walked;
  std::string line = walked.substr(started, walked.find('\n', started) - started);
  const std::string random = line.substr(std::string("[Execute] C:\\Temp\\wizpak-").size(), 24);
  EXPECT_EQ(random.find_first_not_of("0123456789abcdef"), std::string::npos) << line;
  EXPECT_NE(line.find("\\FINALISE.exe \"C:\\Demo\\Demo_Uninstall.exe\""), std::string::npos) << line;
  EXPECT_EQ(TestMachine::Read("C:\\Temp\\FINALISE.exe"), "planted");
  EXPECT_FALSE(platform::FileExists("C:\\Demo\\a.txt"));
}

// The dump: one line per idle moment with the page, its type, the buttons,
// the menu and every control with its properties.
TEST(FormMain, DumpLine) {
  Wizard z("[drives]\nC=fixed,5000000\n", kScript);
  ASSERT_TRUE(z.form->SetPagesUp());
  std::string line = UiDumpLine(*z.form, "start");
  for (const char* part :
       {"{\"action\":\"start\",\"page\":0,\"type\":\"welcome\",\"caption\":\" Demo\",\"panel\":{\"colour\":0},",
        "\"back\":{\"caption\":\"< Back\",\"visible\":false,\"enabled\":true}",
        "\"menu\":[{\"caption\":\"English\",\"checked\":true}]",
        "{\"page\":0,\"name\":\"Title\",\"kind\":\"tlabel\",\"left\":0,\"top\":0,\"width\":0,\"height\":0,"
        "\"visible\":true,\"enabled\":true,\"text\":\"NOT FOUND 1\",\"font\":{\"face\":\"MS Shell Dlg 2\",\"size\":8,"
        "\"colour\":null,\"bold\":false},\"transparent\":false,\"autosize\":true,\"wordwrap\":false}",
        "\"kind\":\"tprogressbar\"", "\"min\":0,\"max\":100,\"position\":0,\"gauge_caption\":\"0%\"",
        "\"name\":\"Side\",\"kind\":\"timage\"", "\"picture\":null"}) {
    EXPECT_NE(line.find(part), std::string::npos) << part << "\n" << line;
  }
  std::string page = PageTranscript(*z.form);
  EXPECT_EQ(page, "page 0 (welcome)\n  Title: NOT FOUND 1\n  buttons: [Next >] [Cancel]");
}
#endif
