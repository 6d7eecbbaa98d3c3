#include "script/RunJournal.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/BufferManager.h"
#include "common/Bytes.h"
#include "common/Crc32.h"
#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/Strings.h"
#include "gamedata/UndoJournal.h"

namespace {

constexpr char kFolderName[] = "run-journal";
constexpr char kFileName[] = "journal";
constexpr char kMagic[] = "WZRUNJ01";
constexpr size_t kMagicSize = 8;
// A record larger than this is damage, not a record.
constexpr uint32_t kMaxPayload = 1u << 20;

enum TKind : uint8_t {
  kFileCreated = 1,  // path
  kFileMoved,        // path, stash
  kDirCreated,       // path
  kTreeMoved,        // path, stash
  kRenamed,          // from, to
  kValue,            // key, name, data; root, existed, type
  kKeyCreated,       // key; root
  kContainer,        // target, kept journal, side files...
  kStarted,          // program
  kKindEnd,
};

struct TRecord {
  uint8_t Kind = 0;
  std::vector<std::string> S;
  std::vector<uint32_t> N;
};

std::string Reason() { return platform::DescribeError(platform::LastError()); }

std::string Key(const std::string& Path) { return LowerAscii(Path); }

// The records of a journal file, up to the first one cut short or damaged.
std::vector<TRecord> ReadRecords(const std::string& Path, bool& Damaged, std::string& Problem) {
  std::vector<TRecord> records;
  Damaged = false;
  platform::File f;
  if (!f.Open(Path, platform::kAccessRead, platform::kShareRead, platform::FileDisposition::kOpenExisting)) {
    // A folder without its journal: the run was killed while it started,
    // before it changed anything.
    if (platform::LastError() != platform::kErrorFileNotFound) {
      Damaged = true;
      Problem = Concat({Path, " cannot be read: ", Reason()});
    }
    return records;
  }
  const int64_t size = f.Size();
  if (size < 0 || size > 0x7FFFFFFF) {
    Damaged = true;
    Problem = Path + " cannot be read: its size is out of range";
    return records;
  }
  TBytes bytes(static_cast<size_t>(size));
  if (size && f.Read(bytes.data(), static_cast<uint32_t>(size)) != bytes.size()) {
    Damaged = true;
    Problem = Concat({Path, " cannot be read: ", Reason()});
    return records;
  }
  if (bytes.size() < kMagicSize) return records;  // cut while it was started
  if (std::memcmp(bytes.data(), kMagic, kMagicSize) != 0) {
    Damaged = true;
    Problem = Path + " is not a run journal";
    return records;
  }
  size_t at = kMagicSize;
  while (at < bytes.size()) {
    const size_t start = at;
    auto fail = [&] {
      Damaged = true;
      Problem = Concat({Path, " ends in a damaged record at byte ", DecimalText(static_cast<uint64_t>(start)),
                        ": whatever the run recorded from there on could not be undone"});
    };
    if (bytes.size() - at < 5) return fail(), records;
    const uint8_t kind = bytes[at];
    const uint32_t length = GetU32(bytes.data() + at + 1);
    if (length > kMaxPayload || bytes.size() - at - 5 < static_cast<size_t>(length) + 4) return fail(), records;
    const uint32_t crc = GetU32(bytes.data() + at + 5 + length);
    if (Crc32(bytes.data() + at, 5 + static_cast<size_t>(length)) != crc || kind == 0 || kind >= kKindEnd) {
      return fail(), records;
    }
    TRecord r;
    r.Kind = kind;
    try {
      TBufferManager b(bytes.data() + at + 5, length);
      uint32_t strings = ReadU32(b);
      if (strings > length) RaiseSetupError({"count"});
      for (uint32_t i = 0; i < strings; ++i) {
        uint32_t n = ReadU32(b);
        if (n > length) RaiseSetupError({"length"});
        std::string s(n, '\0');
        if (n && b.ReadInto(n, &s[0]) != n) RaiseSetupError({"cut"});
        r.S.push_back(std::move(s));
      }
      uint32_t numbers = ReadU32(b);
      if (numbers > length) RaiseSetupError({"count"});
      for (uint32_t i = 0; i < numbers; ++i) r.N.push_back(ReadU32(b));
    } catch (const ESetupError&) {
      return fail(), records;
    }
    // Each kind's fields, so that undoing one never reads past them.
    static const size_t kStrings[kKindEnd] = {0, 1, 2, 1, 2, 2, 3, 1, 2, 1};
    static const size_t kNumbers[kKindEnd] = {0, 0, 0, 0, 0, 0, 3, 1, 0, 0};
    if (r.S.size() < kStrings[kind] || r.N.size() < kNumbers[kind]) return fail(), records;
    records.push_back(std::move(r));
    at += 5 + static_cast<size_t>(length) + 4;
  }
  return records;
}

// Whether Path is Folder or lies below it.
bool Below(const std::string& Path, const std::string& Folder) {
  std::string p = Key(Path), f = Key(AddBackslash(Folder));
  return AddBackslash(p) == f || p.compare(0, f.size(), f) == 0;
}

// Undoes Records newest first. Folders that hold the journal's folder are
// removed once it is gone.
TRollBackReport Undo(const std::vector<TRecord>& Records, const std::string& Folder, platform::Registry* Registry,
                     TFunctionRef<void(uint32_t, uint32_t)> Progress) {
  TRollBackReport report;
  report.Total = static_cast<uint32_t>(Records.size());
  std::vector<std::string> outer;  // made folders that hold the journal's folder
  auto problem = [&](std::initializer_list<std::string_view> Pieces) { report.Problems.push_back(Concat(Pieces)); };
  uint32_t done = 0;
  for (auto it = Records.rbegin(); it != Records.rend(); ++it) {
    const TRecord& r = *it;
    bool undone = true;
    switch (r.Kind) {
      case kFileCreated:
        if (platform::FileExists(r.S[0]) && !platform::DeleteFile(r.S[0]) && platform::FileExists(r.S[0])) {
          problem({r.S[0], " (made by the run) could not be deleted: ", Reason()});
          undone = false;
        }
        break;
      case kFileMoved:
      case kTreeMoved: {
        // No stash: the move never happened, and the file is still its old self.
        const bool tree = r.Kind == kTreeMoved;
        const bool stashed = tree ? platform::DirectoryExists(r.S[1]) : platform::FileExists(r.S[1]);
        if (!stashed) break;
        if (tree && platform::DirectoryExists(r.S[0])) platform::RemoveDirectory(r.S[0]);
        if (!platform::MoveFile(r.S[1], r.S[0], !tree)) {
          problem({r.S[0], " could not be put back from ", r.S[1], ": ", Reason()});
          undone = false;
        }
        break;
      }
      case kDirCreated:
        if (platform::DirectoryExists(r.S[0]) && !platform::RemoveDirectory(r.S[0])) {
          if (Below(Folder, r.S[0])) {
            outer.push_back(r.S[0]);
          } else if (platform::DirectoryExists(r.S[0])) {
            problem({r.S[0], " (made by the run) is not empty and stays"});
            undone = false;
          }
        }
        break;
      case kRenamed:
        if (platform::FileExists(r.S[1]) && !platform::FileExists(r.S[0]) &&
            !platform::MoveFile(r.S[1], r.S[0], false)) {
          problem({r.S[1], " could not be renamed back to ", r.S[0], ": ", Reason()});
          undone = false;
        }
        break;
      case kValue:
      case kKeyCreated: {
        if (!Registry) {
          problem({"the registry is not at hand for ", r.S[0]});
          undone = false;
          break;
        }
        Registry->SetRoot(static_cast<int>(r.N[0]));
        if (r.Kind == kKeyCreated) {
          if (Registry->KeyExists(r.S[0]) && !Registry->DeleteKey(r.S[0])) {
            problem({"the registry key ", r.S[0], " (made by the run) could not be deleted: ", Reason()});
            undone = false;
          }
          break;
        }
        const bool existed = r.N[1] != 0;
        bool ok = true;
        if (Registry->OpenKey(r.S[0], false)) {
          if (existed) {
            ok = Registry->WriteRaw(r.S[1], r.N[2], r.S[2]);
          } else if (Registry->ValueExists(r.S[1])) {
            ok = Registry->DeleteValue(r.S[1]);
          }
          Registry->CloseKey();
        } else {
          ok = !existed;
        }
        if (!ok) {
          problem({"the registry value ", r.S[0], " \"", r.S[1], "\" could not be put back: ", Reason()});
          undone = false;
        }
        break;
      }
      case kContainer: {
        // Kept once its update was saved; before that the update's own
        // journal is still beside the file.
        std::string journal = platform::FileExists(r.S[1]) ? r.S[1] : r.S[0] + kUndoSuffix;
        if (!platform::FileExists(journal)) break;
        std::vector<std::string> sides(r.S.begin() + 2, r.S.end());
        platform::File target;
        try {
          if (!target.Open(r.S[0], platform::kAccessReadWrite, platform::kShareRead,
                           platform::FileDisposition::kOpenExisting)) {
            RaiseSetupError({r.S[0], " cannot be opened: ", Reason()});
          }
          TUndoJournal::Recover(target, journal, sides);
        } catch (const ESetupError& e) {
          problem({e.what()});
          undone = false;
        }
        break;
      }
      case kStarted:
        report.Started.push_back(r.S[0]);
        undone = false;
        break;
      default:
        break;
    }
    if (undone) ++report.Undone;
    if (Progress) Progress(++done, report.Total);
  }
  // What is left in the folder is what no readable record names: a damaged
  // journal's files stay for the user to see, in the folder renamed, so that
  // the journal's name is free and nobody takes them for a finished run's.
  platform::DeleteFile(Concat({Folder, "\\", kFileName}));
  std::vector<platform::DirEntry> left;
  if (platform::ListDirectory(Folder, left) && !left.empty()) {
    std::string kept = Folder + ".kept";
    for (uint32_t n = 2; platform::DirectoryExists(kept) || platform::FileExists(kept); ++n) {
      kept = Concat({Folder, ".kept", DecimalText(n)});
    }
    if (!platform::MoveFile(Folder, kept, false)) kept = Folder;
    problem({kept, " holds ", DecimalText(static_cast<uint32_t>(left.size())),
             " item(s) no record names (old files among them, perhaps); it stays so that nothing in it is lost"});
  } else if (platform::DirectoryExists(Folder) && !platform::RemoveDirectory(Folder)) {
    problem({Folder, " could not be removed: ", Reason()});
  }
  for (const std::string& dir : outer) {
    if (platform::DirectoryExists(dir) && !platform::RemoveDirectory(dir) && platform::DirectoryExists(dir)) {
      problem({dir, " (made by the run) is not empty and stays"});
    }
  }
  return report;
}

}  // namespace

