// The setup thread: it idles until the wizard asks for a run, walks the
// compiled lines once (jumps, stop flag), then creates the install directory
// and, when the setup asks for one, saves the uninstall log and builds the
// uninstaller.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "common/FunctionRef.h"
#include "package/ZUI_CommandList.h"
#include "platform/Platform.h"
#include "script/SE_ScriptState.h"

class TSetupThread {
 public:
  // OnError receives an exception's message that ended a run; the run's
  // finishing steps are then skipped and Failed is set.
  TSetupThread(TScriptState& State, const TCommandList& Commands, std::function<void(const std::string&)> OnError);
  // Asks the thread to quit and waits for it.
  ~TSetupThread();
  TSetupThread(const TSetupThread&) = delete;
  TSetupThread& operator=(const TSetupThread&) = delete;

  // Starts the thread body (polls RunRequested and QuitRequested every 1 ms).
  bool Start();
  void RequestQuit() { QuitRequested = true; }
  // One run of the script with its finishing steps; raises what a command raises.
  void RunScript();

  std::atomic<bool> QuitRequested{false};
  std::atomic<bool> RunRequested{false};
  std::atomic<bool> Failed{false};

 private:
  void Execute();
  // The script's lines, until the end or a stop.
  void RunLines();
  // The end of a run that did not stop on a failure: the open container
  // saved, the install log, the uninstaller, the product's key.
  void FinishRun();

  TScriptState& state_;
  // The install directory and its parents as the run's start made them.
  std::vector<std::string> madeFolders_;
  const TCommandList& commands_;
  std::function<void(const std::string&)> onError_;
  platform::Thread thread_;
};

// Starting a run as the working page does: the status and the bar, the install
// directory recorded, then the run requested; returns when the thread has
// finished it (Pump is called between 1 ms sleeps). False when the run ended
// with an exception.
bool StartRun(TSetupThread& Thread, TScriptState& State, TFunctionRef<void()> Pump);
