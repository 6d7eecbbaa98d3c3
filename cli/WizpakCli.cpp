#include "cli/WizpakCli.h"

#include <cstdio>
#include <memory>
#include <new>
#include <ostream>

#include "builder/CompileDriver.h"
#include "builder/Packer.h"
#include "cli/ArchiveCli.h"
#include "cli/NewProject.h"
#include "cli/Verbs.h"
#include "cli/VfsCli.h"
#include "common/FileUtils.h"
#include "common/Prompt.h"
#include "common/Strings.h"
#include "package/ZUI_CompLines.h"
#include "package/ZUI_PakFile.h"
#include "package/ZUI_SetupInfo.h"
#include "script/ZUI_Commands.h"
#include "ui/FormDebug.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsageHead[] =
    "usage: wizpak COMMAND [ARGS]\n"
    "\n"
    "Commands:\n";
constexpr char kUsageNotes[] =
    "\n"
    "PKG is a package file or a setup executable carrying one.\n"
    "'wizpak COMMAND --help' tells more about a command.\n";

// One call of a command: its arguments after the command's name and the two
// streams.
struct TCliCall {
  std::vector<std::string> Args;
  std::ostream& Out;
  std::ostream& Err;
};

constexpr char kListHelp[] =
    "usage: wizpak list PKG\n"
    "\n"
    "Prints the trailer fields and one line per entry: index, group, original\n"
    "size, stored size (0 = stored raw), offset, CRC-32 and name.\n";

constexpr char kVerifyHelp[] =
    "usage: wizpak verify PKG\n"
    "\n"
    "Checks every entry the way a setup checks itself at start-up: stored\n"
    "length, CRC-32, inflation and inflated length (entries of 70 MiB or more\n"
    "are not checked). Exit status 0 when all pass, 1 naming the first entry\n"
    "that fails.\n";

constexpr char kExtractHelp[] =
    "usage: wizpak extract PKG DIR [--group N]\n"
    "\n"
    "Writes the entries of group N into DIR, creating folders as needed. Without\n"
    "--group every group G goes into DIR/groupG. The entries are verified first;\n"
    "nothing is written when one fails. Entries whose names would leave DIR are\n"
    "refused.\n";

constexpr char kPackHelp[] =
    "usage: wizpak pack OUT [--stub EXE] [--level N] [--group N] [--cache DIR | --no-cache] PATH...\n"
    "\n"
    "Packs files and folders into entries of group N (default 1). A file becomes\n"
    "an entry named after it; a folder adds every file below it, named by its\n"
    "path inside the folder. With --stub the package is appended to a copy of\n"
    "EXE, otherwise OUT is a package file of its own. --group may be given again\n"
    "before later paths. --level N (1 to 12, default 9) is the compression level;\n"
    "12 makes the smallest package, at about three times the time of 9. OUT is\n"
    "replaced only when packing succeeds. The compression cache is used as by\n"
    "wizpak build (see wizpak build --help).\n";

constexpr char kBuildHelp[] =
    "usage: wizpak build SCRIPT [-o OUT] [--stub EXE | --package-only] [--data DIR] [--threads N] [--level N]\n"
    "                   [--cache DIR | --no-cache] [--cache-limit MB]\n"
    "                   [--sign-cert CERT --sign-key KEY | --sign-pkcs12 P12] [--sign-...] [-v]\n"
    "\n"
    "Compiles SCRIPT and writes the setup: the Windows stub with the package\n"
    "appended (\"SetupInfo\", \"CompiledLines\", page sets, languages and every\n"
    "file group). OUT defaults to the script's \"outfile\", next to the script.\n"
    "  --stub EXE       the stub to append to (default: wizpak-stub.exe of this build)\n"
    "  --package-only   write a bare package file, no stub\n"
    "  --data DIR       a data folder with languages/ and layout/ (default: the\n"
    "                   data folder next to this program); give it again for\n"
    "                   more, searched in order. A page-set file (layout/SET/FILE)\n"
    "                   or language file (languages/SET/NAME.wri) in the script's\n"
    "                   own folder is taken first\n"
    "  --threads N      compress on N threads (default: one per processor); the\n"
    "                   package is the same for every N\n"
    "  --level N        the compression level, 1 (fastest) to 12 (smallest);\n"
    "                   default 9\n"
    "  -v               name every file as it is packed\n"
    "  --cache DIR      keep the compressed form of every entry in DIR and take\n"
    "                   it from there when the same data is packed again, so a\n"
    "                   rebuild compresses only what changed; the output is the\n"
    "                   same byte for byte (default: ~/.cache/wizpak, on Windows\n"
    "                   the local application data's wizpak\\cache)\n"
    "  --cache-limit MB the most the cache keeps, oldest packs out first\n"
    "                   (default 2048)\n"
    "  --no-cache       compress everything, keep nothing\n"
    "Signing (Authenticode, with osslsigncode), the whole setup, package included:\n"
    "  --sign-cert CERT.pem --sign-key KEY.pem   or   --sign-pkcs12 FILE.p12\n"
    "  --sign-pass-file FILE   the key's password (never on the command line)\n"
    "  --sign-timestamp URL    a time-stamping server\n"
    "  --sign-name TEXT        --sign-url URL   what the signature shows\n"
    "A signing failure fails the build, and nothing is written.\n"
    "Errors are reported as FILE:LINE: message, and nothing is written then.\n";

