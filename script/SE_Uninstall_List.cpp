#include "script/SE_Uninstall_List.h"

#include "script/FilesInUse.h"

#include "common/BufferManager.h"
#include "common/DigitKey.h"
#include "common/Exceptions.h"
#include "common/FileRecords.h"
#include "common/FileUtils.h"
#include "common/RegistryRoots.h"
#include "common/RunLog.h"
#include "common/Strings.h"
#include "script/SE_ScriptState.h"

TUninstallList::TUninstallList(std::function<TPathFields()> Fields) : fields_(std::move(Fields)) { Clear(); }

void TUninstallList::Clear() {
  files_.clear();
  registry_.clear();
  directories_.clear();
  fileKeys_.clear();
  registryKeys_.clear();
}

bool TUninstallList::HasFile(const std::string& Path) const { return fileKeys_.count(LowerAscii(Path)) != 0; }

void TUninstallList::AddInstalledFile(const std::string& Path) {
  LogLine(Path.size() > 4 && SameTextAscii(Path.substr(Path.size() - 4), ".lnk") ? "Shortcut" : "File", Path);
  std::string collapsed = fields_ ? CollapsePathFields(Path, fields_()) : Path;
  if (fileKeys_.insert(LowerAscii(collapsed)).second) files_.push_back(collapsed);
}

bool TUninstallList::HasRegistryRecord(const std::string& Record) const {
  return registryKeys_.count(LowerAscii(Record)) != 0;
}

void TUninstallList::AddRegistryRecord(const std::string& Record) {
  LogLine("Registry", Record);
  if (registryKeys_.insert(LowerAscii(Record)).second) registry_.push_back(Record);
}

void TUninstallList::AddDirectory(const std::string& Path) {
  LogLine("Folder", Path);
  directories_.push_back(Path);
}

std::string MakeRegistryRecord(std::string_view Root, std::string_view Key, std::string_view Name,
                               std::string_view Data) {
  return Concat({"\"", Root, "\" \"", Key, "\" \"", Name, "\" \"", Data, "\""});
}

const char* const kUninstallLogKey =
    "4815162342108159265358979323846264338327950288419716939937510582"
    "0974944592307816406286208998628034825342117067982148086513282306"
    "6470938446095505822317253594081284811174502841027019385211055596"
    "4462294895493038196442881097566593344612847564823378";

namespace {

constexpr char kLogName[] = "install.log";
// What each of the log's 16-bit counts can say.
constexpr size_t kMaxLogRecords = 0xFFFF;
constexpr char kStatusStart[] = "Status: 0 of ";
constexpr char kItemsRemaining[] = " items remaining";
constexpr uint16_t kStringProgress = 19;
constexpr uint16_t kStringFailed = 23;
constexpr uint16_t kStringRegistry = 24;
constexpr uint16_t kStringDirectories = 25;

void WriteRecords(TBytes& out, const std::vector<std::string>& list) {
  for (const std::string& s : list) {
    std::string scrambled = AddDigitKey(kUninstallLogKey, platform::ToStoredText(s).substr(0, 0xFFFF));
    WriteShortString(out, scrambled);
  }
}

}  // namespace

std::string UninstallLogName(const std::string& Prefix) { return Prefix + kLogName; }

std::string TUninstallList::CapacityProblem() const {
  const std::pair<const char*, size_t> lists[] = {
      {"files", files_.size()}, {"registry values", registry_.size()}, {"folders", directories_.size()}};
  for (const auto& [what, count] : lists) {
    if (count > kMaxLogRecords) {
      return Concat({"the uninstall log would list ", DecimalText(count), " ", what, ", more than the ",
                     DecimalText(kMaxLogRecords), " it can hold"});
    }
  }
  return {};
}

