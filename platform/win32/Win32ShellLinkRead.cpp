// Reading a shell link back: the tools and tests use it, a setup does not, so
// it lives in an object of its own.
#include "platform/win32/Win32Common.h"
#include "platform/win32/Win32ShellLink.h"

namespace platform {

bool LoadShellLink(const std::string& LinkPath, ShellLink& Link) {
  Link = ShellLink{};
  IShellLinkA* link;
  IPersistFile* file;
  if (!win32::CreateShellLinkObject(&link, &file)) return false;
  bool ok = SUCCEEDED(file->Load(win32::ToWide(LinkPath).c_str(), STGM_READ));
  if (ok) {
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
  }
  file->Release();
  link->Release();
  return ok;
}

}  // namespace platform
