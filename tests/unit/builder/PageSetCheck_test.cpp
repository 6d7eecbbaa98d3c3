// The builder's reading of page sets: texts written with bare line feeds
// packed whole, and every page-set mistake the setup would meet stopping the
// build with its file and line.
#include <gtest/gtest.h>

#include "builder/CompileDriver.h"
#include "package/ZUI_PakFile.h"
#include "platform/Widgets.h"
#include "tests/support/TestMachine.h"
#include "tests/support/Workspace.h"
#include "ui/SE_Parser.h"
#include "ui/ZUI_Language.h"

namespace {

std::string Joined(const std::vector<std::string>& errors) {
  std::string all;
  for (const auto& e : errors) all += e + "\n";
  return all;
}

std::string WithoutCr(std::string text) {
  std::erase(text, '\r');
  return text;
}

// Builds the workspace's script; the errors of a failed build.
std::vector<std::string> BuildErrors(Workspace& w, const std::string& script) {
  TestMachine::Write(w.src + "\\setup.wps", script);
  TestMachine::Write(w.m.Path("stub.exe"), "MZ stub");
  TBuildOptions o;
  o.Script = w.src + "\\setup.wps";
  o.Output = w.m.Path("Setup.exe");
  o.Stub = w.m.Path("stub.exe");
  o.DataDirs = {w.data};
  std::vector<std::string> errors;
  std::string output;
  TPackStats stats;
  if (BuildSetup(o, errors, output, stats, nullptr)) return {};
  EXPECT_FALSE(platform::FileExists(o.Output));
  return errors;
}

constexpr char kScript[] =
    "name Demo\nlanguage install\\english\npages install\nuninstallpages uninstall\nfile files\\\n";

}  // namespace

// Page sets and layouts saved on Linux are packed with CR LF line ends, so the
// wizard reads their pages whole.
TEST(PageSetCheck, LineFeedTextsArePackedWithCarriageReturns) {
  Workspace w;
  w.File("files\\a.txt", "a");
  const std::string dir = w.data + "\\layout\\install\\";
  for (const char* name : {"Pages.txt", "Welcome.txt", "Work.txt", "Finish.txt"}) {
    TestMachine::Write(dir + name, WithoutCr(TestMachine::Read(dir + name)));
  }
  // A file already in CR LF, or mixed, keeps the CR it has: none doubled.
  TestMachine::Write(dir + "Finish.txt", "[FinishText]\r\nType=TLabel\nCaption=Done\n");
  std::string setup = w.Build(kScript);
  ASSERT_FALSE(setup.empty());
  TPak pak(setup, false, false);
  uint32_t size = 0;
  auto finish = pak.FindEntry("Finish.txt", 0, size);
  ASSERT_TRUE(finish);
  EXPECT_EQ(std::string(finish->begin(), finish->end()), "[FinishText]\r\nType=TLabel\r\nCaption=Done\r\n");

  std::unique_ptr<platform::Form> form = platform::CreateForm();
  TLanguages languages;
  TLayoutContext context;
  context.Pak = &pak;
  context.Languages = &languages;
  context.Form = form.get();
  context.Panel = &form->Create(platform::WidgetKind::kPanel, "Panel1", nullptr);
  platform::Widget& button = form->Create(platform::WidgetKind::kButton, "Button", nullptr);
  TSEPageControl pages(button, *context.Panel, button, button, button, context);
  pages.LoadPageSet(kPageSetEntry);
  ASSERT_EQ(pages.PageCount(), 3);
  EXPECT_EQ(pages.PageType(1), kPagePatching);
  EXPECT_EQ(pages.Page(1).Controls().size(), 2u);
  EXPECT_EQ(pages.PageType(2), kPageFinish);
}