constexpr char kNewHelp[] =
    "usage: wizpak new DIR [--name NAME] [--data DIR]\n"
    "\n"
    "Writes a project to start from into DIR (new, or empty): setup.wps, a\n"
    "files/ folder with a read-me to install, a copy of the data folder's\n"
    "\"install\" page set in layout/install/ and the English language files in\n"
    "languages/. It builds and installs as it is: wizpak build DIR/setup.wps.\n"
    "  --name NAME      the game's name (default: DIR's own name)\n"
    "  --data DIR       the data folder to copy from (default: the one next to\n"
    "                   this program)\n";

constexpr char kDumpHelp[] =
    "usage: wizpak dump PKG\n"
    "\n"
    "Prints the \"SetupInfo\" fields and every compiled line (row, command number,\n"
    "keyword, arguments) of a setup, then its product values (\"version\",\n"
    "\"publisher\", \"url\": what its Uninstall key gets), so a built setup can be\n"
    "read back.\n";

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

// The signing setting an option of "build" fills, or null.
std::string TSigning::*SigningOption(const std::string& Option) {
  static const struct {
    const char* Name;
    std::string TSigning::*Field;
  } kOptions[] = {{"--sign-cert", &TSigning::Cert},
                  {"--sign-key", &TSigning::Key},
                  {"--sign-pkcs12", &TSigning::Pkcs12},
                  {"--sign-pass-file", &TSigning::PassFile},
                  {"--sign-timestamp", &TSigning::Timestamp},
                  {"--sign-name", &TSigning::Name},
                  {"--sign-url", &TSigning::Url}};
  for (const auto& o : kOptions) {
    if (Option == o.Name) return o.Field;
  }
  return nullptr;
}

// A compression level, 1 to 12.
bool ParseLevel(const std::string& Text, int& Level) {
  int32_t n = IntOrMinusOne(Text);
  if (n < kMinLevel || n > kMaxLevel) return false;
  Level = n;
  return true;
}

bool ParseGroup(const std::string& text, uint16_t& group) {
  int32_t n = IntOrMinusOne(text);
  if (n < 0 || n > 0xFFFF) return false;
  group = static_cast<uint16_t>(n);
  return true;
}

// Opens a package for reading; false with the reason on Err.
bool OpenPackage(TPak& pak, const std::string& path, std::ostream& err) {
  if (!pak.IsOpen()) {
    err << "wizpak: cannot open " << path << ": " << DescribeFileError(path, pak.OpenError()) << "\n";
    return false;
  }
  if (!pak.Trailer.HasMagic()) {
    err << "wizpak: " << path
        << ": no package found (the last 16 bytes do not start with \"ZUPF\", and no signature's certificate table "
           "ends the file behind a package)\n";
    return false;
  }
  if (pak.Entries.empty() && pak.Trailer.Count > 0) {
    err << "wizpak: " << path << ": the directory of " << pak.Trailer.Count << " entries at offset "
        << pak.Trailer.DirectoryOffset << " does not fit the file\n";
    return false;
  }
  return true;
}

