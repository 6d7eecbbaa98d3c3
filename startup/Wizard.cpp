// The wizard's road, in an object of its own: a program that never shows the
// wizard (one that passes no runner to RunProgram) links none of it.
#include "platform/Widgets.h"
#include "startup/Startup.h"
#include "ui/FormMain.h"
#include "ui/UiDump.h"

int RunWizard(TProgram& Program, TSetupObserver* Observer) {
  std::unique_ptr<platform::Form> window = platform::CreateForm();
  TDumpedPrompt boxes(*window);
  TFrmMain form(Program, *window, Observer);
  if (!form.SetPagesUp()) return kExitFatalMessage;
  // The wizard is built: the verification window gives way to its first page.
  Program.CloseVerifyWindow();
  window->SetOnIdle([&form, &boxes](const std::string& action) { ReportIdle(form, action, &boxes); });
  window->Run();
  return form.ExitCode();
}
