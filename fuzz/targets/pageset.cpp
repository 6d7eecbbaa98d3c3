// Page-set texts: sections, pages (each layout entry holds the same bytes),
// types by position, settings; then every page shown and translated.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_PakFile.h"
#include "platform/Widgets.h"
#include "ui/SE_Parser.h"
#include "ui/ZUI_Language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TSilentPrompt silent;
  TPromptScope scope(silent);
  TPak pak(PackInput("pageset.pak", {"Pages.txt", "layout.txt", "install.txt", "a.txt"}, Data, Size), false, false);
  std::unique_ptr<platform::Form> form = platform::CreateForm();
  TLanguages languages;
  TLayoutContext context;
  context.Pak = &pak;
  context.Languages = &languages;
  context.Form = form.get();
  context.Panel = &form->Create(platform::WidgetKind::kPanel, "Panel1", nullptr);
  platform::Widget& button = form->Create(platform::WidgetKind::kButton, "Button", nullptr);
  TSEPageControl pages(button, *context.Panel, button, button, button, context);
  try {
    pages.LoadPageSet("Pages.txt");
  } catch (const ESetupError&) {
    return 0;
  }
  for (int32_t i = -1; i <= pages.PageCount(); ++i) pages.ShowPage(i);
  try {
    pages.TranslatePages();
  } catch (const ESetupError&) {
  }
  return 0;
}