std::string TRollBackReport::Text() const {
  std::string text;
  if (Complete()) {
    text = Concat({"Everything the run had changed was put back (", DecimalText(Undone),
                   (Undone == 1 ? " change" : " changes"), " undone)."});
  } else {
    text = Concat({"The run's changes were put back as far as possible (", DecimalText(Undone), " of ",
                   DecimalText(Total), " undone); what could not be:"});
    for (const std::string& p : Problems) text += "\r\n" + p;
  }
  for (const std::string& s : Started) text += Concat({"\r\n", s, " was started by the run and cannot be undone."});
  return text;
}

std::string TRunJournal::FolderOf(const std::string& InstallDir, const std::string& Prefix) {
  std::string dir = InstallDir;
  while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
  return AddBackslash(dir) + Prefix + kFolderName;
}

TRunJournal::TRunJournal(std::string Folder, TInstallRecorder* Next, platform::Registry* Registry)
    : folder_(std::move(Folder)), next_(Next), registry_(Registry) {}

TRunJournal::~TRunJournal() = default;

bool TRunJournal::Start() {
  if (!platform::CreateDirectory(folder_)) return false;
  if (!file_.Open(Concat({folder_, "\\", kFileName}), platform::kAccessWrite, platform::kShareRead,
                  platform::FileDisposition::kCreateNew) ||
      file_.Write(kMagic, kMagicSize) != kMagicSize || !file_.Flush()) {
    uint32_t error = platform::LastError();
    file_.Close();
    platform::DeleteFile(Concat({folder_, "\\", kFileName}));
    platform::RemoveDirectory(folder_);
    platform::SetLastError(error);
    return false;
  }
  dirs_.insert(Key(folder_));
  return true;
}