bool TUninstallList::SaveLog(const std::string& Dir, const std::string& Prefix) const {
  std::string path = Concat({Dir, "\\", UninstallLogName(Prefix)});
  // A count that wrapped would leave records unread, or read as another kind.
  if (!CapacityProblem().empty()) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return false;
  }
  TBytes out;
  WriteU16(out, static_cast<uint16_t>(files_.size()));
  WriteU16(out, static_cast<uint16_t>(registry_.size()));
  WriteU16(out, static_cast<uint16_t>(directories_.size()));
  WriteRecords(out, files_);
  WriteRecords(out, registry_);
  WriteRecords(out, directories_);
  // A crash or a full disk never leaves a half-written log behind.
  std::string temp = path + ".tmp";
  {
    platform::File f;
    if (!f.Open(temp, platform::kAccessWrite, platform::kShareNone, platform::FileDisposition::kCreateAlways)) {
      return false;
    }
    if (f.Write(out.data(), static_cast<uint32_t>(out.size())) != out.size() || !f.Flush()) {
      uint32_t error = platform::LastError();
      f.Close();
      platform::DeleteFile(temp);
      platform::SetLastError(error);
      return false;
    }
  }
  if (!platform::MoveFile(temp, path, true)) {
    uint32_t error = platform::LastError();
    platform::DeleteFile(temp);
    platform::SetLastError(error);
    return false;
  }
  return true;
}

void TUninstallList::LoadLog(const std::string& Dir, const std::string& Prefix) {
  std::string path = Concat({Dir, "\\", UninstallLogName(Prefix)});
  if (!platform::FileExists(path)) return;
  platform::File f;
  if (!f.Open(path, platform::kAccessRead, platform::kShareRead, platform::FileDisposition::kOpenExisting)) return;
  int64_t size = f.Size();
  TFileReader reader(f, 0, size < 0 ? 0 : static_cast<uint64_t>(size));
  uint16_t counts[3];
  for (uint16_t& c : counts) c = reader.U16();
  std::vector<std::string>* lists[3] = {&files_, &registry_, &directories_};
  std::vector<std::string> loaded[3];
  for (int l = 0; l < 3; ++l) {
    for (uint16_t i = 0; i < counts[l]; ++i)
      loaded[l].push_back(platform::FromStoredText(SubDigitKey(kUninstallLogKey, reader.ShortString())));
  }
  if (reader.Position() != static_cast<uint64_t>(size)) {
    RaiseSetupError({path, " holds more records than its header counts: the log is damaged"});
  }
  Clear();
  for (int l = 0; l < 3; ++l) *lists[l] = std::move(loaded[l]);
  for (const std::string& f : files_) fileKeys_.insert(LowerAscii(f));
  for (const std::string& r : registry_) registryKeys_.insert(LowerAscii(r));
}

std::vector<std::string> SplitRegistryRecord(const std::string& Record) {
  std::vector<std::string> fields;
  std::string rest = Record;
  while (fields.size() < 4) {
    size_t b = rest.find_first_not_of(' ');
    size_t e = rest.find_last_not_of(' ');
    rest = b == std::string::npos ? std::string() : rest.substr(b, e - b + 1);
    size_t end = 0;
    bool quoted = false;
    for (; end < rest.size(); ++end) {
      if (rest[end] == '"')
        quoted = !quoted;
      else if (!quoted && (rest[end] == ' ' || rest[end] == '\t'))
        break;
    }
    std::string field;
    for (size_t i = 0; i < end; ++i) {
      if (rest[i] != '"') field += rest[i];
    }
    fields.push_back(field);
    rest = rest.substr(end);
  }
  return fields;
}

std::string InstallLogDigest(const std::string& Dir, const std::string& Prefix) {
  TBytes log;
  try {
    log = LoadWholeFile(Concat({Dir, "\\", UninstallLogName(Prefix)}));
  } catch (const ESetupError&) {
    return {};
  }
  uint8_t digest[32];
  if (!platform::Sha256(log.data(), log.size(), digest)) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : digest) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

bool InstallLogTrusted(platform::Registry& Registry, const std::string& Dir, const std::string& Prefix,
                       const std::string& ShortName) {
  std::string saved;
  Registry.SetRoot(platform::kRootLocalMachine);
  if (Registry.OpenKey(kProductUninstallKey + ShortName, false)) {
    Registry.ReadString(kLogDigestValue, saved);
    Registry.CloseKey();
  }
  std::string actual = InstallLogDigest(Dir, Prefix);
  return !saved.empty() && !actual.empty() && SameTextAscii(saved, actual);
}

namespace {
// True when Path has a ".." component (Windows drops trailing dots and
// blanks, so "..." and ".. " count too).
bool ClimbsOut(const std::string& Path) {
  size_t start = 0;
  for (;;) {
    size_t end = Path.find_first_of("\\/", start);
    std::string part = Path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.size() >= 2 && part.find_first_not_of(". ") == std::string::npos && part.find("..") != std::string::npos) {
      return true;
    }
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}
}  // namespace

