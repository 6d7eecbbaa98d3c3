// What the wizard shows, as data: one JSON object per idle moment (the UI
// dump, appended to the file WIZPAK_UI_DUMP names) and the transcript lines of
// the page shown. Everything is read back through the widget seam, so the
// Windows build reports its real windows and the host build its model.
#pragma once

#include <string>
#include <vector>

#include "common/Prompt.h"

class TFrmMain;
namespace platform {
class Form;
}

// While it is in force, the message boxes the wizard shows (from either
// thread) are passed on to the prompt before it and kept, in order, for
// the next dump line: what a person saw in a box is in the dump too.
class TDumpedPrompt : public TPrompt {
 public:
  explicit TDumpedPrompt(platform::Form& Form);
  int Show(const std::string& Text, const std::string& Caption, uint32_t Flags) override;
  int ShowWide(const WideString& Text, const WideString& Caption, uint32_t Flags) override;
  void FatalAppExit(const std::string& Text) override;

  struct TBox {
    WideString Caption;
    WideString Text;
    uint32_t Flags = 0;
    int Answer = 0;
  };
  // The boxes shown since the last call, on the UI thread.
  std::vector<TBox> Take();

 private:
  void Keep(TBox Box);
  platform::Form& form_;
  TPrompt& inner_;
  TPromptScope scope_;
  std::vector<TBox> shown_;
};

// The dump line (without line end) after Action, with the boxes shown
// during it.
std::string UiDumpLine(TFrmMain& Form, const std::string& Action, const std::vector<TDumpedPrompt::TBox>& Boxes = {});
// The page shown: "page N (type): " the visible texts in order, then the
// buttons with their state.
std::string PageTranscript(TFrmMain& Form);
// Writes the dump line to WIZPAK_UI_DUMP, when set, and the transcript to
// the form's report. Called each time the wizard is idle again.
void ReportIdle(TFrmMain& Form, const std::string& Action, TDumpedPrompt* Boxes = nullptr);
