// Process and system facts through kernel32, user32, shell32 and comctl32;
// newer APIs are resolved at run time.
#include "platform/Widgets.h"
#include "platform/win32/Win32Common.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <intrin.h>

#undef ShellExecute

namespace platform {

std::string ExecutablePath() {
  // The whole path, however long (the system's limit is 32,767 characters).
  std::vector<wchar_t> buffer(32768, L'\0');
  DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size() - 1));
  return win32::Narrow(buffer.data(), n);
}

std::string UserCacheFolder() {
  constexpr int kCsidlLocalAppData = 28;
  std::string local = SpecialFolder(kCsidlLocalAppData);
  return local.empty() ? std::string() : local + "\\wizpak\\cache";
}

std::string CommandLine() {
  const wchar_t* line = ::GetCommandLineW();
  return line ? win32::Narrow(line) : "";
}

std::vector<std::string> ProgramArguments(int Argc, char** Argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(Argv, Argv + Argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(win32::Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

uint16_t DefaultLanguageId() { return ::GetSystemDefaultLangID(); }

uint32_t TickCount() { return ::GetTickCount(); }

void Sleep(uint32_t Milliseconds) { ::Sleep(Milliseconds); }

OsVersion GetOsVersion() {
  OsVersion v;
  OSVERSIONINFOEXW ex;
  ZeroMemory(&ex, sizeof(ex));
  ex.dwOSVersionInfoSize = sizeof(ex);
  if (::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex))) {
    v.HasExtended = true;
    v.ServicePackMajor = ex.wServicePackMajor;
    v.ServicePackMinor = ex.wServicePackMinor;
    v.SuiteMask = ex.wSuiteMask;
    v.ProductType = ex.wProductType;
  } else {
    ZeroMemory(&ex, sizeof(ex));
    ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex));
  }
  v.PlatformId = ex.dwPlatformId;
  v.Major = ex.dwMajorVersion;
  v.Minor = ex.dwMinorVersion;
  v.Build = ex.dwPlatformId == VER_PLATFORM_WIN32_NT ? ex.dwBuildNumber : (ex.dwBuildNumber & 0xFFFF);
  v.ServicePackText = win32::Narrow(ex.szCSDVersion);
  v.MediaCenter = ::GetSystemMetrics(87) != 0;  // SM_MEDIACENTER
  v.TabletPC = ::GetSystemMetrics(86) != 0;     // SM_TABLETPC
  return v;
}

uint32_t PhysicalMemoryBytes() {
  MEMORYSTATUS status;
  status.dwLength = sizeof(status);
  ::GlobalMemoryStatus(&status);
  return static_cast<uint32_t>(status.dwTotalPhys);
}

uint64_t ReadTimeStampCounter() { return __rdtsc(); }

