// The error log: a text report of the setup, the package header, the error,
// the command line and the machine, written to the temporary folder when an
// exception escapes a guarded stage; the user is told where it is and the
// log is opened.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "package/ZUI_PakFile.h"
#include "package/ZUI_SetupInfo.h"

struct TErrorReport {
  const TSetupInfoFile* SetupInfo = nullptr;  // may be null
  const TPakTrailer* Trailer = nullptr;       // may be null: the package is not open yet
  // The command-line arguments after the program, held by whoever made the
  // report (a view: making a report copies nothing).
  std::span<const std::string> Arguments;
  platform::Registry* Registry = nullptr;
  bool Unattended = false;  // the log is not opened
};

// The first free name "ErrorLog" + n (four digits at least) + ".TXT" in
// Folder, from n = *Number (0 without it); *Number gets the n taken.
std::string NextErrorLogName(const std::string& Folder, unsigned* Number = nullptr);
// "A.PAK /j X X.X.X.X EXTRA": upper-cased, "/J" and the two arguments after
// it masked.
std::string MaskedCommandLine(std::span<const std::string> Arguments);
// The report's text, lines ended by CR LF.
std::string ErrorLogText(const std::string& ErrorText, const std::string& ErrorType, const TErrorReport& Report);
// "2049MB" for 2 GiB: whole MiB plus one.
std::string MemoryText(uint32_t Bytes);
// The processor clock in MHz, measured over 500 ms at real-time priority.
uint32_t MeasureCpuMhz();

// Writes the log, shows where it is and opens it (unattended: not opened). Returns the log's path.
// Raises ESetupError when the log cannot be created.
std::string WriteErrorLog(const std::string& ErrorText, const std::string& ErrorType, const TErrorReport& Report);
