// Layout texts: the line reader, sections, kinds, properties and captions of
// one page; every entry the layout may name (rich text, pictures of each
// format) holds the same bytes, so the decoders see them too.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_PakFile.h"
#include "platform/Widgets.h"
#include "ui/SE_Parser.h"
#include "ui/ZUI_Language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TSilentPrompt silent;
  TPromptScope scope(silent);
  TPak pak(PackInput("layout.pak", {"Page.txt", "x.rtf", "x.jpg", "x.bmp", "x.ico", "x.wmf"}, Data, Size), false,
           false);
  std::unique_ptr<platform::Form> form = platform::CreateForm();
  TLanguages languages;
  TLanguageStrings fields;
  std::string title = "Fuzz";
  fields.AddField("<%SETUPTITLE%>", &title);
  TLayoutContext context;
  context.Pak = &pak;
  context.Languages = &languages;
  context.Fields = &fields;
  context.Form = form.get();
  context.Panel = &form->Create(platform::WidgetKind::kPanel, "Panel1", nullptr);
  TControlParser page(context);
  try {
    page.LoadFromEntry("Page.txt");
    page.HideControls();
    page.ShowControls();
    page.SendControlsToBack();
    page.TranslateCaptions();
  } catch (const ESetupError&) {
  }
  return 0;
}
