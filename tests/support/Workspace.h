// A builder workspace on a fresh test machine: a source folder and a small
// data folder (one language, two page sets).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "builder/CompileDriver.h"
#include "script/ZUI_Commands.h"
#include "tests/support/TestMachine.h"

// A source folder and a data folder on a fresh machine.
struct Workspace {
  // An English language file with the strings the runtime shows.
  static std::string English();

  TestMachine m;
  std::string src = m.Path("src");
  std::string data = m.Path("data");
  TCommandList commands;

  Workspace() {
    RegisterCommands(commands);
    platform::CreateDirectory(src);
    for (const char* d : {"data", "data\\languages", "data\\languages\\install", "data\\layout",
                          "data\\layout\\install", "data\\layout\\uninstall"}) {
      platform::CreateDirectory(m.Path(d));
    }
    TestMachine::Write(data + "\\languages\\install\\english.wri", English());
    // Three pages each: a welcome, a working page with the status line and
    // the bar, a finish page with its text.
    for (const char* set : {"install", "uninstall"}) {
      std::string dir = data + "\\layout\\" + set + "\\";
      TestMachine::Write(dir + "Pages.txt",
                         std::string("[Pages]\r\nWelcome.txt\r\nWork.txt\r\nFinish.txt\r\n[PageTypes]\r\nWelcome\r\n") +
                             (set == std::string("install") ? "Patching" : "Uninstall") + "\r\nFinish\r\n");
      TestMachine::Write(dir + "Welcome.txt", std::string("[Hello_") + set + "]\r\nType=TLabel\r\nCaption=Hello\r\n");
      TestMachine::Write(
          dir + "Work.txt",
          std::string("[Patching_StatusLabel]\r\nType=TLabel\r\n[Patching_ProgressBar]\r\n") + "Type=TProgressBar\r\n");
      TestMachine::Write(dir + "Finish.txt", "[FinishText]\r\nType=TLabel\r\nCaption=Done\r\n");
    }
    TestMachine::Write(data + "\\layout\\install\\icon.ico", "ico");
    TestMachine::Write(data + "\\layout\\uninstall\\icon.ico", "unico");
  }
  void File(const std::string& rel, const std::string& bytes) {
    std::string path = src + "\\" + rel;
    size_t slash = path.rfind('\\');
    std::string dir = path.substr(0, slash);
    // Make the folders one by one below src.
    for (size_t p = src.size() + 1; p < dir.size(); ++p) {
      if (dir[p] == '\\') platform::CreateDirectory(dir.substr(0, p));
    }
    platform::CreateDirectory(dir);
    TestMachine::Write(path, bytes);
  }
  // Builds Script into a setup named Name in the machine's folder, behind a
  // small stub; returns its path (empty, with the errors in a failure, when
  // the build fails). A script without a "pages" line gets the install pages.
  std::string Build(const std::string& script, const std::string& name = "Setup.exe") {
    bool hasPages = script.rfind("pages ", 0) == 0 || script.find("\npages ") != std::string::npos;
    TestMachine::Write(src + "\\setup.wps", hasPages ? script : script + "\npages install\n");
    TestMachine::Write(m.Path("stub.exe"), "MZ" + std::string(510, '\x90'));
    TBuildOptions o;
    o.Script = src + "\\setup.wps";
    o.Output = m.Path(name);
    o.Stub = m.Path("stub.exe");
    o.DataDirs = {data};
    std::vector<std::string> errors;
    std::string output;
    TPackStats stats;
    if (!BuildSetup(o, errors, output, stats, nullptr)) {
      for (const auto& e : errors) ADD_FAILURE() << e;
      return {};
    }
    return output;
  }
  // Builds Script as Build does, with Edit changing the setup's entries
  // before they are packed: a setup the builder itself would refuse.
  std::string BuildEdited(const std::string& script, const std::string& name,
                          const std::function<void(std::vector<TPackInput>&)>& Edit) {
    TCompiler c;
    std::vector<std::string> errors;
    std::vector<TPackInput> entries;
    TestMachine::Write(m.Path("stub.exe"), "MZ" + std::string(510, '\x90'));
    TPackStats stats;
    std::string error;
    if (!Compile(script, c, errors) || !CollectSetupEntries("setup.wps", c, "", entries, errors)) {
      for (const auto& e : errors) ADD_FAILURE() << e;
      return {};
    }
    Edit(entries);
    if (!WritePackage({m.Path(name), m.Path("stub.exe")}, entries, stats, error)) {
      ADD_FAILURE() << error;
      return {};
    }
    return m.Path(name);
  }
  bool Compile(const std::string& script, TCompiler& c, std::vector<std::string>& errors) {
    c.SourceDir = src;
    c.DataDirs = {data};
    return CompileScript("setup.wps", script, c, commands, errors);
  }
};

inline std::string Workspace::English() {
  const char* text =
      "English\r\n0409;\r\n12 < Back\r\n13 Next >\r\n14 Cancel\r\n15 Install\r\n16 Finish\r\n"
      "17 Copying File <%FILENAME%>\r\n18 Extracting <%FILENAME%>\r\n"
      "19 Uninstalling <%ZUPNAME%>: <%FNUM%> of <%FTOTAL%> items\r\n21 Beginning Installation\r\n"
      "23 Setup failed to install.\r\n24 registry values\r\n25 directories\r\n26 Uninstall\r\n"
      "27 Are you sure you want to quit the installation?\r\n28 Quit\r\n";
  std::string out = "\xff\xfe";
  for (const char* c = text; *c; ++c) {
    out += *c;
    out += '\0';
  }
  return out;
}
