#include "package/ZUI_SetupInfo.h"

#include "common/BufferManager.h"

void TSetupInfoFile::LoadFromBuffer(const uint8_t* Data, uint32_t Size) {
  TBufferManager b(Data, Size);
  TSetupInfo& i = Info;
  i.SetupName = ReadShortString(b);
  i.SetupShortName = ReadShortString(b);
  i.SetupExeName = ReadShortString(b);
  i.UninstallExeName = ReadShortString(b);
  i.UninstallPrefix = ReadShortString(b);
  i.InstallDir = ReadShortString(b);
  i.Changelog = ReadShortString(b);
  b.ReadInto(1, &i.InstallDirRegKey.HKEY);
  i.InstallDirRegKey.Path = ReadShortString(b);
  i.InstallDirRegKey.Key = ReadShortString(b);
  i.InstallPages = ReadShortString(b);
  i.UninstallPages = ReadShortString(b);
  b.ReadInto(1, &i.IsUninstaller);
  b.ReadInto(1, &i.MakeUninstaller);
}

TBytes TSetupInfoFile::SaveToBytes() const {
  const TSetupInfo& i = Info;
  TBytes out;
  WriteShortString(out, i.SetupName);
  WriteShortString(out, i.SetupShortName);
  WriteShortString(out, i.SetupExeName);
  WriteShortString(out, i.UninstallExeName);
  WriteShortString(out, i.UninstallPrefix);
  WriteShortString(out, i.InstallDir);
  WriteShortString(out, i.Changelog);
  out.push_back(i.InstallDirRegKey.HKEY);
  WriteShortString(out, i.InstallDirRegKey.Path);
  WriteShortString(out, i.InstallDirRegKey.Key);
  WriteShortString(out, i.InstallPages);
  WriteShortString(out, i.UninstallPages);
  out.push_back(i.IsUninstaller);
  out.push_back(i.MakeUninstaller);
  return out;
}

bool TSetupInfoFile::SaveToFile(const std::string& FileName) const {
  TBytes bytes = SaveToBytes();
  platform::File f;
  if (!f.Open(FileName, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways)) {
    return false;
  }
  return f.Write(bytes.data(), static_cast<uint32_t>(bytes.size())) == bytes.size();
}
