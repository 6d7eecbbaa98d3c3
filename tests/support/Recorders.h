// Observers for tests: they keep everything they are told.
#pragma once

#include <string>
#include <vector>

#include "common/Observers.h"

struct RecordingObserver : TSetupObserver {
  std::vector<WideString> status;
  std::vector<WideString> finish;
  std::vector<bool> finishRefreshed;
  int steps = 0;
  int shownSteps = 0;  // steps the bar was asked to show
  void SetStatusText(const WideString& Text) override { status.push_back(Text); }
  void StepProgress(bool Show) override {
    ++steps;
    if (Show) ++shownSteps;
  }
  void SetFinishText(const WideString& Text, bool Refresh) override {
    finish.push_back(Text);
    finishRefreshed.push_back(Refresh);
  }
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