// Makes the folders an entry name needs below Target, for any kind of path
// (extraction itself only creates folders below a drive root).
void CreateEntryFolders(const std::string& target, const std::string& name) {
  size_t pos = 0;
  while ((pos = name.find_first_of("\\/", pos)) != std::string::npos) {
    platform::CreateDirectory(target + "\\" + name.substr(0, pos));
    ++pos;
  }
}

int List(TCliCall& c) {
  const std::vector<std::string>& args = c.Args;
  std::ostream &out = c.Out, &err = c.Err;
  TPak pak(args[0], false, false);
  if (!OpenPackage(pak, args[0], err)) return kExitFailed;
  out << PackageListing(pak, args[0]);
  return kExitOk;
}

// The start-up check of every entry. Entries of original size 0 have no data
// and are passed over, as start-up does. HasDigest, when given, tells whether
// the package carries a directory digest (which then matched).
bool VerifyAll(TPak& pak, const std::string& path, std::ostream& err, int group = -1, bool* HasDigest = nullptr) {
  for (uint32_t i = 0; i < pak.Entries.size(); ++i) {
    const TPakFile& e = pak.Entries[i];
    if (group >= 0 && e.Group != group) continue;
    if (e.OrigSize == 0) continue;
    if (!pak.VerifyEntry(i)) {
      err << "wizpak: " << path << ": entry " << i << " (" << e.Name << ") failed verification\n";
      return false;
    }
  }
  uint32_t digest = 0;
  const TDigestCheck check = pak.CheckDirectoryDigest(digest);
  if (check == TDigestCheck::kDiffers) {
    err << "wizpak: " << path << ": the directory or trailer do not match the directory digest (entry " << digest
        << ", " << pak.Entries[digest].Name << "): a name, group or count was changed\n";
    return false;
  }
  if (HasDigest) *HasDigest = check == TDigestCheck::kMatches;
  return true;
}

int Verify(TCliCall& c) {
  const std::vector<std::string>& args = c.Args;
  std::ostream &out = c.Out, &err = c.Err;
  TPak pak(args[0], false, false);
  if (!OpenPackage(pak, args[0], err)) return kExitFailed;
  bool hasDigest = false;
  if (!VerifyAll(pak, args[0], err, -1, &hasDigest)) return kExitFailed;
  out << args[0] << ": " << pak.Entries.size() << " entries verified"
      << (hasDigest ? ", directory digest matches" : " (no directory digest)") << "\n";
  return kExitOk;
}

int Extract(TCliCall& c) {
  const std::vector<std::string>& args = c.Args;
  std::ostream &out = c.Out, &err = c.Err;
  std::vector<std::string> positional;
  int group = -1;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--group") {
      uint16_t g;
      if (i + 1 >= args.size() || !ParseGroup(args[i + 1], g)) {
        err << "wizpak extract: --group takes a number from 0 to 65535\n";
        return kExitUsage;
      }
      group = g;
      ++i;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) {
    err << kExtractHelp;
    return kExitUsage;
  }
  const std::string& path = positional[0];
  const std::string& dir = positional[1];
  TPak pak(path, false, false);
  if (!OpenPackage(pak, path, err)) return kExitFailed;
  if (!VerifyAll(pak, path, err, group)) {
    err << "wizpak: nothing extracted\n";
    return kExitFailed;
  }
  std::vector<uint16_t> groups;
  if (group >= 0) {
    groups.push_back(static_cast<uint16_t>(group));
  } else {
    for (const TPakFile& e : pak.Entries) {
      bool known = false;
      for (uint16_t g : groups) known = known || g == e.Group;
      if (!known) groups.push_back(e.Group);
    }
  }
  for (uint16_t g : groups) {
    for (const TPakFile& e : pak.Entries) {
      if (e.Group != g) continue;
      if (std::string why = UnsafeNameReason(e.Name); !why.empty()) {
        err << "wizpak: " << path << ": refused entry \"" << e.Name << "\" of group " << g << ": its name " << why
            << "\n";
      }
    }
  }
  uint32_t refused = 0, failed = 0;
  uint32_t written = 0;
  // A link inside the target folder never leads a write out of it.
  platform::WriteConfinement confine(dir);
  for (uint16_t g : groups) {
    std::string target = group >= 0 ? dir : dir + "/group" + std::to_string(g);
    platform::CreateDirectory(dir);
    platform::CreateDirectory(target);
    if (!platform::DirectoryExists(target)) {
      err << "wizpak: cannot create " << target << ": " << platform::DescribeError(platform::LastError()) << "\n";
      return kExitFailed;
    }
    for (const TPakFile& e : pak.Entries) {
      if (e.Group == g && IsSafeRelativeName(e.Name)) CreateEntryFolders(target, e.Name);
    }
    TExtractSink sink;
    sink.OnWriteFailed = [&](const std::string& Target, const std::string& Reason) {
      err << "wizpak: " << path << ": could not write " << Target << ": " << Reason << "\n";
      ++failed;
    };
    refused += pak.ExtractGroup(target, g, sink);
    written += pak.CountInGroup(g);
  }
  written -= refused + failed;
  out << path << ": " << written << " entries extracted into " << dir;
  if (failed) out << ", " << failed << " could not be written";
  out << "\n";
  return refused || failed ? kExitFailed : kExitOk;
}

