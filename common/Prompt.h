// The one way the program asks a person something or tells them something:
// every message box of start-up, the commands, the game-data code and the
// wizard, and the fatal-application-exit box, goes through the current
// prompt. By default that is the platform's own boxes; the CLI, the tests and
// the unattended road put their own in place for a while (TPromptScope).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Bytes.h"

class TPrompt {
 public:
  virtual ~TPrompt() = default;
  // A message box with no owner window: Flags as the platform's kMb*
  // constants; returns the button chosen (kIdOk, kIdCancel, ...).
  virtual int Show(const std::string& Text, const std::string& Caption, uint32_t Flags) = 0;
  virtual int ShowWide(const WideString& Text, const WideString& Caption, uint32_t Flags) = 0;
  // The fatal box that ends the program. The platform's does not return;
  // another prompt may return, and its caller then stops what it was doing.
  virtual void FatalAppExit(const std::string& Text) = 0;
};

// The prompt in force.
TPrompt& Prompt();

// Puts a prompt in force while it lives, then the one before it again.
class TPromptScope {
 public:
  explicit TPromptScope(TPrompt& Prompt);
  ~TPromptScope();
  TPromptScope(const TPromptScope&) = delete;
  TPromptScope& operator=(const TPromptScope&) = delete;

 private:
  TPrompt* previous_;
};

// Shorthands for the prompt in force. Out of line and taking views, so a
// caption or text given as a literal is made a string here once rather than
// at every box.
int ShowMessage(std::string_view Text, std::string_view Caption, uint32_t Flags);
inline int ShowMessageWide(const WideString& Text, const WideString& Caption, uint32_t Flags) {
  return Prompt().ShowWide(Text, Caption, Flags);
}
