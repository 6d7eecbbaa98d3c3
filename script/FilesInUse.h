// Files another program holds open: which files a run or an uninstall will
// change, the check before it starts, and the Retry/Cancel question that
// names the programs (or the files, when no program is known).
#pragma once

#include <string>
#include <vector>

#include "common/Bytes.h"
#include "platform/Platform.h"

struct TScriptState;
class TCommandList;

// The files the script's run would change if it started now, as its lines
// name them (file groups' targets, containers and archives, files copied
// over, renamed, deleted, shortcuts), each once.
std::vector<std::string> FilesTheRunChanges(TScriptState& State, const TCommandList& Commands);
// The files the uninstall procedure deletes: the logged files.
std::vector<std::string> FilesTheUninstallChanges(TScriptState& State);

// The box's text: the programs holding Busy's files, or the files where no
// program is named, and what to do.
WideString FilesInUseMessage(const TScriptState& State, const std::vector<platform::FileInUse>& Busy);
// The box's caption.
WideString FilesInUseCaption(const TScriptState& State);
// One line for the run's log and the error log: each file, with the
// programs holding it in brackets.
std::string FilesInUseText(const std::vector<platform::FileInUse>& Busy);

// Checks Paths until none is held. With Ask, each time some are held the box
// asks Retry (check again) or Cancel; without, nobody is asked. True when
// none is held; false when the person cancelled or nobody could be asked,
// with Busy holding what was held then.
bool WaitForFilesInUse(const TScriptState& State, const std::vector<std::string>& Paths, bool Ask,
                       std::vector<platform::FileInUse>& Busy);

// During a run: Path could not be changed because another program holds it.
// Asks the person (when State.AskWhenInUse) to close it; true to try again.
bool RetryFileInUse(const TScriptState& State, const std::string& Path);
