#include "package/ZUI_CompilerThread.h"

#include "common/FileUtils.h"
#include "common/Strings.h"
#include "package/ZUI_CommandList.h"

namespace {

constexpr char kLabelNotFound[] = "Label not found - ";
constexpr char kReplacing[] = "Replacing Previous Instance of ";
constexpr char kAdding[] = "Adding To List ";
constexpr char kCurrentCount[] = " Current Count: ";
constexpr char kDefaultUninstallExe[] = "Uninstall.exe";

std::string Backslashes(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace

TCompilerFileList::TCompilerFileList(TCompiler& Owner) : owner_(Owner) { Clear(); }

TCompilerFileList::~TCompilerFileList() = default;

void TCompilerFileList::Clear() {
  Groups.assign(1, TGroup{});
  GroupCounter = 0;
  FileCount = 0;
}

void TCompilerFileList::EnsureGroup(uint16_t Index, const std::string& Name) {
  if (Groups.size() > Index) return;
  Groups.resize(static_cast<size_t>(Index) + 1);
  Groups[Index].Name = LowerText(Name);
}

void TCompilerFileList::AddPath(const std::string& Path, uint16_t Group, bool Absolute, const std::string& GroupName,
                                int32_t Row) {
  EnsureGroup(Group, GroupName);
  std::string full = Backslashes(Absolute || owner_.SourceDir.empty() ? Path : owner_.FromSourceDir(Path));
  if (platform::FileExists(full)) {
    size_t slash = full.find_last_of("\\:");
    AddFile(full, slash == std::string::npos ? full : full.substr(slash + 1), Group, Row);
    return;
  }
  if (!platform::DirectoryExists(full)) return;
  // The pattern is appended to the folder directly, so it must end in "\".
  if (full.back() != '\\') full += '\\';
  std::string pages = owner_.SetupInfo.Info.InstallPages;
  if (pages.empty() || (pages.back() != '\\' && pages.back() != '/')) pages += '\\';
  const std::string skippedIcon = LowerText(Backslashes(owner_.FindData(Concat({"layout\\", pages, "icon.ico"}))));

  std::vector<std::string> work{full};
  for (size_t next = 0; next < work.size(); ++next) {
    const std::string folder = work[next];
    std::vector<platform::DirEntry> entries;
    if (!platform::ListDirectory(folder, entries)) continue;
    SortByName(entries);
    for (const platform::DirEntry& e : entries) {
      std::string file = folder + e.Name;
      if (e.IsDirectory() && !(e.Attributes & platform::kAttributeReparsePoint)) {
        work.push_back(file + "\\");
        continue;
      }
      if (platform::DirectoryExists(file)) {
        // A link to a folder is not followed (it may lead back up the tree).
        owner_.Error(file + " is a link to a folder, which is not followed: nothing below it is packed", Row);
        continue;
      }
      // Listed, so it is there: a link to nothing stops the build.
      if (!platform::FileExists(file)) {
        owner_.Error(file + " is a link to nothing: it cannot be packed", Row);
        continue;
      }
      if (LowerText(file) == skippedIcon) continue;
      AddFile(file, file.substr(full.size()), Group, Row);
    }
  }
}

void TCompilerFileList::AddFile(const std::string& SourcePath, const std::string& EntryName, uint16_t Group,
                                int32_t Row) {
  // The lines that name a file report one that is missing themselves; one
  // that cannot be read stops the build here.
  if (!platform::FileExists(SourcePath)) return;
  {
    platform::File probe;
    if (!probe.Open(SourcePath, platform::kAccessRead, platform::kShareRead,
                    platform::FileDisposition::kOpenExisting)) {
      owner_.Error(Concat({SourcePath, " cannot be read: ", platform::DescribeError(platform::LastError())}), Row);
      return;
    }
  }
  owner_.Detail(kAdding + EntryName + kCurrentCount + DecimalText(FileCount));
  EnsureGroup(Group, "");
  const std::string& name = Groups[Group].Name;
  uint16_t target = Group;
  if (Group != 0 && !name.empty()) {
    for (size_t g = 1; g < Groups.size(); ++g) {
      if (g == Group || !SameTextAscii(Groups[g].Name, name)) continue;
      for (TFile& f : Groups[g].Files) {
        if (SameTextAscii(f.EntryName, EntryName)) {
          f.SourcePath = SourcePath;
          f.EntryName = EntryName;
          owner_.Message(kReplacing + EntryName);
          return;
        }
      }
    }
    for (size_t g = 1; g < Groups.size(); ++g) {
      if (g != Group && SameTextAscii(Groups[g].Name, name)) {
        target = static_cast<uint16_t>(g);
        break;
      }
    }
  }
  Groups[target].Files.push_back({SourcePath, EntryName, target, Row});
  ++FileCount;
}

TCompiler::TCompiler() : FileList(*this) { SetupInfo.Info.UninstallExeName = kDefaultUninstallExe; }

TCompiler::~TCompiler() = default;

TCompilerFileList& TCompiler::Files() { return FileList; }

void TCompiler::Error(const std::string& Text, int32_t Row) {
  LastError = {Text, Row};
  Errors.push_back(LastError);
}

void TCompiler::Message(const std::string& Text) const {
  if (OnMessage) OnMessage(Text);
}

void TCompiler::Detail(const std::string& Text) const {
  if (OnDetail) OnDetail(Text);
}

std::string TCompiler::FromSourceDir(const std::string& Path) const {
  return SourceDir.empty() ? Path : Concat({SourceDir, "\\", Path});
}

std::vector<std::string> TCompiler::DataSearch() const {
  std::vector<std::string> folders;
  if (!SourceDir.empty()) folders.push_back(SourceDir);
  for (const std::string& d : DataDirs) {
    if (!d.empty()) folders.push_back(d);
  }
  return folders;
}

std::string TCompiler::FindData(const std::string& Relative) const {
  for (const std::string& folder : DataSearch()) {
    std::string path = Concat({folder, "\\", Relative});
    if (platform::FileExists(path) || platform::DirectoryExists(path)) return path;
  }
  return {};
}

std::string TCompiler::DataSearchText() const {
  std::string text;
  for (const std::string& folder : DataSearch()) text += (text.empty() ? "" : ", ") + folder;
  return text;
}

std::string TCompiler::ResolveLabel(const std::string& Name, int32_t Row) {
  std::string result = Name;
  const std::string wanted = LowerText(Name);
  const auto& lines = Lines.Lines;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].Command == kLabelLine && !lines[i].Params.empty() && LowerText(lines[i].Params[0]) == wanted) {
      result = DecimalText(i);
    }
  }
  if (IntOrMinusOne(result) == -1 && result != "-1") Error(kLabelNotFound + Name, Row);
  return result;
}
