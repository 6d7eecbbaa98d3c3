// Special folders and shell links through shell32 and COM.
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/win32/Win32Common.h"

namespace {
// The shell-link class and interfaces, defined here so that the program does
// not link the whole table of system GUIDs.
const GUID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kIidShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}  // namespace

namespace platform {
namespace {

// COM is entered once per thread that asks for a shell link.
bool EnsureCom() {
  thread_local bool entered = false;
  if (!entered) {
    HRESULT hr = ::CoInitialize(nullptr);
    entered = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
  }
  return entered;
}

std::wstring ToWide(const std::string& s) {
  WideString w = AnsiToWide(s);
  return std::wstring(w.begin(), w.end());
}

}  // namespace

std::string SpecialFolder(int Csidl) {
  char path[MAX_PATH + 1] = {0};
  // SHGetSpecialFolderPathA is in shell32 from Windows 98 / NT 4 with IE4 on.
  using Fn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
  static Fn fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(::GetProcAddress(::LoadLibraryA("shell32.dll"), "SHGetSpecialFolderPathA")));
  if (!fn || !fn(::GetActiveWindow(), path, Csidl, FALSE)) return {};
  return path;
}

bool SaveShellLink(const std::string& LinkPath, const ShellLink& Link) {
  if (!EnsureCom()) return false;
  IShellLinkA* link = nullptr;
  if (FAILED(::CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
    return false;
  }
  link->SetPath(Link.Target.c_str());
  link->SetArguments(Link.Arguments.c_str());
  link->SetWorkingDirectory(Link.WorkingDir.c_str());
  link->SetShowCmd(Link.ShowCommand);
  if (!Link.IconPath.empty()) link->SetIconLocation(Link.IconPath.c_str(), Link.IconIndex);
  IPersistFile* file = nullptr;
  bool ok = false;
  if (SUCCEEDED(link->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&file)))) {
    ok = SUCCEEDED(file->Save(ToWide(LinkPath).c_str(), TRUE));
    file->Release();
  }
  link->Release();
  return ok;
}

bool LoadShellLink(const std::string& LinkPath, ShellLink& Link) {
  Link = ShellLink{};
  if (!EnsureCom()) return false;
  IShellLinkA* link = nullptr;
  if (FAILED(::CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
    return false;
  }
  IPersistFile* file = nullptr;
  bool ok = false;
  if (SUCCEEDED(link->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&file)))) {
    if (SUCCEEDED(file->Load(ToWide(LinkPath).c_str(), STGM_READ))) {
      char buffer[MAX_PATH * 4] = {0};
      link->GetPath(buffer, sizeof(buffer), nullptr, SLGP_RAWPATH);
      Link.Target = buffer;
      buffer[0] = 0;
      link->GetArguments(buffer, sizeof(buffer));
      Link.Arguments = buffer;
      buffer[0] = 0;
      link->GetWorkingDirectory(buffer, sizeof(buffer));
      Link.WorkingDir = buffer;
      link->GetShowCmd(&Link.ShowCommand);
      buffer[0] = 0;
      link->GetIconLocation(buffer, sizeof(buffer), &Link.IconIndex);
      Link.IconPath = buffer;
      ok = true;
    }
    file->Release();
  }
  link->Release();
  return ok;
}

}  // namespace platform