bool TRunJournal::Append(uint8_t Kind, const std::string_view* Strings, size_t StringCount,
                         std::initializer_list<uint32_t> Numbers) {
  TBytes record{Kind, 0, 0, 0, 0};
  WriteU32(record, static_cast<uint32_t>(StringCount));
  for (size_t i = 0; i < StringCount; ++i) {
    WriteU32(record, static_cast<uint32_t>(Strings[i].size()));
    record.insert(record.end(), Strings[i].begin(), Strings[i].end());
  }
  WriteU32(record, static_cast<uint32_t>(Numbers.size()));
  for (uint32_t n : Numbers) WriteU32(record, n);
  PutU32(record.data() + 1, static_cast<uint32_t>(record.size() - 5));
  WriteU32(record, Crc32(record.data(), record.size()));
  if (!file_.IsOpen() || file_.Write(record.data(), static_cast<uint32_t>(record.size())) != record.size())
    return false;
  ++records_;
  return batch_ || file_.Flush();
}

std::string TRunJournal::StashName() { return Concat({folder_, "\\", DecimalText(records_ + 1)}); }

bool TRunJournal::Present(const std::string& Bare) {
  std::string key = Key(Bare);
  if (dirs_.count(key) || present_.count(key)) return true;
  if (!platform::DirectoryExists(Bare)) return false;
  present_.insert(key);
  return true;
}

