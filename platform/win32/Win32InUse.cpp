// Who holds a file: the Restart Manager (Windows Vista and later), loaded at
// run time so that the setup still starts on Windows XP, where no program
// is named and the files alone are listed.
#include <atomic>
#include <vector>

#include "platform/PlatformShared.h"
#include "platform/win32/Win32Common.h"
// After <windows.h>, whose types it uses.
#include <restartmanager.h>

namespace platform {
namespace {

using StartSessionFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using EndSessionFn = DWORD(WINAPI*)(DWORD);
using RegisterResourcesFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using GetListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
using QueryImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);

constexpr DWORD kQueryLimitedInformation = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION, Vista and later
constexpr UINT kMaxPrograms = 16;

struct RestartManager {
  StartSessionFn Start = nullptr;
  EndSessionFn End = nullptr;
  RegisterResourcesFn Register = nullptr;
  GetListFn GetList = nullptr;
  QueryImageNameFn QueryImageName = nullptr;
  bool Usable() const { return Start && End && Register && GetList; }
};

template <typename Fn>
Fn Entry(HMODULE Module, const char* Name) {
  return Module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(Module, Name))) : nullptr;
}

RestartManager LoadRestartManager() {
  RestartManager m;
  HMODULE module = win32::LoadSystemLibrary(u"rstrtmgr.dll");
  m.Start = Entry<StartSessionFn>(module, "RmStartSession");
  m.End = Entry<EndSessionFn>(module, "RmEndSession");
  m.Register = Entry<RegisterResourcesFn>(module, "RmRegisterResources");
  m.GetList = Entry<GetListFn>(module, "RmGetList");
  m.QueryImageName = Entry<QueryImageNameFn>(::GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameW");
  return m;
}

// Looked up once, by whichever thread asks first; two threads that ask at
// once both look it up and one of the results is kept (the same entries).
const RestartManager& Manager() {
  static std::atomic<const RestartManager*> loaded{nullptr};
  if (const RestartManager* m = loaded.load(std::memory_order_acquire)) return *m;
  const RestartManager* fresh = new RestartManager(LoadRestartManager());
  const RestartManager* first = nullptr;
  if (loaded.compare_exchange_strong(first, fresh, std::memory_order_acq_rel)) return *fresh;
  delete fresh;
  return *first;
}

// The file name of a process's program ("demo.exe"), empty when unknown.
WideString ProgramFileOf(const RestartManager& Rm, DWORD ProcessId) {
  if (!Rm.QueryImageName) return {};
  HANDLE process = ::OpenProcess(kQueryLimitedInformation, FALSE, ProcessId);
  if (!process) return {};
  wchar_t path[MAX_PATH * 2];
  DWORD size = MAX_PATH * 2;
  WideString name;
  if (Rm.QueryImageName(process, 0, path, &size) && size > 0) {
    const wchar_t* base = path;
    for (DWORD i = 0; i < size; ++i) {
      if (path[i] == L'\\' || path[i] == L'/') base = path + i + 1;
    }
    name.assign(reinterpret_cast<const char16_t*>(base), reinterpret_cast<const char16_t*>(path + size));
  }
  ::CloseHandle(process);
  return name;
}

// "Demo Game (demo.exe)", or whichever of the two is known.
std::string ProgramName(const RestartManager& Rm, const RM_PROCESS_INFO& Info) {
  WideString app(reinterpret_cast<const char16_t*>(Info.strAppName));
  WideString file = ProgramFileOf(Rm, Info.Process.dwProcessId);
  WideString shown = app.empty() ? file : file.empty() || app == file ? app : app + u" (" + file + u")";
  return WideToUtf8(shown);
}

// The programs holding one file: a session of its own for each, since the
// Restart Manager answers for all the files of a session together.
void NameHoldersOf(const RestartManager& Rm, FileInUse& File) {
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (Rm.Start(&session, 0, key) != ERROR_SUCCESS) return;
  win32::WideText wide = win32::WidePath(File.Path);
  LPCWSTR names[] = {wide.c_str()};
  if (Rm.Register(session, 1, names, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
    std::vector<RM_PROCESS_INFO> infos(kMaxPrograms);
    UINT needed = 0, count = kMaxPrograms;
    DWORD reasons = 0;
    DWORD result = Rm.GetList(session, &needed, &count, infos.data(), &reasons);
    // More than fit: the first ones are enough to name.
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
      for (UINT i = 0; i < count && i < kMaxPrograms; ++i) {
        std::string name = ProgramName(Rm, infos[i]);
        if (!name.empty()) File.Programs.push_back(name);
      }
    }
  }
  Rm.End(session);
}

}  // namespace

namespace shared {

void NameHolders(std::vector<FileInUse>& Busy) {
  const RestartManager& rm = Manager();
  if (!rm.Usable()) return;
  for (FileInUse& file : Busy) NameHoldersOf(rm, file);
}

}  // namespace shared
}  // namespace platform
