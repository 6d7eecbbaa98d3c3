#include "script/SE_Uninstaller.h"

#include <algorithm>

#include "common/BufferManager.h"
#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/RunLog.h"
#include "common/ScopeExit.h"
#include "common/Strings.h"
#include "package/ZUI_PakFile.h"
#include "script/RunJournal.h"
#include "script/SE_ScriptState.h"
#include "script/SE_Uninstall_List.h"

namespace {

constexpr char kUninstallPrefix[] = "UNINSTALL_";
constexpr size_t kUninstallPrefixLength = 10;
constexpr char kUninstallIcon[] = "UNINSTALL_ICON.ICO";
constexpr char kSetupInfoEntry[] = "SetupInfo";
constexpr char kFinaliserEntry[] = "FINALISE.EXE";
constexpr char kFinaliserFile[] = "FINALISE.exe";
constexpr uint16_t kIconResource = 1;

// The bytes of the files the run wrote, as the uninstall log lists them.
uint64_t InstalledBytes(const TScriptState& State) {
  uint64_t total = 0;
  if (!State.UninstallList) return total;
  for (const std::string& file : State.UninstallList->Files()) {
    platform::File f;
    if (f.Open(State.Expand(file), platform::kAccessRead, platform::kShareReadWrite,
               platform::FileDisposition::kOpenExisting)) {
      int64_t size = f.Size();
      if (size > 0) total += static_cast<uint64_t>(size);
    }
  }
  return total;
}

}  // namespace

void RegisterProduct(TScriptState& State) {
  if (!State.Registry) return;
  platform::Registry& reg = *State.Registry;
  const TSetupInfo& info = State.SetupInfo->Info;
  reg.SetRoot(platform::kRootLocalMachine);
  const std::string key = kProductUninstallKey + info.SetupShortName;
  const std::string where = "HKLM\\" + key;
  // Undoable as the script's values are: a new key goes whole, old values come back.
  auto journaled = [&](const std::string& name) {
    if (!State.Journal) return true;
    reg.CloseKey();
    bool ok = State.Journal->BeforeValue(key, name) && reg.OpenKey(key, true);
    if (!ok) State.NoteLastError(Concat({where, " \"", name, "\""}));
    return ok;
  };
  if (!journaled("DisplayName")) return;
  if (!reg.OpenKey(key, true)) {
    State.NoteLastError(where);
    return;
  }
  const std::string uninstaller = AddBackslash(info.InstallDir) + info.UninstallExeName;
  // Quoted: an unquoted path with blanks ("C:\Program Files\...") would
  // let a planted "C:\Program.exe" run in the uninstaller's place.
  const std::string command = Concat({"\"", uninstaller, "\""});
  auto write = [&](const std::string& name, const std::string& value) {
    if (!journaled(name)) return;
    if (reg.WriteString(name, value)) {
      LogLine("Registry", Concat({where, "\\", name, " = ", value}));
    } else {
      State.NoteLastError(Concat({where, " \"", name, "\""}));
    }
  };
  auto writeNumber = [&](const std::string& name, uint32_t value) {
    if (!journaled(name)) return;
    if (!reg.WriteInteger(name, value)) State.NoteLastError(Concat({where, " \"", name, "\""}));
  };
  write("DisplayName", info.SetupShortName);
  write("UninstallString", command);
  write("QuietUninstallString", command + " /S");
  write("DisplayIcon", uninstaller);
  // Without the trailing backslash the install directory keeps once its page was visited.
  std::string location = info.InstallDir;
  if (location.size() > 3 && location.back() == '\\') location.pop_back();
  write("InstallLocation", location);
  platform::CalendarDate today = platform::Today();
  write("InstallDate", DecimalText(today.Year * 10000u + today.Month * 100u + today.Day));
  writeNumber("EstimatedSize", static_cast<uint32_t>((InstalledBytes(State) + 1023) / 1024));
  writeNumber("NoModify", 1);
  writeNumber("NoRepair", 1);
  // The script's "version", "publisher" and "url".
  uint32_t size = 0;
  if (std::optional<TBytes> product = State.Pak ? State.Pak->FindEntry(kProductInfoEntry, 0, size) : std::nullopt) {
    ForEachProductValue(*product, [&](const std::string& name, const std::string& value) { write(name, value); });
  }
  // The uninstaller believes only the log the setup saved.
  std::string digest = InstallLogDigest(info.InstallDir, info.UninstallPrefix);
  if (!digest.empty() && journaled(kLogDigestValue) && !reg.WriteString(kLogDigestValue, digest))
    State.NoteLastError(Concat({where, " \"", kLogDigestValue, "\""}));
  reg.CloseKey();
}

