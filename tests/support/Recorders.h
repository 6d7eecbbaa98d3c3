// Observers for tests: they keep everything they are told.
#pragma once

#include <string>
#include <vector>

#include <functional>

#include "common/Observers.h"
#include "common/Prompt.h"
#include "platform/Platform.h"

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

// A prompt for tests, in force while it lives: it keeps every box and fatal
// text; Answer chooses the button (by default Cancel on Retry/Cancel and
// OK/Cancel, Yes on Yes/No, else OK).
struct RecordingPrompt : TPrompt {
  struct Shown {
    std::string Text;
    std::string Caption;
    uint32_t Flags = 0;
  };
  std::vector<Shown> shown;
  std::vector<std::string> fatal;
  std::function<int(const Shown&)> Answer;
  int Show(const std::string& Text, const std::string& Caption, uint32_t Flags) override {
    shown.push_back({Text, Caption, Flags});
    if (Answer) return Answer(shown.back());
    switch (Flags & 0x0F) {
      case platform::kMbRetryCancel:
      case platform::kMbOkCancel:
        return platform::kIdCancel;
      case platform::kMbYesNo:
        return platform::kIdYes;
      default:
        return platform::kIdOk;
    }
  }
  int ShowWide(const WideString& Text, const WideString& Caption, uint32_t Flags) override {
    return Show(platform::WideToUtf8(Text), platform::WideToUtf8(Caption), Flags);
  }
  void FatalAppExit(const std::string& Text) override { fatal.push_back(Text); }

 private:
  TPromptScope scope_{*this};
};

struct RecordingRecorder : TInstallRecorder {
  std::vector<std::string> files, dirs;
  void AddInstalledFile(const std::string& Path) override { files.push_back(Path); }
  void AddDirectory(const std::string& Path) override { dirs.push_back(Path); }
};
