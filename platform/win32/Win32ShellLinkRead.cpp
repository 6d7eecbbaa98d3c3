// Reading a shell link back: the tools and tests use it, a setup does not, so
// it lives in an object of its own.
#include "platform/win32/Win32Common.h"
#include "platform/win32/Win32ShellLink.h"

namespace platform {

bool LoadShellLink(const std::string& LinkPath, ShellLink& Link) {
  Link = ShellLink{};
  IShellLinkW* link;
  IPersistFile* file;
  if (!win32::CreateShellLinkObject(&link, &file)) return false;
  bool ok = SUCCEEDED(file->Load(win32::Wide(LinkPath).c_str(), STGM_READ));
  if (ok) {
    constexpr int kChars = MAX_PATH * 4;
    wchar_t buffer[kChars] = {0};
    link->GetPath(buffer, kChars, nullptr, SLGP_RAWPATH);
    Link.Target = win32::Narrow(buffer);
    buffer[0] = 0;
    link->GetArguments(buffer, kChars);
    Link.Arguments = win32::Narrow(buffer);
    buffer[0] = 0;
    link->GetWorkingDirectory(buffer, kChars);
    Link.WorkingDir = win32::Narrow(buffer);
    link->GetShowCmd(&Link.ShowCommand);
    buffer[0] = 0;
    link->GetIconLocation(buffer, kChars, &Link.IconIndex);
    Link.IconPath = win32::Narrow(buffer);
  }
  file->Release();
  link->Release();
  return ok;
}

}  // namespace platform
