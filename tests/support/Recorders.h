// Observers for tests: they keep everything they are told.
#pragma once

#include <string>
#include <vector>

#include "common/Observers.h"

struct RecordingObserver : TSetupObserver {
  std::vector<WideString> status;
  std::vector<WideString> finish;
  int steps = 0;
  void SetStatusText(const WideString& Text) override { status.push_back(Text); }
  void StepProgress() override { ++steps; }
  void SetFinishText(const WideString& Text) override { finish.push_back(Text); }
  uint32_t position = 0, maximum = 0;
  void SetProgress(uint32_t Position, uint32_t Maximum) override {
    position = Position;
    maximum = Maximum;
  }
};

struct RecordingRecorder : TInstallRecorder {
  std::vector<std::string> files, dirs;
  void AddInstalledFile(const std::string& Path) override { files.push_back(Path); }
  void AddDirectory(const std::string& Path) override { dirs.push_back(Path); }
};
