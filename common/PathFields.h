// The path variables of scripts and the folders behind them.
#pragma once

#include <string>

#include "common/Bytes.h"

struct TPathFields {
  std::string InstallDir;            // "$INSTDIR" and "$INSTALLDIR"
  std::string StartMenuProgramsDir;  // "$SMPROGRAMS"
  std::string ProgramFilesDir;       // "$PROGRAMFILES"
  std::string CDDrive;               // "$CDDRIVE"
  std::string DesktopDir;            // "$DESKTOP", the user's desktop
  std::string CommonDesktopDir;      // "$COMMONDESKTOP", every user's
  std::string CommonProgramsDir;     // "$COMMONSMPROGRAMS", every user's start menu
};

// Replaces, in this order and each everywhere (ignoring case), $INSTDIR,
// $INSTALLDIR, $SMPROGRAMS, $PROGRAMFILES, $CDDRIVE, $DESKTOP, $COMMONDESKTOP
// and $COMMONSMPROGRAMS; then folds every run of backslashes into one.
WideString ExpandPathFields(const WideString& Text, const TPathFields& Fields);
std::string ExpandPathFields(const std::string& Text, const TPathFields& Fields);
// Writes the install directory, the start-menu programs folder and the
// program-files folder back as $INSTDIR, $SMPROGRAMS and $PROGRAMFILES;
// an empty folder replaces nothing.
WideString CollapsePathFields(const WideString& Text, const TPathFields& Fields);
std::string CollapsePathFields(const std::string& Text, const TPathFields& Fields);

// The first "$NAME" (a "$" and the letters after it) in Text that does not
// begin with a path variable's name, or empty: the builder's check.
std::string UnknownPathField(const std::string& Text);
// The path variables' names, comma-separated, for the builder's message.
std::string KnownPathFields();

// The path of a shell special folder by CSIDL, or empty.
std::string SpecialFolder(int Csidl);
// The root ("D:\") of the first CD-ROM drive, or empty when there is none.
// Raises ESetupError (the system's text for error 14) when the drive strings
// do not fit into 129 characters.
std::string FirstCDDrive();
