// Message boxes and text conversion of the emulated machine. A message box has
// no screen: it is printed, recorded in the transcript and answered from the
// machine's answer queue (the first button when the queue is empty; Cancel
// for Retry/Cancel, where retrying without an answer would never end).
#include <cstdio>
#include <mutex>

#include "platform/Platform.h"
#include "platform/host/HostMachine.h"

namespace platform {
namespace {

// Windows-1252 in 0x80..0x9F; everything else maps to the same code point.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

WideString AnsiToWide(const std::string& Text) {
  WideString out;
  out.reserve(Text.size());
  for (char ch : Text) {
    auto b = static_cast<uint8_t>(ch);
    out += (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return out;
}

std::string WideToAnsi(const WideString& Text) {
  std::string out;
  out.reserve(Text.size());
  for (char16_t c : Text) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += static_cast<char>(c);
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i) {
      if (kCp1252High[i] == c) {
        mapped = static_cast<char>(0x80 + i);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

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
  return MessageBox(WideToAnsi(Text), WideToAnsi(Caption), Flags);
}

}  // namespace platform
