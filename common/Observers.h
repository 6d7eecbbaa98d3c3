// How the engine reports to whoever watches it. The setup thread and the
// extraction code see the wizard only through TSetupObserver; what they create
// is recorded through TInstallRecorder (the uninstall log implements it).
#pragma once

#include <string>

#include "common/Bytes.h"

class TSetupObserver {
 public:
  virtual ~TSetupObserver() = default;
  virtual void SetStatusText(const WideString& Text) = 0;
  virtual void StepProgress() = 0;
  virtual void SetFinishText(const WideString& Text) = 0;
};

class TInstallRecorder {
 public:
  virtual ~TInstallRecorder() = default;
  // A file the setup wrote (full path, path fields not yet collapsed).
  virtual void AddInstalledFile(const std::string& Path) = 0;
  // A directory the setup created, as an absolute path.
  virtual void AddDirectory(const std::string& Path) = 0;
};
