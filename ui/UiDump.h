// What the wizard shows, as data: one JSON object per idle moment (the UI
// dump, appended to the file WIZPAK_UI_DUMP names) and the transcript lines of
// the page shown. Everything is read back through the widget seam, so the
// Windows build reports its real windows and the host build its model.
#pragma once

#include <string>

class TFrmMain;

// The dump line (without line end) after Action.
std::string UiDumpLine(TFrmMain& Form, const std::string& Action);
// The page shown: "page N (type): " the visible texts in order, then the
// buttons with their state.
std::string PageTranscript(TFrmMain& Form);
// Writes the dump line to WIZPAK_UI_DUMP, when set, and the transcript to
// the form's report. Called each time the wizard is idle again.
void ReportIdle(TFrmMain& Form, const std::string& Action);
