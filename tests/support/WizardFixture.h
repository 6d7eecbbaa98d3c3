// A package of layout entries on a fresh machine, a form of the build's
// toolkit and the languages and fields the layouts expand: what the page set
// and the layout parser are built from in the ui tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Exceptions.h"
#include "common/Strings.h"
#include "package/ZUI_PakFile.h"
#include "platform/Widgets.h"
#include "tests/support/TestMachine.h"
#include "ui/SE_Parser.h"
#include "ui/ZUI_Language.h"

struct PakEntry {
  std::string Name;
  std::string Data;
};

// A UTF-16 LE language entry from lines of 8-bit text.
inline std::string LanguageEntry(const std::string& Text) {
  std::string out = "\xff\xfe";
  for (char c : Text) {
    out += c;
    out += '\0';
  }
  return out;
}

struct WizardFixture {
  TestMachine m;
  std::unique_ptr<platform::Form> form = platform::CreateForm();
  std::unique_ptr<TPak> pak;
  TLanguages languages;
  TLanguageStrings fields;
  std::string shortTitle = "Demo";
  TLayoutContext context;

  WizardFixture() {
    fields.AddField("<%SETUPSHORTTITLE%>", &shortTitle);
    AddLanguage(
        "English\r\n0409;\r\n1 Welcome\r\n2 Line one<BR>line two for <%SETUPSHORTTITLE%>\r\n"
        "13 Next >\r\n15 Install\r\n16 Finish\r\n");
    languages.CurrentIndex = 0;
    context.Languages = &languages;
    context.Fields = &fields;
    if (form) {
      context.Form = form.get();
      context.Panel = &form->Create(platform::WidgetKind::kPanel, "Panel1", nullptr);
    }
  }
  bool HasForm() const { return form != nullptr; }
  void AddLanguage(const std::string& Text) {
    std::string data = LanguageEntry(Text);
    languages.AddLanguage(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()));
  }
  // Writes the entries as a package (group 0) and opens it for the layouts.
  void Pack(const std::vector<PakEntry>& Entries) {
    std::string path = m.Path("setup.pak");
    {
      TPak out(path, true, false);
      for (const PakEntry& e : Entries) {
        uint32_t i = out.AddEntry(e.Name, "", 0);
        out.WriteEntry(i, reinterpret_cast<const uint8_t*>(e.Data.data()), static_cast<uint32_t>(e.Data.size()));
      }
      ASSERT_TRUE(out.WriteDirectory());
    }
    pak = std::make_unique<TPak>(path, false, false);
    context.Pak = pak.get();
  }
  // One page from a layout text.
  std::unique_ptr<TControlParser> Page(const std::string& Layout) {
    Pack({{"Page.txt", Layout}});
    auto page = std::make_unique<TControlParser>(context);
    page->LoadFromEntry("Page.txt");
    return page;
  }
};

#define REQUIRE_FORM(f) \
  if (!(f).HasForm()) GTEST_SKIP() << "this build has no wizard windows yet"
