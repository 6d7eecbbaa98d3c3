// Process and system facts of the host build; the machine's identity comes
// from machine.ini.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/Platform.h"
#include "platform/Widgets.h"
#include "platform/host/HostMachine.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace platform {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string UserCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/wizpak";
  const char* home = std::getenv("HOME");
  return home && home[0] == '/' ? std::string(home) + "/.cache/wizpak" : std::string();
}

// Linux programs get their arguments split; the callers join them.
std::string CommandLine() { return std::string(); }

std::vector<std::string> ProgramArguments(int Argc, char** Argv) { return std::vector<std::string>(Argv, Argv + Argc); }

// Linux loads no DLLs from the current folder.
void HardenDllSearchPath() {}

uint16_t DefaultLanguageId() { return host::Machine().LanguageId; }

namespace {
// WIZPAK_HOST_FAST_CLOCK=1 starts a whole program with it (tests of many runs).
std::atomic<bool> gFastClock{std::getenv("WIZPAK_HOST_FAST_CLOCK") != nullptr};
std::atomic<uint32_t> gClockAhead{0};
}  // namespace

void host::SetFastClock(bool On) { gFastClock = On; }

uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count()) +
         gClockAhead.load();
}

void Sleep(uint32_t Milliseconds) {
  if (gFastClock) {
    gClockAhead += Milliseconds;
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

OsVersion GetOsVersion() {
  struct Known {
    const char* name;
    uint32_t platform, major, minor, build;
  };
  static const Known kKnown[] = {
      {"Windows 95", 1, 4, 0, 950},          {"Windows 98", 1, 4, 10, 1998},   {"Windows Me", 1, 4, 90, 3000},
      {"Windows NT4", 2, 4, 0, 1381},        {"Windows 2000", 2, 5, 0, 2195},  {"Windows XP", 2, 5, 1, 2600},
      {"Windows Server2003", 2, 5, 2, 3790}, {"Windows Vista", 2, 6, 0, 6000},
  };
  const host::MachineConfig& m = host::Machine();
  OsVersion v;
  for (const Known& k : kKnown) {
    if (host::ToLowerAscii(m.Version) == host::ToLowerAscii(k.name)) {
      v.PlatformId = k.platform;
      v.Major = k.major;
      v.Minor = k.minor;
      v.Build = k.build;
    }
  }
  v.HasExtended = v.PlatformId == 2 && v.Major >= 5;
  v.ServicePackText = m.ServicePack;
  if (m.ServicePack.rfind("Service Pack ", 0) == 0) {
    v.ServicePackMajor = static_cast<uint16_t>(std::atoi(m.ServicePack.c_str() + 13));
  }
  return v;
}

uint32_t PhysicalMemoryBytes() {
  const host::MachineConfig& m = host::Machine();
  if (m.PhysicalMemory) return m.PhysicalMemory;
  std::ifstream in("/proc/meminfo");
  std::string key;
  uint64_t kb = 0;
  while (in >> key >> kb) {
    if (key == "MemTotal:") break;
    in.ignore(256, '\n');
  }
  uint64_t bytes = kb * 1024;
  return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}

uint64_t ReadTimeStampCounter() {
  // A machine with a given clock counts it over its tick count; with the
  // fast clock, over the time its sleeps stood for alone, so the speed it
  // measures is that figure exactly however busy the host is.
  if (uint32_t mhz = host::Machine().CpuMhz) {
    const uint64_t ms = gFastClock ? gClockAhead.load() : TickCount();
    return ms * mhz * 1000;
  }
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
#endif
}

// Linux deletes a running program's file at once.
bool DeleteFileLater(const std::string& Path) { return DeleteFile(Path); }

// The host process keeps its priority: a test machine has no real-time class.
namespace {
// What the signal handler removes: a fixed buffer, so the handler only calls
// async-signal-safe functions.
char g_interruptPath[PATH_MAX];
volatile sig_atomic_t g_interruptArmed = 0;

void OnInterrupt(int Signal) {
  if (g_interruptArmed) ::unlink(g_interruptPath);
  ::signal(Signal, SIG_DFL);
  ::raise(Signal);
}
}  // namespace

RemoveOnInterrupt::RemoveOnInterrupt(const std::string& Path) {
  std::string native = host::ToNative(Path);
  g_interruptArmed = 0;
  if (native.empty() || native.size() >= sizeof(g_interruptPath)) return;
  std::memcpy(g_interruptPath, native.c_str(), native.size() + 1);
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
  g_interruptArmed = 1;
}

RemoveOnInterrupt::~RemoveOnInterrupt() { g_interruptArmed = 0; }

PriorityBoost::PriorityBoost() = default;
PriorityBoost::~PriorityBoost() = default;

bool ShellExecute(const std::string& File, const std::string& Parameters, int ShowCommand, bool Wait,
                  const std::function<bool()>& KeepWaiting) {
  (void)ShowCommand;
  std::printf("[Execute] %s %s\n", File.c_str(), Parameters.c_str());
  std::fflush(stdout);
  std::string native = host::ToNative(File);
  if (native.empty() || !FileExists(File)) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  // A host executable runs as a process of its own; a document opens with
  // no program to wait for.
  char magic[4] = {0, 0, 0, 0};
  if (FILE* f = std::fopen(native.c_str(), "rb")) {
    size_t got = std::fread(magic, 1, 4, f);
    std::fclose(f);
    if (got != 4) magic[0] = 0;
  }
  if (std::string(magic, 4) !=
      "\x7f"
      "ELF")
    return true;
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::execl(native.c_str(), native.c_str(), Parameters.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (Wait) {
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (KeepWaiting && !KeepWaiting()) break;
      Sleep(1);
    }
  }
  return true;
}

bool RunProgram(const std::string& Program, const std::vector<std::string>& Args, uint32_t& ExitCode) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(Program.c_str()));
  for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The child says through a pipe closed on exec whether it could start.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (pid == 0) {
    ::close(report[0]);
    ::execvp(Program.c_str(), argv.data());
    int error = errno;
    (void)!::write(report[1], &error, sizeof error);
    ::_exit(127);
  }
  ::close(report[1]);
  int error = 0;
  bool started = ::read(report[0], &error, sizeof error) != static_cast<ssize_t>(sizeof error);
  ::close(report[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!started) {
    SetLastError(error == ENOENT ? kErrorFileNotFound : kErrorAccessDenied);
    return false;
  }
  ExitCode = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 128u + WTERMSIG(status);
  return true;
}

struct Thread::Impl {
  std::thread thread;
};

Thread::Thread() : impl_(std::make_unique<Impl>()) {}
Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> Body) {
  if (impl_->thread.joinable()) return false;
  impl_->thread = std::thread(std::move(Body));
  return true;
}

