#include "common/Prompt.h"

#include <atomic>

#include "platform/Platform.h"

namespace {

class TPlatformPrompt : public TPrompt {
 public:
  int Show(const std::string& Text, const std::string& Caption, uint32_t Flags) override {
    return platform::MessageBox(Text, Caption, Flags);
  }
  int ShowWide(const WideString& Text, const WideString& Caption, uint32_t Flags) override {
    return platform::MessageBoxWide(Text, Caption, Flags);
  }
  void FatalAppExit(const std::string& Text) override { platform::FatalAppExit(Text); }
};

TPlatformPrompt g_platformPrompt;
// Read from the setup thread too (its commands show boxes).
std::atomic<TPrompt*> g_prompt{&g_platformPrompt};

}  // namespace

TPrompt& Prompt() { return *g_prompt.load(); }

int ShowMessage(std::string_view Text, std::string_view Caption, uint32_t Flags) {
  return Prompt().Show(std::string(Text), std::string(Caption), Flags);
}

TPromptScope::TPromptScope(TPrompt& Prompt) : previous_(g_prompt.exchange(&Prompt)) {}

TPromptScope::~TPromptScope() { g_prompt.store(previous_); }