bool SaveUninstallLog(TScriptState& State, const std::string& Dir, const std::string& Prefix) {
  const std::string log = Concat({Dir, "\\", UninstallLogName(Prefix)});
  if (!State.UninstallList) return true;
  // The old log (and a temporary copy a crash left) are put back if the run is undone.
  if (TInstallRecorder* recorder = State.Recorder();
      recorder && (!recorder->BeforeFile(log) || !recorder->BeforeFile(log + ".tmp"))) {
    State.NoteLastError(log);
    return false;
  }
  if (State.UninstallList->SaveLog(Dir, Prefix)) {
    LogLine("File", log);
    return true;
  }
  std::string why = State.UninstallList->CapacityProblem();
  if (why.empty()) {
    State.NoteLastError(log);
  } else {
    State.NoteFailure(log, why);
  }
  return false;
}

void RunUninstall(TScriptState& State) {
  TUninstallList& list = *State.UninstallList;
  // A link or reparse point inside the install folder never leads a delete
  // out of it; such a refusal, like any file that stays, is a failure.
  platform::WriteConfinement confine(State.SetupInfo->Info.InstallDir);
  auto failed = [&State](const std::string& Path) { State.NoteLastError(Path); };
  const size_t F = list.Files().size(), D = list.Directories().size(), R = list.RegistryRecords().size();
  const size_t T = F + D + R;
  State.SetStatusText(AsciiToWide(kStatusStart + DecimalText(T) + kItemsRemaining));
  if (State.Observer) State.Observer->SetProgress(0, static_cast<uint32_t>(T));
  auto progress = [&](size_t k, size_t n, size_t position, const WideString& category) {
    if (k * 100 / n == 0) return;
    State.SetStatusText(FillProgressText(State.String(kStringProgress), category, k, n));
    if (State.Observer) State.Observer->SetProgress(static_cast<uint32_t>(position), static_cast<uint32_t>(T));
  };

  for (size_t k = 1; k <= F; ++k) {
    progress(k, F, k, WideString());
    std::string path = State.Expand(list.Files()[k - 1]);
    if (ClimbsOut(path) || !platform::FileExists(path)) continue;
    bool deleted = platform::DeleteFile(path);
    while (!deleted && platform::IsInUseError(platform::LastError()) && RetryFileInUse(State, path)) {
      deleted = platform::DeleteFile(path);
    }
    if (!deleted && platform::FileExists(path)) failed(path);
  }
  WideString directories = State.String(kStringDirectories);
  for (size_t k = 1; k <= D; ++k) {
    progress(k, D, F + k, directories);
    const std::string& dir = list.Directories()[D - k];
    // A folder that still holds files of the user's stays, as it should.
    if (!ClimbsOut(dir) && platform::DirectoryExists(dir) && !platform::RemoveDirectory(dir) &&
        platform::LastError() == platform::kErrorLinkInPath) {
      failed(dir);
    }
  }
  // What could not be removed: the finish page says the run failed.
  if (!State.Failures.empty() && State.Observer) State.Observer->SetFinishText(State.String(kStringFailed), true);
  WideString registry = State.String(kStringRegistry);
  platform::Registry* reg = State.Registry;
  for (size_t k = 1; k <= R && reg; ++k) {
    progress(k, R, F + D + k, registry);
    std::vector<std::string> f = SplitRegistryRecord(list.RegistryRecords()[k - 1]);
    reg->SetRoot(RootNumberOf(f[0]));
    if (reg->OpenKey(f[1], false)) {
      reg->DeleteValue(f[2]);
      reg->CloseKey();
    }
  }
  const TSetupInfo& info = State.SetupInfo->Info;
  // The log goes before the product's key, whose digest vouches for it: an
  // uninstall cut short before the log is gone can run again.
  std::string log = AddBackslash(info.InstallDir) + UninstallLogName(info.UninstallPrefix);
  if (!platform::DeleteFile(log) && platform::FileExists(log)) return;
  if (reg) {
    reg->SetRoot(platform::kRootLocalMachine);
    std::string key = kProductUninstallKey + info.SetupShortName;
    if (reg->OpenKey(key, false)) {
      reg->DeleteValue("DisplayName");
      reg->DeleteValue("UninstallString");
      reg->DeleteValue(kLogDigestValue);
      reg->CloseKey();
      reg->DeleteKey(key);
    }
  }
}
