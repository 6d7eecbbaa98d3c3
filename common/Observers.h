// How the engine reports to whoever watches it. The setup thread and the
// extraction code see the wizard only through TSetupObserver; what they create
// is recorded through TInstallRecorder (the uninstall log implements it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Bytes.h"

// Called from the setup thread while a run goes on, and from the UI thread by
// the uninstall procedure and when a run starts. An implementation that shows
// controls hands each call to the UI thread, in the order of the calls.
class TSetupObserver {
 public:
  virtual ~TSetupObserver() = default;
  // The status line of the working page.
  virtual void SetStatusText(const WideString& Text) = 0;
  // One more file done: the progress count grows by one; the bar follows it
  // only when Show is set (the archive and VFS updates pass whether their
  // percentage changed).
  virtual void StepProgress(bool Show) = 0;
  // The text of the finish page; Refresh asks for it to be shown at once.
  virtual void SetFinishText(const WideString& Text, bool Refresh) = 0;
  // The bar's range and position, set when a run or an uninstall starts and
  // while an uninstall goes on.
  virtual void SetProgress(uint32_t Position, uint32_t Maximum) = 0;
};

// The numbered strings of the current language, as the engine asks for them.
class TTextSource {
 public:
  virtual ~TTextSource() = default;
  // String Number of the current language; "NOT FOUND " + Number when missing.
  virtual WideString GetString(uint16_t Number) const = 0;
  // String Number, or Fallback (built-in English) when the language lacks it.
  virtual WideString GetStringOr(uint16_t Number, const WideString& Fallback) const = 0;
  // Text with its "<LANG" n ">" tokens replaced by the strings.
  virtual WideString ExpandLangTokens(const WideString& Text) const = 0;
};

class TInstallRecorder {
 public:
  virtual ~TInstallRecorder() = default;
  // A file the setup wrote (full path, path fields not yet collapsed).
  virtual void AddInstalledFile(const std::string& Path) = 0;
  // A directory the setup created, as an absolute path.
  virtual void AddDirectory(const std::string& Path) = 0;
  // Told before a file is created or replaced at Path, and before the folder
  // Path is created. False when the change may not be made (a run that can be
  // undone could not record how); the last error says why.
  virtual bool BeforeFile(const std::string& Path) { return !Path.empty(); }
  virtual bool BeforeDirectory(const std::string& Path) { return !Path.empty(); }
  // BeforeFile for a list of files at once (a group about to be extracted);
  // Failed names the one that stopped it.
  virtual bool BeforeFiles(const std::vector<std::string>&, std::string&) { return true; }
};

// A run that is undone as a whole when it cannot finish: a file changed in
// place keeps the undo journal of its update until the run ends.
class TUndoKeeper {
 public:
  virtual ~TUndoKeeper() = default;
  // Before the in-place update of Target (with its side files Sides) starts:
  // the name its undo journal is renamed to once the update is saved, instead
  // of being deleted. Empty when that could not be recorded: the update may
  // not start.
  virtual std::string KeepUndoOf(const std::string& Target, const std::vector<std::string>& Sides) = 0;
};
