// Special folders and shell links through shell32 and COM.
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <atomic>

#include "platform/win32/Win32Common.h"
#include "platform/win32/Win32ShellLink.h"

namespace {
// The shell-link class and interfaces, defined here so that the program does
// not link the whole table of system GUIDs.
const GUID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kIidShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}  // namespace

namespace platform {
namespace win32 {

// COM is entered once per thread that asks for a shell link.
bool CreateShellLinkObject(IShellLinkW** Link, IPersistFile** File) {
  thread_local bool entered = false;
  if (!entered) {
    HRESULT hr = ::CoInitialize(nullptr);
    entered = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
  }
  *Link = nullptr;
  *File = nullptr;
  if (!entered || FAILED(::CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkW,
                                            reinterpret_cast<void**>(Link)))) {
    return false;
  }
  if (FAILED((*Link)->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(File)))) {
    (*Link)->Release();
    *Link = nullptr;
    return false;
  }
  return true;
}

}  // namespace win32

std::string SpecialFolder(int Csidl) {
  wchar_t path[MAX_PATH + 1] = {0};
  // SHGetSpecialFolderPathW is in shell32 from Windows 98 / NT 4 with IE4 on.
  using Fn = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
  // Looked up once; every thread that races to it stores the same value.
  static std::atomic<Fn> entry{nullptr};
  Fn fn = entry.load(std::memory_order_relaxed);
  if (!fn) {
    if (HMODULE module = win32::LoadSystemLibrary(u"shell32.dll"))
      fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, "SHGetSpecialFolderPathW")));
    entry.store(fn, std::memory_order_relaxed);
  }
  if (!fn || !fn(::GetActiveWindow(), path, Csidl, FALSE)) return {};
  return win32::Narrow(path);
}

bool SaveShellLink(const std::string& LinkPath, const ShellLink& Link) {
  using win32::Wide;
  IShellLinkW* link;
  IPersistFile* file;
  if (!win32::CreateShellLinkObject(&link, &file)) return false;
  link->SetPath(Wide(Link.Target).c_str());
  link->SetArguments(Wide(Link.Arguments).c_str());
  link->SetWorkingDirectory(Wide(Link.WorkingDir).c_str());
  link->SetShowCmd(Link.ShowCommand);
  if (!Link.IconPath.empty()) link->SetIconLocation(Wide(Link.IconPath).c_str(), Link.IconIndex);
  bool ok = SUCCEEDED(file->Save(Wide(LinkPath).c_str(), TRUE));
  file->Release();
  link->Release();
  return ok;
}

}  // namespace platform