// "--no-cache" until the default is applied.
constexpr char kNoCache[] = "\n";

// The cache folder the options leave: the one given, none for "--no-cache",
// else the user's own.
std::string CacheFolder(const std::string& Given) {
  if (Given == kNoCache) return {};
  return Given.empty() ? platform::UserCacheFolder() : Given;
}

int Pack(TCliCall& c) {
  const std::vector<std::string>& args = c.Args;
  std::ostream &out = c.Out, &err = c.Err;
  std::string output, stub, cacheDir;
  uint16_t group = 1;
  int level = kDefaultLevel;
  std::vector<TPackInput> inputs;
  size_t paths = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--stub") {
      if (i + 1 >= args.size()) {
        err << "wizpak pack: --stub needs a file\n";
        return kExitUsage;
      }
      stub = args[++i];
    } else if (args[i] == "--cache") {
      if (i + 1 >= args.size()) {
        err << "wizpak pack: --cache needs a folder\n";
        return kExitUsage;
      }
      cacheDir = args[++i];
    } else if (args[i] == "--no-cache") {
      cacheDir = kNoCache;
    } else if (args[i] == "--level") {
      if (i + 1 >= args.size() || !ParseLevel(args[i + 1], level)) {
        err << "wizpak pack: --level takes a number from 1 to 12\n";
        return kExitUsage;
      }
      ++i;
    } else if (args[i] == "--group") {
      if (i + 1 >= args.size() || !ParseGroup(args[i + 1], group)) {
        err << "wizpak pack: --group takes a number from 0 to 65535\n";
        return kExitUsage;
      }
      ++i;
    } else if (output.empty()) {
      output = args[i];
    } else {
      std::string error;
      if (!CollectPackInputs(args[i], group, inputs, error)) {
        err << "wizpak pack: " << error << "\n";
        return kExitFailed;
      }
      ++paths;
    }
  }
  if (output.empty() || paths == 0) {
    err << kPackHelp;
    return kExitUsage;
  }
  if (!stub.empty() && !platform::FileExists(stub)) {
    err << "wizpak pack: stub " << stub << ": no such file\n";
    return kExitFailed;
  }
  std::string error;
  TPackStats stats;
  uint64_t nextReport = 64ull << 20;
  auto progress = [&](const TPackStats& s, const TPackInput&) {
    if (s.BytesIn >= nextReport) {
      err << "packed " << s.Files << " files, " << FormatSize(s.BytesIn) << " in, " << FormatSize(s.BytesOut)
          << " out\n";
      nextReport = s.BytesIn + (64ull << 20);
    }
  };
  std::unique_ptr<TPackCache> cache;
  if (std::string folder = CacheFolder(cacheDir); !folder.empty()) {
    cache = std::make_unique<TPackCache>(folder, level);
    std::string why;
    if (!cache->Open(why)) {
      err << "wizpak pack: warning: " << why << "; packing without the cache\n";
      cache.reset();
    }
  }
  const bool packed = WritePackage({output, stub, 0, level, progress, cache.get()}, inputs, stats, error);
  if (cache) cache->Close();
  if (!packed) {
    err << "wizpak pack: " << error << "\n";
    return kExitFailed;
  }
  out << output << ": " << stats.Files << " entries, " << stats.BytesIn << " bytes in, " << stats.BytesOut
      << " bytes stored\n";
  return kExitOk;
}

