// The program body of the setup, patch and uninstall runtime, shared by the
// Windows stub and the host runner.
#pragma once

#include <string>
#include <vector>

#include "common/Observers.h"
#include "ui/ZUI_Program.h"

struct TProgram;

// Start-up up to the road: the package opened and verified, the setup
// information and the script or install log loaded, the language chosen,
// the install directory found. Program.Args must be set. Returns kContinue
// when the wizard or the road can follow, else the exit status (a fatal
// message was shown).
constexpr int kContinue = -1;
int PrepareProgram(TProgram& Program);
// The switches of Program.Args, letters in any case: "/S" (unattended),
// "/LOG=FILE" and "/D=PATH", the last switch, which takes the rest of the
// command line. CommandLine is the unsplit command line when the system gives
// one: "/D=" then takes its rest exactly, else the arguments joined by blanks.
void ReadSwitches(TProgram& Program, const std::string& CommandLine);
// Shows the wizard for a loaded program and returns the exit status.
using TWizardRunner = int (*)(TProgram& Program, TSetupObserver* Observer);

// Args[0] is the program's own path; an optional Args[1] naming an existing
// file, and no switch, is the package to run instead of the program's own
// payload. With "/S" the road without pages runs and no box is shown;
// "/LOG=FILE" writes the install log. Observer (may be null) sees the status
// line, progress and finish text of the run. With a Wizard the wizard runs;
// without, the road without pages. Returns kExitCompleted when the road ran to
// its end or the wizard closed from a finish page, kExitFatalMessage after a
// fatal start-up message, kExitErrorLog after an error log, kExitCancelled
// when the wizard closed anywhere else, kExitCompletedWithErrors when the run
// could not do everything (the error log lists what), kExitFailureLine when
// the script's "failure" line stopped the run, kExitDriveUnusable when an
// unattended setup's drive cannot take the files.
int RunProgram(const std::vector<std::string>& Args, TSetupObserver* Observer, TWizardRunner Wizard);
// The wizard: SetPagesUp and the message loop until the form closes.
int RunWizard(TProgram& Program, TSetupObserver* Observer);

class TPak;
class TCompLines;
class TCommandList;
// Bytes a setup needs: the original sizes of its file groups' entries and the
// stored sizes of its patch groups' entries (the original size of one stored
// raw), by the group kinds of the script's commands in line order.
uint64_t SpaceRequiredFor(const TPak& Pak, const TCompLines& Lines, const TCommandList& Commands);

// The renamed-executable rule: Found (a file name, lower-cased) with every
// "(...)" and then every "[...]" group dropped whose content is empty or only
// the digits 1 to 9.
std::string NormaliseExeName(const std::string& Found);