bool DeleteFileLater(const std::string& Path) {
  win32::WideText path = win32::WidePath(Path);
  if (::DeleteFileW(path.c_str())) return true;
  return ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

PriorityBoost::PriorityBoost() {
  processClass_ = ::GetPriorityClass(::GetCurrentProcess());
  threadPriority_ = ::GetThreadPriority(::GetCurrentThread());
  ::SetPriorityClass(::GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

PriorityBoost::~PriorityBoost() {
  ::SetThreadPriority(::GetCurrentThread(), threadPriority_);
  ::SetPriorityClass(::GetCurrentProcess(), processClass_);
}

namespace {

// One argument as the C runtime splits command lines: quoted when it has a
// blank, tab or quote (or is empty), backslashes doubled before a quote.
std::string QuoteArgument(const std::string& Arg) {
  if (!Arg.empty() && Arg.find_first_of(" \t\"") == std::string::npos) return Arg;
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : Arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');
  return out + "\"";
}

}  // namespace

bool RunProgram(const std::string& Program, const std::vector<std::string>& Args, uint32_t& ExitCode) {
  std::string line = QuoteArgument(Program);
  for (const std::string& a : Args) line += " " + QuoteArgument(a);
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  win32::WideText buffer = win32::Wide(line);
  if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  ExitCode = code;
  return true;
}

bool ShellExecute(const std::string& File, const std::string& Parameters, int ShowCommand, bool Wait,
                  const std::function<bool()>& KeepWaiting) {
  win32::WideText file = win32::Wide(File), parameters = win32::Wide(Parameters);
  SHELLEXECUTEINFOW info;
  ZeroMemory(&info, sizeof(info));
  info.cbSize = sizeof(info);
  info.fMask = Wait ? SEE_MASK_NOCLOSEPROCESS : 0;
  info.lpVerb = nullptr;
  info.lpFile = file.c_str();
  info.lpParameters = Parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = ShowCommand;
  if (!::ShellExecuteExW(&info)) return false;
  if (Wait && info.hProcess) {
    while (::WaitForSingleObject(info.hProcess, 1) == WAIT_TIMEOUT) {
      if (KeepWaiting && !KeepWaiting()) break;
    }
    ::CloseHandle(info.hProcess);
  }
  return true;
}

struct Thread::Impl {
  HANDLE handle = nullptr;
  std::function<void()> body;
};

namespace {
DWORD WINAPI ThreadEntry(void* param) {
  static_cast<std::function<void()>*>(param)->operator()();
  return 0;
}
}  // namespace

Thread::Thread() : impl_(std::make_unique<Impl>()) {}
Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> Body) {
  if (impl_->handle) return false;
  impl_->body = std::move(Body);
  impl_->handle = ::CreateThread(nullptr, 0, ThreadEntry, &impl_->body, 0, nullptr);
  return impl_->handle != nullptr;
}

void Thread::Join() {
  if (!impl_->handle) return;
  ::WaitForSingleObject(impl_->handle, INFINITE);
  ::CloseHandle(impl_->handle);
  impl_->handle = nullptr;
}

ComScope::ComScope() {
  HRESULT hr = ::CoInitialize(nullptr);
  entered_ = SUCCEEDED(hr);
}

ComScope::~ComScope() {
  if (entered_) ::CoUninitialize();
}

bool ReplaceIconResource(const std::string& Executable, uint16_t Id, const std::vector<uint8_t>& Image) {
  HANDLE update = ::BeginUpdateResourceW(win32::WidePath(Executable).c_str(), FALSE);
  if (!update) return false;
  BOOL ok =
      ::UpdateResourceW(update, MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(Id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                        const_cast<uint8_t*>(Image.data()), static_cast<DWORD>(Image.size()));
  return ::EndUpdateResourceW(update, !ok) && ok;
}

uint32_t ProcessorCount() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

struct InstanceLock::Impl {
  HANDLE mutex = nullptr;
};

InstanceLock::InstanceLock(const std::string& Name) : impl_(std::make_unique<Impl>()) {
  // The session's namespace; a backslash would name another namespace.
  std::string name = "Local\\wizpak-" + Name;
  for (size_t i = 14; i < name.size(); ++i) {
    if (name[i] == '\\') name[i] = '_';
  }
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, win32::Wide(name).c_str());
  if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    mutex = nullptr;
  }
  impl_->mutex = mutex;
}

InstanceLock::~InstanceLock() {
  if (impl_->mutex) ::CloseHandle(impl_->mutex);
}

bool InstanceLock::Held() const { return impl_->mutex != nullptr; }

struct Signal::Impl {
  HANDLE event = nullptr;
};

Signal::Signal() : impl_(std::make_unique<Impl>()) { impl_->event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr); }

Signal::~Signal() {
  if (impl_->event) ::CloseHandle(impl_->event);
}

void Signal::Notify() { ::SetEvent(impl_->event); }

void Signal::Wait(uint32_t TimeoutMs) { ::WaitForSingleObject(impl_->event, TimeoutMs); }

}  // namespace platform

namespace platform {

void FatalAppExit(const std::string& Text) {
  ::FatalAppExitW(0, win32::Wide(Text).c_str());
  ::ExitProcess(kFatalAppExitCode);
}

void ExitProcess(uint32_t Code) { ::ExitProcess(Code); }

CalendarDate Today() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return CalendarDate{now.wYear, now.wMonth, now.wDay};
}

}  // namespace platform

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace platform {
void SetStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }
}  // namespace platform