void Thread::Join() {
  if (impl_->thread.joinable()) impl_->thread.join();
}

ComScope::ComScope() = default;
ComScope::~ComScope() = default;

// Host executables carry no Windows resources.
bool ReplaceIconResource(const std::string&, uint16_t, const std::vector<uint8_t>&) { return false; }

}  // namespace platform

#include <md5.h>
#include <sha2.h>

namespace platform {

struct Md5::Impl {
  MD5_CTX context;
};

Md5::Md5() : impl_(std::make_unique<Impl>()) { MD5Init(&impl_->context); }
Md5::~Md5() = default;
bool Md5::Ready() const { return true; }

bool Md5::Update(const void* Data, uint32_t Size) {
  MD5Update(&impl_->context, static_cast<const uint8_t*>(Data), Size);
  return true;
}

bool Md5::Final(uint8_t Digest[16]) {
  MD5Final(Digest, &impl_->context);
  return true;
}

bool Sha256(const void* Data, size_t Size, uint8_t Digest[32]) {
  SHA2_CTX context;
  SHA256Init(&context);
  SHA256Update(&context, static_cast<const uint8_t*>(Data), Size);
  SHA256Final(Digest, &context);
  return true;
}

}  // namespace platform

#include <condition_variable>
#include <mutex>

namespace platform {

uint32_t ProcessorCount() {
  long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<uint32_t>(n) : 1;
}

// A lock file of the emulated machine (locks/ in its folder), held with
// flock while the object lives; the kernel lets it go when the process ends.
struct InstanceLock::Impl {
  int fd = -1;
};

InstanceLock::InstanceLock(const std::string& Name) : impl_(std::make_unique<Impl>()) {
  std::string dir = host::Root() + "/locks";
  ::mkdir(dir.c_str(), 0755);
  std::string file;
  static const char kHex[] = "0123456789abcdef";
  for (unsigned char c : host::ToLowerAscii(Name)) {
    file += kHex[c >> 4];
    file += kHex[c & 15];
  }
  int fd = ::open((dir + "/" + file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    fd = -1;
  }
  impl_->fd = fd;
}

InstanceLock::~InstanceLock() {
  if (impl_->fd >= 0) ::close(impl_->fd);
}

bool InstanceLock::Held() const { return impl_->fd >= 0; }

struct Signal::Impl {
  std::mutex mutex;
  std::condition_variable cv;
  bool set = false;
};

Signal::Signal() : impl_(std::make_unique<Impl>()) {}
Signal::~Signal() = default;

void Signal::Notify() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->set = true;
  }
  impl_->cv.notify_one();
}

void Signal::Wait(uint32_t TimeoutMs) {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  impl_->cv.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [this] { return impl_->set; });
  impl_->set = false;
}

}  // namespace platform

#include <sys/random.h>
#include <ctime>

namespace platform {

// The emulated machine has no screen: the fatal box is recorded and printed
// like any message box, then the process ends with the code Windows gives a
// program ended this way.
void FatalAppExit(const std::string& Text) {
  host::Transcript().push_back({"FatalAppExit", Text, kMbIconError, kIdOk});
  std::string shown = Text;
  for (char& ch : shown) {
    if (ch == '\r') ch = '\n';
  }
  std::printf("[FatalAppExit] %s\n", shown.c_str());
  std::fflush(stdout);
  std::fflush(stderr);
  ::_exit(static_cast<int>(kFatalAppExitCode & 0xFF));
}

void ExitProcess(uint32_t Code) {
  std::fflush(stdout);
  std::fflush(stderr);
  ::_exit(static_cast<int>(Code));
}

bool RandomBytes(void* Buffer, uint32_t Count) {
  auto* out = static_cast<uint8_t*>(Buffer);
  uint32_t done = 0;
  while (done < Count) {
    ssize_t n = ::getrandom(out + done, Count - done, 0);
    if (n <= 0) return false;
    done += static_cast<uint32_t>(n);
  }
  return true;
}

CalendarDate Today() {
  CalendarDate d;
  const std::string& fixed = host::Machine().Date;
  int y = 0, m = 0, day = 0;
  if (!fixed.empty() && std::sscanf(fixed.c_str(), "%d-%d-%d", &y, &m, &day) == 3) {
    d.Year = static_cast<uint16_t>(y);
    d.Month = static_cast<uint16_t>(m);
    d.Day = static_cast<uint16_t>(day);
    return d;
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  d.Year = static_cast<uint16_t>(local.tm_year + 1900);
  d.Month = static_cast<uint16_t>(local.tm_mon + 1);
  d.Day = static_cast<uint16_t>(local.tm_mday);
  return d;
}

}  // namespace platform

namespace platform {
void SetStdoutBinary() {}
}  // namespace platform
