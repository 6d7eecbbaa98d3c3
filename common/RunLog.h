// The install log a run writes on request (/LOG=FILE): plain UTF-8 text, one
// line per event, each written to the file as it happens, so a run that stops
// short leaves what happened until then. One per program; any thread may
// write to it. While no log is open, the calls do nothing.
#pragma once

#include <string>

#include "common/Bytes.h"

// Starts the log at Path, replacing a file there. False when it cannot be
// created; the last error says why.
bool OpenRunLog(const std::string& Path);
void CloseRunLog();
bool RunLogIsOpen();
// One line: What, ": " and Text (in the ANSI code page, as the program's
// paths are), ended by CR LF.
void LogLine(const char* What, const std::string& Text);
void LogLineWide(const char* What, const WideString& Text);
