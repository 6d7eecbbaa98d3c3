#include "tests/support/TestMachine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "common/FileUtils.h"
#include "platform/Platform.h"

#ifdef _WIN32
namespace {
std::atomic<unsigned> g_counter{0};
}

TestMachine::TestMachine() {
  std::string base = platform::TempPath();
  for (;;) {
    dir_ = base + "wizpak-test-" + std::to_string(std::rand()) + "-" + std::to_string(g_counter++);
    if (platform::CreateDirectory(dir_)) break;
  }
}

TestMachine::~TestMachine() { RemoveTree(dir_); }

const char* TestMachine::Kind() { return "win32"; }
#else
#include <unistd.h>

#include <filesystem>

#include "platform/host/HostMachine.h"

TestMachine::TestMachine() {
  char templ[] = "/tmp/wizpak-machine-XXXXXX";
  const char* made = ::mkdtemp(templ);
  if (!made) std::abort();
  nativeRoot_ = made;
  platform::host::SetRoot(nativeRoot_);
  dir_ = "C:\\wizpak-test";
  platform::CreateDirectory(dir_);
}

TestMachine::~TestMachine() {
  if (!std::getenv("WIZPAK_KEEP_MACHINES")) {
    std::error_code ignored;
    std::filesystem::remove_all(nativeRoot_, ignored);
  }
}

const char* TestMachine::Kind() { return "host"; }
#endif

void TestMachine::Write(const std::string& Path, const std::string& Bytes) {
  platform::File f;
  ASSERT_TRUE(f.Open(Path, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways))
      << Path;
  ASSERT_EQ(f.Write(Bytes.data(), static_cast<uint32_t>(Bytes.size())), Bytes.size()) << Path;
}

std::string TestMachine::Read(const std::string& Path) {
  TBytes data = LoadWholeFile(Path);
  return std::string(data.begin(), data.end());
}