bool BuildUninstaller(TScriptState& State) {
  const TSetupInfo& info = State.SetupInfo->Info;
  TPak& pak = *State.Pak;
  if (pak.Entries.empty()) return true;
  ForceInstallDirs(info.InstallDir, State.Recorder());
  // Written beside its place and renamed over it only when complete, so a
  // failed write never leaves a broken uninstaller (nor removes a good one);
  // what failed stays the last error.
  const std::string target = AddBackslash(info.InstallDir) + info.UninstallExeName;
  const std::string partial = target + ".part";
  if (TInstallRecorder* recorder = State.Recorder();
      recorder && (!recorder->BeforeFile(target) || !recorder->BeforeFile(partial))) {
    return false;
  }
  platform::DeleteFile(partial);
  TScopeExit discard([&partial] {
    uint32_t error = platform::LastError();
    platform::DeleteFile(partial);
    platform::SetLastError(error);
  });

  // A signed setup carries its uninstaller, signed when it was built.
  uint32_t signedSize = 0;
  if (std::optional<TBytes> exe = pak.FindEntry(kSignedUninstallerEntry, 0, signedSize)) {
    if (!WriteWholeFile(partial, exe->data(), static_cast<uint32_t>(exe->size()), nullptr) ||
        !platform::MoveFile(partial, target, true)) {
      return false;
    }
    discard.Release();
    return true;
  }

  // The stub: the package file's bytes before its first entry. For a setup
  // that is its own executable; for a package file named on the command line,
  // that file's own bytes.
  TBytes stub(pak.Entries[0].Offset);
  {
    platform::File source;
    if (!source.Open(pak.FileName(), platform::kAccessRead, platform::kShareReadWrite,
                     platform::FileDisposition::kOpenExisting)) {
      return false;
    }
    if (!stub.empty() && source.Read(stub.data(), static_cast<uint32_t>(stub.size())) != stub.size()) return false;
  }
  // A signed setup's signature does not cover the uninstaller: its copy of
  // the headers names no certificate table.
  if (size_t entry = SecurityDirectoryEntry(stub.data(), stub.size())) std::fill_n(stub.begin() + entry, 8, 0);
  if (!WriteWholeFile(partial, stub.data(), static_cast<uint32_t>(stub.size()), nullptr)) return false;

  // The icon and the setup information go from memory into the copy: no
  // file of a shared folder is written on the way.
  for (uint32_t i = 0; i < pak.Entries.size(); ++i) {
    if (pak.Entries[i].Group != 0 || !SameTextAscii(pak.Entries[i].Name, kUninstallIcon)) continue;
    if (std::optional<TBytes> icon = pak.ReadEntry(i)) ChangeIconFromImage(*icon, partial);
  }

  bool ok = false;
  {
    TPak out(partial, false, true);
    ok = out.IsOpen();
    for (uint32_t i = 0; ok && i < pak.Entries.size(); ++i) {
      const TPakFile& e = pak.Entries[i];
      std::string upper = UpperAscii(e.Name);
      if (e.Group != 0 || upper.compare(0, kUninstallPrefixLength, kUninstallPrefix) != 0 || upper == kUninstallIcon) {
        continue;
      }
      std::string name = e.Name.substr(kUninstallPrefixLength);
      uint32_t index = out.AddEntry(name, name, 0);
      std::optional<TBytes> data = pak.ReadEntry(i);
      if (data) ok = out.WriteEntry(index, data->data(), static_cast<uint32_t>(data->size()));
    }
    TSetupInfoFile copy;
    copy.Info = info;
    copy.Info.IsUninstaller = 1;
    if (ok) {
      const TBytes sif = copy.SaveToBytes();
      uint32_t index = out.AddEntry(kSetupInfoEntry, kSetupInfoEntry, 0);
      ok = out.WriteEntry(index, sif.data(), static_cast<uint32_t>(sif.size()));
    }
    // Its directory digest lets the uninstaller's start-up check find a changed
    // name or group as the setup's does.
    ok = ok && out.WriteDirectoryWithDigest();
    out.Close();
  }
  if (!ok || !platform::MoveFile(partial, target, true)) return false;
  discard.Release();
  return true;
}

