// Message boxes of the emulated machine. A message box has
// no screen: it is printed, recorded in the transcript and answered from the
// machine's answer queue (the first button when the queue is empty; Cancel
// for Retry/Cancel, where retrying without an answer would never end).
#include <cstdio>
#include <mutex>

#include "platform/Platform.h"
#include "platform/host/HostMachine.h"

namespace platform {
namespace {

std::mutex& DialogMutex() {
  static std::mutex m;
  return m;
}

size_t g_answerIndex = 0;
uint64_t g_answerGeneration = ~0ull;

int FirstButton(uint32_t Flags) {
  switch (Flags & 0x0F) {
    case 0x04:  // yes/no
    case 0x03:  // yes/no/cancel
      return kIdYes;
    case 0x02:
      return 3;  // abort
    case 0x05:
      return kIdCancel;  // retry/cancel: retrying unanswered would never end
    default:
      return kIdOk;
  }
}

}  // namespace

int MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags) {
  std::lock_guard<std::mutex> lock(DialogMutex());
  host::MachineConfig& machine = host::Machine();
  if (g_answerGeneration != host::Generation()) {
    g_answerGeneration = host::Generation();
    g_answerIndex = 0;
  }
  int answer = g_answerIndex < machine.Answers.size() ? machine.Answers[g_answerIndex++] : FirstButton(Flags);
  host::Transcript().push_back({Caption, Text, Flags, answer});
  if (answer == kIdRetry) host::NoteRetry();
  std::string shown = Text;
  for (char& ch : shown) {
    if (ch == '\r') ch = '\n';
  }
  std::printf("[%s] %s\n", Caption.c_str(), shown.c_str());
  std::fflush(stdout);
  return answer;
}

int MessageBoxWide(const WideString& Text, const WideString& Caption, uint32_t Flags) {
  return MessageBox(WideToUtf8(Text), WideToUtf8(Caption), Flags);
}

}  // namespace platform
