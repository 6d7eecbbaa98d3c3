#include "cli/VfsCli.h"

#include <ostream>

#include "cli/Verbs.h"
#include "common/FileUtils.h"
#include "common/Strings.h"
#include "gamedata/VFS_Check.h"
#include "gamedata/VFS_Unit.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// One call of the tool: the verb's arguments, the container first.
struct TVfsCall {
  std::vector<std::string> Args;
  std::ostream& Out;
  std::ostream& Err;
};

std::string FlagsText(uint32_t flags) {
  std::string s;
  s += (flags & vfDirectory) ? 'd' : '-';
  s += (flags & vfFile) ? 'f' : '-';
  s += (flags & vfCompressed) ? 'z' : '-';
  return s;
}

int New(TVfsCall& c) {
  const std::vector<std::string>& a = c.Args;
  int32_t blockSize = 0, blocks = 0, roots = 0;
  std::string signature = "VFS1";
  for (size_t i = 1; i + 1 < a.size(); i += 2) {
    int32_t v = IntOrMinusOne(a[i + 1]);
    if (a[i] == "--block-size") {
      blockSize = v;
    } else if (a[i] == "--blocks") {
      blocks = v;
    } else if (a[i] == "--roots") {
      roots = v;
    } else if (a[i] == "--signature") {
      signature = a[i + 1];
    } else {
      c.Err << "wizpak vfs new: unknown option " << a[i] << "\n";
      return kUsage;
    }
  }
  if (blockSize <= 0 || blocks <= 0 || roots <= 0) {
    c.Err << "wizpak vfs new: --block-size, --blocks and --roots take positive numbers\n";
    return kUsage;
  }
  CreateEmptyContainer(a[0], blockSize, blocks, static_cast<uint32_t>(roots), signature);
  c.Out << a[0] << ": " << blocks << " blocks of " << blockSize << " bytes, " << roots << " root slots\n";
  return kOk;
}

int Check(TVfsCall& c) {
  const std::string& file = c.Args[0];
  bool restored = false;
  std::string problem = CheckVFSContainer(file, &restored);
  if (restored) c.Out << file << ": put back as it was before an interrupted update (" << file << kUndoSuffix << ")\n";
  if (!problem.empty()) {
    c.Err << "wizpak vfs: " << file << ": " << problem << "\n";
    return kFailed;
  }
  c.Out << file << ": ok\n";
  return kOk;
}

int List(TVfsCall& c) {
  TVFSFile vfs;
  vfs.Open(c.Args[0], true);
  std::string prefix = c.Args.size() > 1 ? LowerAscii(c.Args[1]) : "";
  for (const TTreeFileInfo& n : vfs.Tree.Nodes) {
    if (n.Index == 0xFFFFFFFF || LowerAscii(n.Path).rfind(prefix, 0) != 0) continue;
    const TVFSEntry& e = *n.Entry;
    c.Out << FlagsText(e.Flags) << " " << e.Size << " " << e.OrigSize << " " << e.FirstBlock << " " << n.Path << "\n";
  }
  return kOk;
}

int Cat(TVfsCall& c) {
  TVFSFile vfs;
  vfs.Open(c.Args[0], true);
  int32_t node = vfs.Tree.FindByPath(c.Args[1]);
  if (node < 0 || !(vfs.Tree.Nodes[static_cast<size_t>(node)].Entry->Flags & vfFile)) {
    c.Err << "wizpak vfs: " << c.Args[0] << ": no file " << c.Args[1] << "\n";
    return kFailed;
  }
  const TVFSEntry& entry = *vfs.Tree.Nodes[static_cast<size_t>(node)].Entry;
  std::optional<TBytes> stored = vfs.ReadEntryData(entry);
  TBytes data = stored ? UnpackStoredData(entry, *stored) : TBytes();
  c.Out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return kOk;
}

int Add(TVfsCall& c) {
  const std::vector<std::string>& a = c.Args;
  // An addition goes only into a sound container: one with a damaged tree or
  // chains would lose another file's data.
  std::string problem = CheckVFSContainer(a[0]);
  if (!problem.empty()) {
    c.Err << "wizpak vfs add: " << a[0] << " is damaged (" << problem << "); nothing was written\n";
    return kFailed;
  }
  TVFSFile vfs;
  vfs.Open(a[0], true);
  TBytes data = LoadWholeFile(a[2]);
  vfs.Tree.AddFile(a[1], data.data(), static_cast<uint32_t>(data.size()));
  vfs.Save(false);
  c.Out << a[0] << ": " << a[1] << " added (" << data.size() << " bytes)\n";
  return kOk;
}

const TVerb<TVfsCall> kVerbs[] = {
    {"new", 1, kAnyCount,
     "  new FILE --block-size B --blocks N --roots R [--signature XXXX]\n"
     "                      write an empty container\n",
     New},
    {"ls", 1, 2, "  ls FILE [PATH]      the tree: flags, stored and original size, first block, path\n", List},
    {"cat", 2, 2, "  cat FILE PATH       a file's original bytes to standard output\n", Cat},
    {"add", 3, 3, "  add FILE PATH SRC   add or replace PATH with the bytes of SRC, then save\n", Add},
    {"check", 1, 1,
     "  check FILE          digest, chains, used blocks and side file; exit 1 names\n"
     "                      the first problem\n",
     Check},
};

std::string Help() { return VerbUsage("wizpak vfs", kVerbs, ""); }

}  // namespace

int RunVfsCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  if (Args.empty() || Args[0] == "--help" || Args[0] == "-h") {
    (Args.empty() ? Err : Out) << Help();
    return Args.empty() ? kUsage : kOk;
  }
  const std::string& verb = Args[0];
  TVfsCall call{{Args.begin() + 1, Args.end()}, Out, Err};
  for (const std::string& x : call.Args) {
    if (x == "--help") {
      Out << Help();
      return kOk;
    }
  }
  const TVerb<TVfsCall>* v = FindVerb(kVerbs, verb);
  if (!v) {
    Err << "wizpak vfs: unknown command '" << verb << "'\n\n" << Help();
    return kUsage;
  }
  if (!CountFits(*v, call.Args.size())) {
    Err << Help();
    return kUsage;
  }
  // Every command but "new" opens its container first: a folder there is
  // named as such rather than reported as a permission problem.
  if (v->Run != New && platform::DirectoryExists(call.Args[0])) {
    Err << "wizpak vfs: " << call.Args[0] << ": it is a folder, not a container file\n";
    return kFailed;
  }
  try {
    return v->Run(call);
  } catch (const ESetupError& e) {
    Err << "wizpak vfs " << verb << ": " << e.what() << "\n";
    return kFailed;
  }
}
