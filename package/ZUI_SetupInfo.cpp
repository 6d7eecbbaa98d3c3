#include "package/ZUI_SetupInfo.h"

#include "common/BufferManager.h"

void TSetupInfoFile::LoadFromBuffer(const uint8_t* Data, uint32_t Size) {
  TBufferManager b(Data, Size);
  TSetupInfo& i = Info;
  i.SetupName = ReadStoredText(b);
  i.SetupShortName = ReadStoredText(b);
  i.SetupExeName = ReadStoredText(b);
  i.UninstallExeName = ReadStoredText(b);
  i.UninstallPrefix = ReadStoredText(b);
  i.InstallDir = ReadStoredText(b);
  i.Changelog = ReadStoredText(b);
  b.ReadInto(1, &i.InstallDirRegKey.HKEY);
  i.InstallDirRegKey.Path = ReadStoredText(b);
  i.InstallDirRegKey.Key = ReadStoredText(b);
  i.InstallPages = ReadStoredText(b);
  i.UninstallPages = ReadStoredText(b);
  b.ReadInto(1, &i.IsUninstaller);
  b.ReadInto(1, &i.MakeUninstaller);
}

TBytes TSetupInfoFile::SaveToBytes() const {
  const TSetupInfo& i = Info;
  TBytes out;
  WriteStoredText(out, i.SetupName);
  WriteStoredText(out, i.SetupShortName);
  WriteStoredText(out, i.SetupExeName);
  WriteStoredText(out, i.UninstallExeName);
  WriteStoredText(out, i.UninstallPrefix);
  WriteStoredText(out, i.InstallDir);
  WriteStoredText(out, i.Changelog);
  out.push_back(i.InstallDirRegKey.HKEY);
  WriteStoredText(out, i.InstallDirRegKey.Path);
  WriteStoredText(out, i.InstallDirRegKey.Key);
  WriteStoredText(out, i.InstallPages);
  WriteStoredText(out, i.UninstallPages);
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
