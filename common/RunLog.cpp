#include "common/RunLog.h"

#include <atomic>
#include <memory>

#include "common/Strings.h"
#include "platform/Platform.h"

namespace {

// Lines come from the setup thread and the UI thread; a spin lock keeps each
// line whole (the wait is one small write).
std::atomic_flag g_busy = ATOMIC_FLAG_INIT;
std::atomic<platform::File*> g_file{nullptr};

class TLock {
 public:
  TLock() {
    while (g_busy.test_and_set(std::memory_order_acquire)) platform::Sleep(0);
  }
  ~TLock() { g_busy.clear(std::memory_order_release); }
};

void Write(const char* What, const std::string& Utf8) {
  std::string line = Concat({What, ": ", Utf8, "\r\n"});
  TLock lock;
  if (platform::File* file = g_file.load()) file->Write(line.data(), static_cast<uint32_t>(line.size()));
}

}  // namespace

bool OpenRunLog(const std::string& Path) {
  auto file = std::make_unique<platform::File>();
  if (!file->Open(Path, platform::kAccessWrite, platform::kShareRead, platform::FileDisposition::kCreateAlways)) {
    return false;
  }
  CloseRunLog();
  TLock lock;
  g_file.store(file.release());
  return true;
}

void CloseRunLog() {
  TLock lock;
  delete g_file.exchange(nullptr);
}

bool RunLogIsOpen() { return g_file.load() != nullptr; }

void LogLine(const char* What, const std::string& Text) {
  if (g_file) Write(What, WideToUtf8(platform::TextToWide(Text)));
}

void LogLineWide(const char* What, const WideString& Text) {
  if (g_file) Write(What, WideToUtf8(Text));
}