// A file next to this program, or where the build tree keeps it.
std::string Beside(const std::vector<std::string>& candidates) {
  std::string dir = FolderOf(platform::ExecutablePath());
  for (const std::string& c : candidates) {
    std::string path = dir + "/" + c;
    if (platform::FileExists(path) || platform::DirectoryExists(path)) return path;
  }
  return {};
}

// The options of "build" from its arguments. False with the reason in Why,
// and Unknown set for an option it does not know (said without the usage).
bool ParseBuildArgs(const std::vector<std::string>& args, TBuildOptions& options, std::string& why, bool& unknown) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        why = a + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    bool ok = true;
    if (a == "-o") {
      ok = value(options.Output);
    } else if (a == "--stub") {
      ok = value(options.Stub);
    } else if (a == "--data") {
      ok = value(options.DataDirs.emplace_back());
    } else if (a == "--package-only") {
      options.PackageOnly = true;
    } else if (a == "--cache") {
      ok = value(options.CacheDir);
    } else if (a == "--no-cache") {
      options.CacheDir = kNoCache;
    } else if (a == "--cache-limit") {
      std::string n;
      ok = value(n);
      if (ok && IntOrMinusOne(n) <= 0) {
        why = "--cache-limit takes a number of megabytes, 1 or more, not \"" + n + "\"";
        ok = false;
      }
      if (ok) options.CacheLimit = static_cast<uint64_t>(IntOrMinusOne(n)) << 20;
    } else if (a == "--threads") {
      std::string n;
      ok = value(n);
      if (ok && IntOrMinusOne(n) <= 0) {
        why = "--threads takes a whole number of 1 or more, not \"" + n + "\"";
        ok = false;
      }
      if (ok) options.Threads = static_cast<uint32_t>(IntOrMinusOne(n));
    } else if (a == "--level") {
      std::string n;
      ok = value(n);
      if (ok && !ParseLevel(n, options.Level)) {
        why = "--level takes a number from 1 to 12, not \"" + n + "\"";
        ok = false;
      }
    } else if (std::string TSigning::*field = SigningOption(a)) {
      ok = value(options.Sign.*field);
    } else if (a == "-v") {
      options.Verbose = true;
    } else if (!a.empty() && a[0] == '-') {
      why = "unknown option " + a;
      unknown = true;
      ok = false;
    } else if (options.Script.empty()) {
      options.Script = a;
    } else {
      why = "one script only, but " + a + " follows " + options.Script;
      ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

// What is wrong with the options taken together; empty when nothing is.
std::string BuildOptionsFault(const TBuildOptions& options) {
  const TSigning& sign = options.Sign;
  if (!sign.Pkcs12.empty() && (!sign.Cert.empty() || !sign.Key.empty())) {
    return "--sign-pkcs12 excludes --sign-cert and --sign-key";
  }
  if (sign.Pkcs12.empty() && sign.Cert.empty() != sign.Key.empty()) return "--sign-cert and --sign-key go together";
  if (!sign.Wanted() &&
      (!sign.PassFile.empty() || !sign.Timestamp.empty() || !sign.Name.empty() || !sign.Url.empty())) {
    return "--sign-pass-file, --sign-timestamp, --sign-name and --sign-url need a certificate to sign with";
  }
  if (sign.Wanted() && options.PackageOnly) return "a bare package (--package-only) cannot be signed: sign a setup";
  if (options.PackageOnly && !options.Stub.empty()) return "--stub and --package-only exclude each other";
  if (options.Script.empty()) return "no script given";
  return {};
}

// The data folder, the stub and the finaliser this program brings, where the
// options name none. False with the message on Err.
bool FindBuildFiles(TBuildOptions& options, std::ostream& err) {
  if (options.DataDirs.empty()) {
    std::string data = Beside({"data", "../../../data"});
    if (!data.empty()) options.DataDirs.push_back(data);
  }
  if (options.DataDirs.empty()) {
    err << "wizpak build: no data folder next to this program; give --data DIR\n";
    return false;
  }
  if (!options.PackageOnly && options.Stub.empty()) {
    options.Stub = Beside({"wizpak-stub.exe", "../../win32/bin/wizpak-stub.exe"});
    if (options.Stub.empty()) {
      err << "wizpak build: no wizpak-stub.exe next to this program; give --stub EXE or --package-only\n";
      return false;
    }
  }
  if (!options.Stub.empty() && !platform::FileExists(options.Stub)) {
    err << "wizpak build: stub " << options.Stub << ": no such file\n";
    return false;
  }
  options.DefaultFinaliser = Beside({"finalise.exe", "../../win32/bin/finalise.exe"});
  return true;
}

int Build(TCliCall& c) {
  TBuildOptions options;
  // A usage fault names itself before the usage text.
  std::string why;
  bool unknown = false;
  if (!ParseBuildArgs(c.Args, options, why, unknown)) {
    c.Err << "wizpak build: " << why << "\n";
    if (!unknown) c.Err << "\n" << kBuildHelp;
    return kExitUsage;
  }
  if (why = BuildOptionsFault(options); !why.empty()) {
    c.Err << "wizpak build: " << why << "\n\n" << kBuildHelp;
    return kExitUsage;
  }
  if (!FindBuildFiles(options, c.Err)) return kExitFailed;
  options.CacheDir = CacheFolder(options.CacheDir);
  std::vector<std::string> errors;
  std::string output;
  TPackStats stats;
  bool ok = BuildSetup(options, errors, output, stats, [&c](const std::string& line) { c.Err << line << "\n"; });
  for (const std::string& e : errors) c.Err << e << "\n";
  if (!ok) {
    c.Err << "wizpak build: " << errors.size() << (errors.size() == 1 ? " error" : " errors") << ", nothing written\n";
    return kExitFailed;
  }
  c.Out << output << ": " << stats.Files << " entries (" << stats.ScriptFiles << " files of the script), "
        << stats.BytesIn << " bytes in, " << stats.BytesOut << " bytes stored\n";
  return kExitOk;
}

int Dump(TCliCall& c) {
  const std::vector<std::string>& args = c.Args;
  std::ostream &out = c.Out, &err = c.Err;
  TPak pak(args[0], false, false);
  if (!OpenPackage(pak, args[0], err)) return kExitFailed;
  uint32_t size = 0;
  std::optional<TBytes> info = pak.FindEntry("SetupInfo", 0, size);
  std::optional<TBytes> lines = pak.FindEntry("CompiledLines", 0, size);
  if (!info || !lines) {
    err << "wizpak: " << args[0] << ": no readable " << (!info ? "\"SetupInfo\"" : "\"CompiledLines\"") << " entry\n";
    return kExitFailed;
  }
  TSetupInfoFile setup;
  TCompLines compiled;
  try {
    setup.LoadFromBuffer(info->data(), static_cast<uint32_t>(info->size()));
    compiled.LoadFromBuffer(lines->data(), static_cast<uint32_t>(lines->size()));
  } catch (const std::exception& e) {
    err << "wizpak: " << args[0] << ": " << e.what() << "\n";
    return kExitFailed;
  }
  out << SetupDump(setup.Info, compiled);
  // The values of the product's Uninstall key ("version", "publisher", "url").
  if (std::optional<TBytes> product = pak.FindEntry(kProductInfoEntry, 0, size)) {
    out << "ProductInfo:\n";
    ForEachProductValue(*product, [&](const std::string& name, const std::string& value) {
      out << "  " << name << ": \"" << value << "\"\n";
    });
  }
  return kExitOk;
}

// The command line's prompt: a message box is a line "caption: text" on the
// error stream. The boxes that end the setup program (Retry/Cancel on an
// archive, the fatal box) end the command with an exception instead, whose
// text the command reports; they are answered Cancel and print nothing here.
class TCliPrompt : public TPrompt {
 public:
  explicit TCliPrompt(std::ostream& Err) : err_(Err) {}
  int Show(const std::string& Text, const std::string& Caption, uint32_t Flags) override {
    switch (Flags & 0x0F) {
      case platform::kMbRetryCancel:
      case platform::kMbOkCancel:
        return platform::kIdCancel;
      case platform::kMbYesNo:
        return platform::kIdNo;
      default:
        break;
    }
    std::string shown = Text;
    for (char& c : shown) {
      if (c == '\r') c = ' ';
    }
    err_ << Caption << ": " << shown << "\n";
    return platform::kIdOk;
  }
  int ShowWide(const WideString& Text, const WideString& Caption, uint32_t Flags) override {
    return Show(platform::WideToUtf8(Text), platform::WideToUtf8(Caption), Flags);
  }
  void FatalAppExit(const std::string&) override {}

 private:
  std::ostream& err_;
};

// "new DIR [--name NAME] [--data DIR]".
int New(TCliCall& c) {
  std::string folder, name, data;
  for (size_t i = 0; i < c.Args.size(); ++i) {
    const std::string& a = c.Args[i];
    if ((a == "--name" || a == "--data") && i + 1 < c.Args.size()) {
      (a == "--name" ? name : data) = c.Args[++i];
    } else if (a.empty() || a[0] == '-' || !folder.empty()) {
      c.Err << "wizpak new: "
            << (a.empty() || a[0] == '-' ? "unknown option or missing value: " + a : "one folder only: " + a) << "\n"
            << kNewHelp;
      return kExitUsage;
    } else {
      folder = a;
    }
  }
  if (folder.empty()) {
    c.Err << kNewHelp;
    return kExitUsage;
  }
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  if (name.empty()) {
    size_t slash = folder.find_last_of("/\\");
    name = slash == std::string::npos ? folder : folder.substr(slash + 1);
  }
  if (data.empty()) data = Beside({"data", "../../../data"});
  if (data.empty()) {
    c.Err << "wizpak new: no data folder next to this program; give --data DIR\n";
    return kExitFailed;
  }
  return WriteNewProject(folder, name, data, c.Out, c.Err) ? kExitOk : kExitFailed;
}

int RunVfs(TCliCall& c) { return RunVfsCli(c.Args, c.Out, c.Err); }
int RunArchive(TCliCall& c) { return RunArchiveCli(c.Args, c.Out, c.Err); }

const TVerb<TCliCall> kVerbs[] = {
    {"list", 1, 1, "  list PKG                 show the entries and the trailer of a package\n", List, kListHelp},
    {"verify", 1, 1, "  verify PKG               check every entry as a setup does at start-up\n", Verify, kVerifyHelp},
    {"extract", 0, kAnyCount, "  extract PKG DIR          write the entries of a package into DIR\n", Extract,
     kExtractHelp},
    {"pack", 0, kAnyCount, "  pack OUT PATH...         pack files and folders into a package\n", Pack, kPackHelp},
    {"build", 0, kAnyCount, "  build SCRIPT             compile a setup script into a setup executable\n", Build,
     kBuildHelp},
    {"dump", 1, 1, "  dump PKG                 print the setup information, compiled lines and product values\n", Dump,
     kDumpHelp},
    {"new", 0, kAnyCount, "  new DIR                  write a new project to start from\n", New, kNewHelp},
    {"vfs", 0, kAnyCount, "  vfs COMMAND ...          make, list, read, add to and check VFS containers\n", RunVfs},
    {"archive", 0, kAnyCount, "  archive COMMAND ...      make, list, read and update game archives\n", RunArchive},
};

std::string Usage() {
  std::string text = kUsageHead;
  for (const TVerb<TCliCall>& v : kVerbs) text += v.Help;
  return text + kUsageNotes;
}

}  // namespace

int RunWizpakCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  TCliPrompt prompt(Err);
  TPromptScope scope(prompt);
  if (Args.empty()) {
    Err << Usage();
    return kExitUsage;
  }
  const std::string& name = Args[0];
  if (name == "--help" || name == "-h" || name == "help") {
    Out << Usage();
    return kExitOk;
  }
  const TVerb<TCliCall>* verb = FindVerb(kVerbs, name);
  if (!verb) {
    Err << "wizpak: unknown command '" << name << "'\n\n" << Usage();
    return kExitUsage;
  }
  TCliCall call{{Args.begin() + 1, Args.end()}, Out, Err};
  if (verb->Details) {
    if (WantsHelp(call.Args)) {
      Out << verb->Details;
      return kExitOk;
    }
    if (!CountFits(*verb, call.Args.size())) {
      Err << verb->Details;
      return kExitUsage;
    }
  }
  // Nothing a command raises ends the program without a word.
  try {
    return verb->Run(call);
  } catch (const std::bad_alloc&) {
    Err << "wizpak " << name << ": out of memory\n";
  } catch (const std::exception& e) {
    Err << "wizpak " << name << ": " << e.what() << "\n";
  }
  return kExitFailed;
}