bool TRunJournal::MissingParents(const std::string& Path) {
  // Outermost first, so that undoing (newest first) removes the deepest first.
  std::vector<std::string> missing;
  for (std::string dir = ExtractFilePath(Path); dir.size() > 3; dir = ExtractFilePath(dir.substr(0, dir.size() - 1))) {
    std::string bare = dir.back() == '\\' ? dir.substr(0, dir.size() - 1) : dir;
    if (Present(bare)) break;
    missing.push_back(bare);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!Append(kDirCreated, {*it})) return false;
    dirs_.insert(Key(*it));
  }
  return true;
}

bool TRunJournal::FileRecord(const std::string& Path) {
  std::string key = Key(Path);
  if (files_.count(key)) return true;
  if (!MissingParents(Path)) return false;
  if (platform::FileExists(Path)) {
    // The old file is moved aside: recorded first, then renamed.
    std::string stash = StashName();
    if (!Append(kFileMoved, {Path, stash})) return false;
    bool moved = platform::MoveFile(Path, stash, false);
    while (!moved && platform::IsInUseError(platform::LastError())) {
      const uint32_t error = platform::LastError();
      if (!RetryInUse || !RetryInUse(Path)) {
        platform::SetLastError(error);
        return false;
      }
      moved = platform::MoveFile(Path, stash, false);
    }
    if (!moved) {
      // Another drive: beside the file itself, still a rename.
      std::string beside = Concat({Path, ".", DecimalText(records_ + 1), ".run-journal"});
      if (!Append(kFileMoved, {Path, beside}) || !platform::MoveFile(Path, beside, false)) return false;
    }
  } else if (!Append(kFileCreated, {Path})) {
    return false;
  }
  files_.insert(key);
  return true;
}

bool TRunJournal::RecordDirectoriesMade(const std::vector<std::string>& Paths) {
  batch_ = true;
  bool ok = true;
  for (const std::string& path : Paths) {
    ok = ok && Append(kDirCreated, {path});
    dirs_.insert(Key(path));
  }
  batch_ = false;
  return file_.Flush() && ok;
}