// Each mistake the setup would meet is an error naming the file and line it is
// in; nothing is written.
TEST(PageSetCheck, MistakesStopTheBuildWithFileAndLine) {
  struct Case {
    const char* Set;
    const char* File;
    const char* Text;
    const char* Error;  // what follows "FOLDER\FILE:"
  };
  const Case cases[] = {
      {"install", "Pages.txt", "[Pages]\r\nWelcome.txt\r\nWork.txt\r\n[PageTypes]\r\nWelcom\r\nPatching\r\n",
       "5: unknown page type \"Welcom\" (known: welcome, changelog, installdir, patch, patching, finish, mainlayout, "
       "uninstall, license)"},
      {"install", "Pages.txt", "[Pages]\r\nWelcome.txt\r\n\r\nLicence.txt\r\n",
       "4: layout \"Licence.txt\" is not in the page set (the setup would show \"Error File Missing: |Licence.txt|\" "
       "and an empty page)"},
      {"install", "Pages.txt", "[Pages]\r\nWelcome.txt\r\n[PageTypes]\r\nWelcome\r\nFinish\r\n",
       "5: page type \"Finish\" has no page: [Pages] lists fewer"},
      {"install", "Pages.txt", "[Settings]\r\nColour=$FFFFFF\r\n",
       " the page set lists no pages under [Pages] (the setup would stop with \"Error: Setup has no pages\")"},
      {"install", "Pages.txt", "[Pages]\r\nWelcome.txt\r\n[Settings]\r\nColour=white\r\n",
       "4: 'white' is not a valid integer value"},
      {"install", "Welcome.txt", "[Hello]\r\nType=TLabel\r\nLeft=10\r\nTop=1O\r\n",
       "4: '1O' is not a valid integer value"},
      {"install", "Welcome.txt", "[Hello]\r\nType=TLabel\r\n\r\n[Picture]\r\nType=TImage\r\nFile=Side.jpg\r\n",
       "6: picture \"Side.jpg\" is not in the page set"},
      {"install", "Welcome.txt", "[Hello]\r\nType=TLabell\r\n",
       "2: unknown control type \"TLabell\" (known: tlabel, tedit, tshelltreeview, tbutton, timage, tpanel, tbevel, "
       "tmemo, trichedit, tprogressbar, tcheckbox)"},
      {"install", "Welcome.txt", "[Hello]\r\nCaption=Hello\r\n", "1: section [Hello] has no \"Type=\" line after it"},
      {"install", "Welcome.txt", "[Hello]\r\nType=TLabel\r\n[hello]\r\nType=TLabel\r\n",
       "3: A component named hello already exists"},
      {"install", "Welcome.txt", "[Hello there]\r\nType=TLabel\r\n",
       "1: Control name \"Hello there\" is not a valid component name"},
      {"install", "Welcome.txt", "[Hello]\r\nType=TLabel\r\nCaption=<LANG2\r\n", "3: '' is not a valid integer value"},
      {"install", "Welcome.txt", "[Changes]\r\nType=TRichEdit\r\nFile=<%CHANGELOG%>\r\n",
       "3: file \"<%CHANGELOG%>\" (\"\") is not packed (the setup would show \"Error: File \"\" Missing\")"},
      {"uninstall", "Work.txt", "[Patching_StatusLabel]\r\nType=TLabel\r\nWidth=wide\r\n",
       "3: 'wide' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    Workspace w;
    w.File("files\\a.txt", "a");
    std::string file = w.data + "\\layout\\" + c.Set + "\\" + c.File;
    TestMachine::Write(file, c.Text);
    std::vector<std::string> errors = BuildErrors(w, kScript);
    ASSERT_EQ(errors.size(), 1u) << c.File << " " << c.Text << "\n" << Joined(errors);
    EXPECT_EQ(errors[0], file + ":" + c.Error) << c.Text;
  }
}

// The whole set is read: every mistake is named, not only the first.
TEST(PageSetCheck, EveryMistakeIsNamed) {
  Workspace w;
  w.File("files\\a.txt", "a");
  const std::string dir = w.data + "\\layout\\install\\";
  TestMachine::Write(dir + "Welcome.txt", "[Hello]\r\nType=TLabel\r\nLeft=x\r\nTop=y\r\n");
  TestMachine::Write(
      dir + "Pages.txt",
      "[Pages]\r\nWelcome.txt\r\nGone.txt\r\nFinish.txt\r\n[PageTypes]\r\nWelcome\r\nPatching\r\nEnd\r\n");
  std::vector<std::string> errors = BuildErrors(w, kScript);
  ASSERT_EQ(errors.size(), 4u) << Joined(errors);
  EXPECT_EQ(errors[0].rfind(dir + "Welcome.txt:3: ", 0), 0u) << errors[0];
  EXPECT_EQ(errors[1].rfind(dir + "Welcome.txt:4: ", 0), 0u) << errors[1];
  EXPECT_EQ(errors[2].rfind(dir + "Pages.txt:3: layout \"Gone.txt\"", 0), 0u) << errors[2];
  EXPECT_EQ(errors[3].rfind(dir + "Pages.txt:8: unknown page type \"End\"", 0), 0u) << errors[3];
}

// A registry root the run does not know (it would write under HKLM) is refused
// wherever a script names one.
TEST(PageSetCheck, UnknownRegistryRootsAreRefused) {
  Workspace w;
  w.File("files\\a.txt", "a");
  TCompiler c;
  std::vector<std::string> errors;
  EXPECT_FALSE(
      w.Compile("writeregstr HKLN \"SOFTWARE\\Demo\" Path x\n"
                "installdirregkey HKEY_CURRENT_USER \"SOFTWARE\\Demo\" Path\n"
                "file files\\ \"\" HKXX \"SOFTWARE\\Demo\" Edition Gold 1\n"
                "writeregstr hkcu \"SOFTWARE\\Demo\" Path x\n"
                "file files\\ \"\" HKCR \"SOFTWARE\\Demo\" Edition Gold 1\n",
                c, errors));
  const std::string known = " (known: HKLM, HKCU, HKCR, HKU, HKCC)";
  EXPECT_EQ(errors, (std::vector<std::string>{"setup.wps:1: unknown registry root \"HKLN\"" + known,
                                              "setup.wps:2: unknown registry root \"HKEY_CURRENT_USER\"" + known,
                                              "setup.wps:3: unknown registry root \"HKXX\"" + known}));
}
