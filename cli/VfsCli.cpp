#include "cli/VfsCli.h"

#include <ostream>

#include "common/FileUtils.h"
#include "common/Strings.h"
#include "gamedata/VFS_Check.h"
#include "gamedata/VFS_Unit.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr char kHelp[] =
    "usage: wizpak vfs COMMAND ...\n"
    "\n"
    "  new FILE --block-size B --blocks N --roots R [--signature XXXX]\n"
    "                      write an empty container\n"
    "  ls FILE [PATH]      the tree: flags, stored and original size, first block, path\n"
    "  cat FILE PATH       a file's original bytes to standard output\n"
    "  add FILE PATH SRC   add or replace PATH with the bytes of SRC, then save\n"
    "  check FILE          digest, chains, used blocks and side file; exit 1 names\n"
    "                      the first problem\n";

std::string FlagsText(uint32_t flags) {
  std::string s;
  s += (flags & vfDirectory) ? 'd' : '-';
  s += (flags & vfFile) ? 'f' : '-';
  s += (flags & vfCompressed) ? 'z' : '-';
  return s;
}

}  // namespace

int RunVfsCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  if (Args.empty() || Args[0] == "--help" || Args[0] == "-h") {
    (Args.empty() ? Err : Out) << kHelp;
    return Args.empty() ? kUsage : kOk;
  }
  const std::string& verb = Args[0];
  std::vector<std::string> a(Args.begin() + 1, Args.end());
  for (const std::string& x : a) {
    if (x == "--help") {
      Out << kHelp;
      return kOk;
    }
  }
  // Every command but "new" opens its container first: a folder there is
  // named as such rather than reported as a permission problem.
  if (verb != "new" && !a.empty() && platform::DirectoryExists(a[0])) {
    Err << "wizpak vfs: " << a[0] << ": it is a folder, not a container file\n";
    return kFailed;
  }
  try {
    if (verb == "new") {
      if (a.empty()) {
        Err << kHelp;
        return kUsage;
      }
      int32_t blockSize = 0, blocks = 0, roots = 0;
      std::string signature = "VFS1";
      for (size_t i = 1; i + 1 < a.size(); i += 2) {
        int32_t v = IntOrMinusOne(a[i + 1]);
        if (a[i] == "--block-size") blockSize = v;
        else if (a[i] == "--blocks") blocks = v;
        else if (a[i] == "--roots") roots = v;
        else if (a[i] == "--signature") signature = a[i + 1];
        else {
          Err << "wizpak vfs new: unknown option " << a[i] << "\n";
          return kUsage;
        }
      }
      if (blockSize <= 0 || blocks <= 0 || roots <= 0) {
        Err << "wizpak vfs new: --block-size, --blocks and --roots take positive numbers\n";
        return kUsage;
      }
      CreateEmptyContainer(a[0], blockSize, blocks, static_cast<uint32_t>(roots), signature);
      Out << a[0] << ": " << blocks << " blocks of " << blockSize << " bytes, " << roots << " root slots\n";
      return kOk;
    }
    if (verb == "check") {
      if (a.size() != 1) {
        Err << kHelp;
        return kUsage;
      }
      bool restored = false;
      std::string problem = CheckVFSContainer(a[0], &restored);
      if (restored) Out << a[0] << ": put back as it was before an interrupted update (" << a[0] << kUndoSuffix << ")\n";
      if (!problem.empty()) {
        Err << "wizpak vfs: " << a[0] << ": " << problem << "\n";
        return kFailed;
      }
      Out << a[0] << ": ok\n";
      return kOk;
    }
    if (verb == "ls" || verb == "cat" || verb == "add") {
      size_t need = verb == "ls" ? 1 : verb == "cat" ? 2 : 3;
      if (a.size() < need || a.size() > (verb == "ls" ? 2 : need)) {
        Err << kHelp;
        return kUsage;
      }
      // An addition goes only into a sound container: one with a damaged
      // tree or chains would lose another file's data.
      if (verb == "add") {
        std::string problem = CheckVFSContainer(a[0]);
        if (!problem.empty()) {
          Err << "wizpak vfs add: " << a[0] << " is damaged (" << problem << "); nothing was written\n";
          return kFailed;
        }
      }
      TVFSFile vfs;
      vfs.Open(a[0], true);
      if (verb == "ls") {
        std::string prefix = a.size() > 1 ? LowerAscii(a[1]) : "";
        for (const TTreeFileInfo& n : vfs.Tree.Nodes) {
          if (n.Index == 0xFFFFFFFF || LowerAscii(n.Path).rfind(prefix, 0) != 0) continue;
          const TVFSEntry& e = *n.Entry;
          Out << FlagsText(e.Flags) << " " << e.Size << " " << e.OrigSize << " " << e.FirstBlock << " " << n.Path
              << "\n";
        }
        return kOk;
      }
      if (verb == "cat") {
        int32_t node = vfs.Tree.FindByPath(a[1]);
        if (node < 0 || !(vfs.Tree.Nodes[static_cast<size_t>(node)].Entry->Flags & vfFile)) {
          Err << "wizpak vfs: " << a[0] << ": no file " << a[1] << "\n";
          return kFailed;
        }
        const TVFSEntry& entry = *vfs.Tree.Nodes[static_cast<size_t>(node)].Entry;
        std::optional<TBytes> stored = vfs.ReadEntryData(entry);
        TBytes data = stored ? UnpackStoredData(entry, *stored) : TBytes();
        Out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return kOk;
      }
      TBytes data = LoadWholeFile(a[2]);
      vfs.Tree.AddFile(a[1], data.data(), static_cast<uint32_t>(data.size()));
      vfs.Save(false);
      Out << a[0] << ": " << a[1] << " added (" << data.size() << " bytes)\n";
      return kOk;
    }
  } catch (const ESetupError& e) {
    Err << "wizpak vfs " << verb << ": " << e.what() << "\n";
    return kFailed;
  }
  Err << "wizpak vfs: unknown command '" << verb << "'\n\n" << kHelp;
  return kUsage;
}