void TRunJournal::AddInstalledFile(const std::string& Path) {
  if (next_) next_->AddInstalledFile(Path);
}

void TRunJournal::AddDirectory(const std::string& Path) {
  if (next_) next_->AddDirectory(Path);
}

bool TRunJournal::BeforeFile(const std::string& Path) { return FileRecord(Path); }

bool TRunJournal::BeforeDirectory(const std::string& Path) {
  std::string bare = Path.size() > 3 && Path.back() == '\\' ? Path.substr(0, Path.size() - 1) : Path;
  if (Present(bare)) return true;
  if (!MissingParents(bare) || !Append(kDirCreated, {bare})) return false;
  dirs_.insert(Key(bare));
  return true;
}

bool TRunJournal::BeforeFiles(const std::vector<std::string>& Paths, std::string& Failed) {
  batch_ = true;
  bool ok = true;
  for (const std::string& path : Paths) {
    if (!FileRecord(path)) {
      Failed = path;
      ok = false;
      break;
    }
  }
  batch_ = false;
  // One flush for the whole list: every record is on the disk before the
  // first of the files is written.
  uint32_t error = platform::LastError();
  if (!file_.Flush()) return Failed = Paths.empty() ? folder_ : Paths.front(), false;
  platform::SetLastError(error);
  return ok;
}

std::string TRunJournal::KeepUndoOf(const std::string& Target, const std::vector<std::string>& Sides) {
  // In the journal's folder when the target is on its drive (a rename there
  // keeps it), beside the target otherwise.
  const bool sameDrive =
      Target.size() > 2 && folder_.size() > 2 && Target[1] == ':' &&
      std::toupper(static_cast<unsigned char>(Target[0])) == std::toupper(static_cast<unsigned char>(folder_[0]));
  std::string kept = sameDrive ? Concat({folder_, "\\", DecimalText(records_ + 1), kUndoSuffix})
                               : Concat({Target, ".run", DecimalText(records_ + 1), kUndoSuffix});
  std::vector<std::string_view> strings{Target, kept};
  strings.insert(strings.end(), Sides.begin(), Sides.end());
  return Append(kContainer, strings.data(), strings.size()) ? kept : std::string();
}

bool TRunJournal::RemoveFile(const std::string& Path) {
  files_.erase(Key(Path));
  // Moved aside, the file is deleted; a new one may come in its place.
  return FileRecord(Path) && (!platform::FileExists(Path) || platform::DeleteFile(Path));
}

bool TRunJournal::RemoveFolder(const std::string& Path) {
  std::string bare = Path.size() > 3 && Path.back() == '\\' ? Path.substr(0, Path.size() - 1) : Path;
  if (Below(folder_, bare)) {
    platform::SetLastError(platform::kErrorAccessDenied);
    return false;
  }
  std::string stash = StashName();
  if (!Append(kTreeMoved, {bare, stash})) return false;
  if (!platform::MoveFile(bare, stash, false)) return false;
  // What the run wrote in it before is in the stash now; writes after it start afresh.
  for (auto it = files_.begin(); it != files_.end();) it = Below(*it, bare) ? files_.erase(it) : std::next(it);
  for (auto it = dirs_.begin(); it != dirs_.end();) it = Below(*it, bare) ? dirs_.erase(it) : std::next(it);
  for (auto it = present_.begin(); it != present_.end();) it = Below(*it, bare) ? present_.erase(it) : std::next(it);
  return true;
}

bool TRunJournal::BeforeRename(const std::string& From, const std::string& To) {
  // A rename never replaces a file, so undoing it is renaming back.
  files_.erase(Key(To));
  return Append(kRenamed, {From, To});
}