bool ChangeIconFromImage(const TBytes& Icon, const std::string& Executable) {
  if (Icon.size() < 38) return false;
  TBufferManager cursor(Icon.data(), 38);
  cursor.Seek(14);
  uint32_t imageSize = ReadU32(cursor);
  uint32_t imageOffset = ReadU32(cursor);
  if (static_cast<uint64_t>(imageOffset) + imageSize > Icon.size()) return false;
  const TBytes image(Icon.begin() + imageOffset, Icon.begin() + imageOffset + imageSize);
  return platform::ReplaceIconResource(Executable, kIconResource, image);
}

bool ChangeIcon(const std::string& IconFile, const std::string& Executable) {
  TBytes icon;
  try {
    icon = LoadWholeFile(IconFile);
  } catch (const ESetupError&) {
    return false;
  }
  return ChangeIconFromImage(icon, Executable);
}

bool LaunchFinaliser(TScriptState& State, const std::string& ProgramPath) {
  uint32_t size = 0;
  std::optional<TBytes> data = State.Pak ? State.Pak->FindEntry(kFinaliserEntry, 0, size) : std::nullopt;
  // A setup built without one (the builder warned) leaves its uninstaller.
  if (!data || data->empty()) {
    LogLine("Finaliser", Concat({"none packed; ", ProgramPath, " stays"}));
    return true;
  }
  // A folder of this run's own, made new under a random name, and the file
  // created new in it: nothing another program put in the temporary folder
  // is written to, or started.
  const std::string folder = platform::CreatePrivateTempFolder();
  if (folder.empty()) {
    State.NoteLastError(AddBackslash(platform::TempPath()) + "wizpak-...");
    return false;
  }
  const std::string path = Concat({folder, "\\", kFinaliserFile});
  auto failed = [&](uint32_t error) {
    State.NoteFailure(path,
                      platform::DescribeError(error) + "; the finaliser was not started, so the uninstaller stays");
    platform::DeleteFile(path);
    platform::RemoveDirectory(folder);
    return false;
  };
  {
    platform::File out;
    if (!out.Open(path, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateNew) ||
        out.Write(data->data(), static_cast<uint32_t>(data->size())) != data->size() || !out.Flush()) {
      return failed(platform::LastError());
    }
  }
  // Held open for reading with no write sharing until it has started, and
  // read back first: what starts is what was written.
  platform::File held;
  if (!held.Open(path, platform::kAccessRead, platform::kShareRead, platform::FileDisposition::kOpenExisting)) {
    return failed(platform::LastError());
  }
  TBytes back(data->size());
  if (held.Size() != static_cast<int64_t>(data->size()) ||
      held.Read(back.data(), static_cast<uint32_t>(back.size())) != back.size() || back != *data) {
    return failed(platform::kErrorWriteFault);
  }
  if (!platform::ShellExecute(path, Concat({"\"", ProgramPath, "\""}), 1, false)) return failed(platform::LastError());
  return true;
}