bool TRunJournal::BeforeValue(const std::string& KeyPath, const std::string& Name) {
  if (!registry_) return true;
  platform::Registry& reg = *registry_;
  const uint32_t root = static_cast<uint32_t>(reg.Root());
  std::string path = KeyPath;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  const std::string rootKey = DecimalText(root) + "\\";
  // Inside a key the run made: deleting that key takes the value with it.
  for (std::string at = path;; at = at.substr(0, at.find_last_of('\\'))) {
    if (keys_.count(Key(rootKey + at))) return true;
    if (at.find('\\') == std::string::npos) break;
  }
  // The outermost key that is missing is made by the run.
  for (size_t end = 0; end != std::string::npos;) {
    end = path.find('\\', end + 1);
    std::string prefix = path.substr(0, end);
    if (!reg.KeyExists(prefix)) {
      if (!Append(kKeyCreated, {prefix}, {root})) return false;
      keys_.insert(Key(rootKey + prefix));
      return true;
    }
  }
  uint32_t type = 0;
  std::string data;
  bool existed = false;
  if (reg.OpenKey(path, false)) {
    existed = reg.ReadRaw(Name, type, data);
    reg.CloseKey();
  }
  reg.SetRoot(static_cast<int>(root));
  return Append(kValue, {path, Name, data}, {root, existed ? 1u : 0u, type});
}

void TRunJournal::NoteStarted(const std::string& Program) { Append(kStarted, {Program}); }

bool TRunJournal::Commit(std::string& Problem) {
  file_.Close();
  const std::string journal = Concat({folder_, "\\", kFileName});
  bool damaged = false;
  std::string readProblem;
  std::vector<TRecord> records = ReadRecords(journal, damaged, readProblem);
  // Deleting the journal makes the run final; until then a crash rolls it back.
  if (!platform::DeleteFile(journal) && platform::FileExists(journal)) {
    Problem = Concat({journal, " could not be deleted: ", Reason()});
    return false;
  }
  // Then the old files and the kept undo journals go, each tried twice (a
  // virus scanner may hold one a moment); one that stays is named, the run is
  // final all the same, and the next run's start clears the folder.
  Problem.clear();
  auto twice = [](TFunctionRef<bool()> Step) { return Step() || Step(); };
  for (const TRecord& r : records) {
    const std::string& path = r.S.size() > 1 ? r.S[1] : r.S[0];
    bool ok = true;
    if (r.Kind == kFileMoved || r.Kind == kContainer) {
      ok = twice([&] { return platform::DeleteFile(path) || !platform::FileExists(path); });
    } else if (r.Kind == kTreeMoved) {
      ok = twice([&] { return RemoveTree(path) || !platform::DirectoryExists(path); });
    }
    if (!ok && Problem.empty()) Problem = Concat({path, " could not be deleted: ", Reason()});
  }
  if (!twice([&] { return platform::RemoveDirectory(folder_) || !platform::DirectoryExists(folder_); }) &&
      Problem.empty()) {
    Problem = Concat({folder_, " could not be removed: ", Reason()});
  }
  return true;
}

TRollBackReport TRunJournal::RollBack(TFunctionRef<void(uint32_t, uint32_t)> Progress) {
  file_.Close();
  return RollBackFolder(folder_, registry_, Progress);
}

TRollBackReport TRunJournal::RollBackFolder(const std::string& Folder, platform::Registry* Registry,
                                            TFunctionRef<void(uint32_t, uint32_t)> Progress) {
  // Without its journal the folder is what a finished run could not clear
  // (the old files it replaced), or one a run was ended in while making it:
  // nothing to undo, and it goes.
  if (!platform::FileExists(Concat({Folder, "\\", kFileName})) &&
      platform::GetFileAttributes(Concat({Folder, "\\", kFileName})) == platform::kInvalidAttributes) {
    TRollBackReport report;
    report.Leftover = true;
    if (!RemoveTree(Folder)) report.Problems.push_back(Concat({Folder, " could not be removed: ", Reason()}));
    return report;
  }
  bool damaged = false;
  std::string problem;
  std::vector<TRecord> records = ReadRecords(Concat({Folder, "\\", kFileName}), damaged, problem);
  TRollBackReport report = Undo(records, Folder, Registry, Progress);
  if (damaged) {
    report.Damaged = true;
    report.Problems.insert(report.Problems.begin(), problem);
  }
  return report;
}
