#include "builder/CompileDriver.h"

#include <map>
#include <memory>

#include "builder/PeResources.h"
#include "builder/ScriptParser.h"
#include "common/Exceptions.h"
#include "common/FileUtils.h"
#include "common/PathFields.h"
#include "common/ScopeExit.h"
#include "common/Strings.h"
#include "script/SE_Uninstaller.h"
#include "script/ZUI_Commands.h"
#include "ui/LayoutCheck.h"
#include "ui/ZUI_Language.h"

namespace {

constexpr char kSetupInfoEntry[] = "SetupInfo";
constexpr char kCompiledLinesEntry[] = "CompiledLines";
constexpr char kUninstallPrefix[] = "UNINSTALL_";
constexpr char kUninstallIcon[] = "UNINSTALL_ICON.ICO";
constexpr char kUninstallFinaliser[] = "UNINSTALL_FINALISE.EXE";
constexpr char kFinaliserFile[] = "finalise.exe";

std::string At(const std::string& script, int line) { return script + ":" + std::to_string(line) + ": "; }

std::string Plural(int32_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

bool IsText(const std::string& name) {
  std::string lower = LowerAscii(name);
  return lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".txt") == 0;
}

// The wizard ends a layout or page-set line at a carriage return only, so a
// text saved with bare line feeds would read as one line: each gets its CR.
TBytes WithCarriageReturns(const TBytes& Text) {
  TBytes out;
  out.reserve(Text.size() + Text.size() / 16);
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\n' && (i == 0 || Text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(Text[i]);
  }
  return out;
}

// Every file directly in the page set's folders (layout\SET of the script's
// folder, then of each data folder), under its own name: a file of an
// earlier folder is taken before one of the same name in a later one, so a
// script brings only the files it changes.
bool CollectPageSet(const TCompiler& compiler, const std::string& set, const std::string& prefix,
                    std::vector<TPackInput>& entries, std::string& error) {
  std::vector<platform::DirEntry> files;
  std::map<std::string, std::string> folderOf;  // by lower-case name
  for (const std::string& base : compiler.DataSearch()) {
    const std::string folder = base + "\\layout\\" + set;
    std::vector<platform::DirEntry> here;
    if (!platform::DirectoryExists(folder) || !platform::ListDirectory(folder, here)) continue;
    for (platform::DirEntry& f : here) {
      if (f.IsDirectory() || !folderOf.emplace(LowerAscii(f.Name), folder).second) continue;
      files.push_back(std::move(f));
    }
  }
  if (files.empty()) {
    error = "page set \"layout\\" + set + "\" not found in " + compiler.DataSearchText();
    return false;
  }
  SortByName(files);
  for (const platform::DirEntry& f : files) {
    const std::string& folder = folderOf[LowerAscii(f.Name)];
    std::string name = prefix.empty() ? f.Name : prefix + f.Name;
    if (!prefix.empty() && SameTextAscii(f.Name, "icon.ico")) name = kUninstallIcon;
    // The setup reads its languages after the page set, and an empty entry
    // ends that walk: it would start with no languages at all.
    if (f.Size == 0) {
      error = "page set file " + folder + "\\" + f.Name +
              " is empty; an empty entry would end the setup's list of languages, so it would not start";
      return false;
    }
    std::optional<TBytes> text;
    if (IsText(f.Name)) text = WithCarriageReturns(LoadWholeFile(folder + "\\" + f.Name));
    entries.push_back({folder + "\\" + f.Name, name, 0, std::move(text)});
  }
  return true;
}

// The page set of group-0 entries (under Prefix, which the lookup takes off)
// read as the setup will read it; each problem an error "FILE:LINE: ...".
void CheckPackedPageSet(const TCompiler& Compiler, const std::vector<TPackInput>& Entries, const std::string& Prefix,
                        std::vector<std::string>& Errors) {
  std::map<std::string, const TPackInput*> byName;
  for (const TPackInput& in : Entries) {
    if (in.Group != 0 || in.EntryName.compare(0, Prefix.size(), Prefix) != 0) continue;
    if (Prefix.empty() &&
        in.EntryName.compare(0, std::char_traits<char>::length(kUninstallPrefix), kUninstallPrefix) == 0) {
      continue;
    }
    byName.emplace(LowerAscii(in.EntryName.substr(Prefix.size())), &in);
  }
  auto find = [&](const std::string& name) -> const TPackInput* {
    auto it = byName.find(LowerAscii(name));
    return it == byName.end() ? nullptr : it->second;
  };
  TEntryLookup lookup = [&](const std::string& name) -> std::optional<TBytes> {
    const TPackInput* in = find(name);
    return in ? InputBytes(*in) : std::nullopt;
  };
  const TSetupInfo& info = Compiler.SetupInfo.Info;
  TLanguageStrings fields;
  fields.AddField("<%SETUPTITLE%>", &info.SetupName);
  fields.AddField("<%SETUPSHORTTITLE%>", &info.SetupShortName);
  fields.AddField("<%CHANGELOG%>", &info.Changelog);
  for (const TLayoutProblem& p : CheckPageSet(lookup, kPageSetEntry, &fields)) {
    const TPackInput* in = find(p.Entry);
    std::string file = in && !in->SourcePath.empty() ? in->SourcePath : p.Entry;
    Errors.push_back(file + ":" + (p.Line > 0 ? std::to_string(p.Line) + ":" : "") + " " + LayoutProblemText(p));
  }
}

}  // namespace

std::string FolderOf(const std::string& Path) {
  size_t slash = Path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : Path.substr(0, slash);
}

bool CompileScript(const std::string& ScriptName, const std::string& Text, TCompiler& Compiler,
                   const TCommandList& Commands, std::vector<std::string>& Errors) {
  size_t errorsBefore = Errors.size();
  std::vector<TScriptLine> parsed;
  std::vector<TParseError> parseErrors;
  ParseScript(Text, parsed, parseErrors);
  for (const TParseError& e : parseErrors) Errors.push_back(At(ScriptName, e.LineNumber) + e.Text);
  if (parsed.size() > 0xFFFF) {
    Errors.push_back(ScriptName + ": " + std::to_string(parsed.size()) + " lines, a script holds at most 65535");
    return false;
  }

  // All lines first: label lookups see labels below the jump too.
  auto& lines = Compiler.Lines.Lines;
  lines.clear();
  for (size_t i = 0; i < parsed.size(); ++i) {
    const TScriptLine& p = parsed[i];
    TCompLine line;
    if (p.IsLabel) {
      line.Command = kLabelLine;
      line.Params = p.Words;
      line.Row = static_cast<int32_t>(i);
    } else if (!p.Keyword.empty()) {
      int32_t number = Commands.NumberOf(p.Keyword);
      if (number == 0) {
        Errors.push_back(At(ScriptName, p.LineNumber) + "unknown command \"" + p.Keyword + "\"");
      } else {
        line.Command = number;
        line.Params = p.Words;
        line.Row = static_cast<int32_t>(i);
      }
    }
    line.ParamCount = static_cast<int32_t>(line.Params.size());
    lines.push_back(std::move(line));
  }

  for (size_t i = 0; i < lines.size(); ++i) {
    TCommandClass* command = Commands.ForNumber(lines[i].Command);
    if (!command) continue;
    const std::string_view keyword = command->Keyword;
    const int lineNumber = parsed[i].LineNumber;
    int32_t given = static_cast<int32_t>(lines[i].Params.size());
    if (given < command->MinArgs) {
      Errors.push_back(At(ScriptName, lineNumber) + "\"" + command->Keyword + "\" needs at least " +
                       Plural(command->MinArgs, "argument") + ", " + std::to_string(given) + " given");
      continue;
    }
    for (size_t a = 0; a < lines[i].Params.size() && a < 8; ++a) {
      if (!(command->PathArgs & (1u << a))) continue;
      if (std::string unknown = UnknownPathField(lines[i].Params[a]); !unknown.empty()) {
        Errors.push_back(At(ScriptName, lineNumber) + "unknown variable " + unknown + " in \"" + lines[i].Params[a] +
                         "\" (known: " + KnownPathFields() + ")");
      }
    }
    std::string source = lines[i].Params.empty() ? "" : lines[i].Params[0];
    try {
      command->CompileProcess(Compiler, static_cast<int32_t>(i));
    } catch (const ESetupError& e) {
      Errors.push_back(At(ScriptName, lineNumber) + e.what());
    }
    if (command->GroupKind() != kGroupNone) {
      std::string full = Compiler.FromSourceDir(source);
      if (!platform::FileExists(full) && !platform::DirectoryExists(full)) {
        Errors.push_back(At(ScriptName, lineNumber) + "\"" + command->Keyword + "\" source " + full + " not found");
      }
    }
    if (keyword == "changelog") {
      // Its name is the package entry's, so it must be one a folder can hold.
      std::string file = Compiler.FromSourceDir(source);
      if (std::string why = UnsafeNameReason(source); !why.empty()) {
        Errors.push_back(At(ScriptName, lineNumber) + "change log name \"" + source + "\" " + why);
      } else if (!platform::FileExists(file)) {
        Errors.push_back(At(ScriptName, lineNumber) + "change log " + file + " not found");
      }
    }
    if (keyword == "license" && !platform::FileExists(Compiler.FromSourceDir(source))) {
      Errors.push_back(At(ScriptName, lineNumber) + "licence file " + Compiler.FromSourceDir(source) + " not found");
    }
    if (keyword == "language" || keyword == "uninstalllanguage") {
      std::string file = "languages\\" + source + ".wri";
      if (!platform::FileExists(Compiler.FindData(file))) {
        Errors.push_back(At(ScriptName, lineNumber) + "language file " + file + " not found in " +
                         Compiler.DataSearchText());
      }
    }
    // Directives live on in the setup information only.
    if (command->SetupInfoOnly) lines[i] = TCompLine{};
  }

  for (const TCompilerError& e : Compiler.Errors) {
    int lineNumber = e.Row >= 0 && static_cast<size_t>(e.Row) < parsed.size() ? parsed[e.Row].LineNumber : 0;
    Errors.push_back(At(ScriptName, lineNumber) + e.Text);
  }
  return Errors.size() == errorsBefore;
}

bool CollectSetupEntries(const std::string& ScriptName, TCompiler& Compiler, const std::string& Finaliser,
                         std::vector<TPackInput>& Entries, std::vector<std::string>& Errors) {
  size_t errorsBefore = Errors.size();
  const TSetupInfo& info = Compiler.SetupInfo.Info;
  try {
    Entries.push_back({"", kSetupInfoEntry, 0, Compiler.SetupInfo.SaveToBytes()});
    Entries.push_back({"", kCompiledLinesEntry, 0, Compiler.Lines.SaveToBytes()});
    if (!Compiler.ProductInfo.empty()) {
      std::string stored = platform::ToStoredText(Compiler.ProductInfo);
      Entries.push_back({"", kProductInfoEntry, 0, TBytes(stored.begin(), stored.end())});
    }
  } catch (const ESetupError& e) {
    Errors.push_back(ScriptName + ": " + e.what());
    return false;
  }
  std::string error;
  if (!info.InstallPages.empty() && !CollectPageSet(Compiler, info.InstallPages, "", Entries, error)) {
    Errors.push_back(ScriptName + ": \"pages\": " + error);
  }
  if (!info.UninstallPages.empty()) {
    if (!CollectPageSet(Compiler, info.UninstallPages, kUninstallPrefix, Entries, error)) {
      Errors.push_back(ScriptName + ": \"uninstallpages\": " + error);
    }
    if (!Finaliser.empty()) Entries.push_back({Finaliser, kUninstallFinaliser, 0, std::nullopt});
  }
  for (const TGroup& group : Compiler.FileList.Groups) {
    for (const TFile& f : group.Files) {
      if (std::string why = UnsafeNameReason(f.EntryName); !why.empty()) {
        Errors.push_back(ScriptName + ": entry \"" + f.EntryName + "\" from " + f.SourcePath + " " + why);
        continue;
      }
      Entries.push_back({f.SourcePath, f.EntryName, f.Group, std::nullopt});
    }
  }
  // What the wizard would refuse or lose, found now rather than on the
  // user's machine.
  if (Errors.size() == errorsBefore) {
    if (!info.InstallPages.empty()) CheckPackedPageSet(Compiler, Entries, "", Errors);
    if (!info.UninstallPages.empty()) CheckPackedPageSet(Compiler, Entries, kUninstallPrefix, Errors);
  }
  return Errors.size() == errorsBefore;
}

namespace {

// The value of Name in the product values' "Name=Value" lines; empty when none.
std::string ProductValue(const std::string& Lines, const std::string& Name) {
  std::string found;
  TBytes bytes(Lines.begin(), Lines.end());
  ForEachProductValue(bytes, [&](const std::string& name, const std::string& value) {
    if (name == Name) found = value;
  });
  return found;
}

// The icon a page set's entries bring (Entry: "icon.ico" or the uninstall
// icon); empty when there is none.
TBytes IconOf(const std::vector<TPackInput>& Entries, const std::string& Entry) {
  for (const TPackInput& in : Entries) {
    if (in.Group == 0 && SameTextAscii(in.EntryName, Entry)) return InputBytes(in).value_or(TBytes{});
  }
  return {};
}

// Copies the stub From to To with the icon Icon (when not empty) and a
// version resource of the script's product: what Explorer and a download
// prompt show of the setup. A stub that is no Windows executable (a test's
// stand-in) is copied as it is, and Log says so. False with Error.
bool MakeStub(const std::string& From, const std::string& To, const TBytes& Icon, const TVersionInfo& Version,
              const std::function<void(const std::string&)>& Log, std::string& Error) {
  TBytes image;
  try {
    image = LoadWholeFile(From);
  } catch (const ESetupError& e) {
    Error = "the stub " + From + ": " + e.what();
    return false;
  }
  if (IsPortableExecutable(image)) {
    std::vector<TResource> resources;
    std::string why;
    if (!ReadResources(image, resources, why)) {
      Error = "the stub " + From + ": " + why;
      return false;
    }
    if (!Icon.empty() && !SetIcon(resources, Icon, why)) {
      Error = "the page set's icon: " + why;
      return false;
    }
    SetVersion(resources, Version);
    if (!WriteResources(image, resources, why)) {
      Error = "the stub " + From + ": " + why;
      return false;
    }
  } else if (Log) {
    Log("wizpak build: warning: the stub " + From +
        " is no Windows executable: its icon and version resource are left as they are");
  }
  if (!WriteWholeFile(To, image.data(), static_cast<uint32_t>(image.size()), nullptr)) {
    Error = "cannot write " + To + ": " + platform::DescribeError(platform::LastError());
    return false;
  }
  return true;
}

// What the version resource of the setup (or its uninstaller) says.
TVersionInfo VersionOf(const TCompiler& Compiler, const std::string& Description, const std::string& FileName) {
  const TSetupInfo& info = Compiler.SetupInfo.Info;
  TVersionInfo v;
  v.ProductName = info.SetupName;
  v.Version = ProductValue(Compiler.ProductInfo, "DisplayVersion");
  v.Publisher = ProductValue(Compiler.ProductInfo, "Publisher");
  v.Description = info.SetupName + " " + Description;
  size_t slash = FileName.find_last_of("/\\");
  v.FileName = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
  return v;
}

// A signed setup's uninstaller, made and signed at build time (a setup
// cannot sign what it writes at install time): the stub with the uninstall
// icon, the "UNINSTALL_" entries under their own names and a setup
// information flagged as uninstaller with no install directory (it takes the
// folder it runs from). Written to Path; false with Error.
bool BuildSignedUninstaller(const TBuildOptions& Options, const TCompiler& Compiler,
                            const std::vector<TPackInput>& Entries, const std::string& Path, TPackCache* Cache,
                            std::string& Error) {
  std::vector<TPackInput> inputs;
  const size_t prefix = std::char_traits<char>::length(kUninstallPrefix);
  for (const TPackInput& in : Entries) {
    if (in.Group != 0 || in.EntryName.compare(0, prefix, kUninstallPrefix) != 0) continue;
    if (in.EntryName == kUninstallIcon) continue;
    TPackInput copy = in;
    copy.EntryName = in.EntryName.substr(prefix);
    inputs.push_back(std::move(copy));
  }
  TSetupInfoFile info;
  info.Info = Compiler.SetupInfo.Info;
  info.Info.IsUninstaller = 1;
  info.Info.MakeUninstaller = 0;
  info.Info.InstallDir.clear();
  info.Info.InstallDirRegKey = TREGKEY{};
  inputs.push_back({"", kSetupInfoEntry, 0, info.SaveToBytes()});
  // The stub with the uninstall icon and the uninstaller's version resource.
  const std::string stub = Path + ".stub";
  const std::string unsignedPath = Path + ".unsigned";
  TScopeExit removeTemporaries([&] {
    for (const std::string& temporary : {stub, unsignedPath}) platform::DeleteFile(temporary);
  });
  if (!MakeStub(Options.Stub, stub, IconOf(Entries, kUninstallIcon),
                VersionOf(Compiler, "Uninstaller", Compiler.SetupInfo.Info.UninstallExeName), nullptr, Error)) {
    return false;
  }
  TPackStats stats;
  return WritePackage({unsignedPath, stub, Options.Threads, Options.Level, {}, Cache}, inputs, stats, Error) &&
         SignSetup(Options.Sign, unsignedPath, Path, Error);
}

}  // namespace

bool BuildSetup(const TBuildOptions& Options, std::vector<std::string>& Errors, std::string& Output, TPackStats& Stats,
                const std::function<void(const std::string&)>& Log) {
  TBytes text;
  try {
    text = LoadWholeFile(Options.Script);
  } catch (const ESetupError& e) {
    Errors.push_back(std::string("wizpak build: ") + e.what());
    return false;
  }
  for (const std::string& data : Options.DataDirs) {
    if (!platform::DirectoryExists(data + "\\languages") && !platform::DirectoryExists(data + "\\layout")) {
      Errors.push_back("wizpak build: data folder " + data + " has no languages or layout folder");
      return false;
    }
  }
  TCommandList commands;
  RegisterCommands(commands);
  TCompiler compiler;
  compiler.SourceDir = FolderOf(Options.Script);
  compiler.DataDirs = Options.DataDirs;
  if (Options.Verbose && Log) {
    compiler.OnMessage = Log;
    compiler.OnDetail = Log;
  }
  if (!CompileScript(Options.Script, std::string(text.begin(), text.end()), compiler, commands, Errors)) return false;

  // The finaliser: the data folder's, else the one built beside the stub,
  // else the one beside the default stub (a package built without a stub
  // still gets an uninstaller that removes itself).
  std::string finaliser;
  for (const std::string& data : Options.DataDirs) {
    if (finaliser.empty() && platform::FileExists(data + "\\" + kFinaliserFile))
      finaliser = data + "\\" + kFinaliserFile;
  }
  if (finaliser.empty()) {
    std::string stubFolder = FolderOf(Options.Stub);
    finaliser = Options.Stub.empty() ? "" : stubFolder.empty() ? kFinaliserFile : stubFolder + "\\" + kFinaliserFile;
    if (!platform::FileExists(finaliser)) finaliser = Options.DefaultFinaliser;
    if (!platform::FileExists(finaliser)) finaliser.clear();
  }
  if (compiler.SetupInfo.Info.MakeUninstaller && finaliser.empty() && Log) {
    Log("wizpak build: warning: no " + std::string(kFinaliserFile) +
        " in the data folder, beside the stub or beside the default stub; the uninstaller will not remove itself");
  }
  std::vector<TPackInput> entries;
  if (!CollectSetupEntries(Options.Script, compiler, finaliser, entries, Errors)) return false;

  Output = Options.Output;
  if (Output.empty()) {
    if (compiler.SetupInfo.Info.SetupExeName.empty()) {
      Errors.push_back(Options.Script + ": no output file: give -o OUT or an \"outfile\" line");
      return false;
    }
    Output = compiler.FromSourceDir(compiler.SetupInfo.Info.SetupExeName);
  }
  std::string error;
  uint64_t nextReport = 64ull << 20;
  auto progress = [&](const TPackStats& s, const TPackInput& in) {
    if (!Log) return;
    if (Options.Verbose) Log("packed " + in.EntryName + " (group " + std::to_string(in.Group) + ")");
    if (s.BytesIn >= nextReport) {
      Log("packed " + std::to_string(s.Files) + " files, " + FormatSize(s.BytesIn) + " in, " + FormatSize(s.BytesOut) +
          " out");
      nextReport = s.BytesIn + (64ull << 20);
    }
  };
  // The last progress line has the true final count, whatever the last
  // step's line said.
  auto reportEnd = [&] {
    if (!Log || (!Options.Verbose && nextReport == (64ull << 20))) return;
    Log("packed " + std::to_string(Stats.Files) + " files, " + FormatSize(Stats.BytesIn) + " in, " +
        FormatSize(Stats.BytesOut) + " out");
  };
  // The stub with the setup's icon and version resource, beside the output
  // until the package is written.
  const std::string stub = Output + ".stub";
  TScopeExit removeStub([&] { platform::DeleteFile(stub); });
  if (!Options.PackageOnly &&
      !MakeStub(Options.Stub, stub, IconOf(entries, "icon.ico"), VersionOf(compiler, "Setup", Output), Log, error)) {
    Errors.push_back("wizpak build: " + error + "; nothing was written");
    return false;
  }
  // Stored forms from earlier builds; without a usable folder the build
  // goes on compressing everything.
  std::unique_ptr<TPackCache> cache;
  if (!Options.CacheDir.empty()) {
    cache = std::make_unique<TPackCache>(Options.CacheDir, Options.Level, Options.CacheLimit);
    std::string why;
    if (!cache->Open(why)) {
      if (Log) Log("wizpak build: warning: " + why + "; building without the cache");
      cache.reset();
    }
  }
  TScopeExit closeCache([&] {
    if (!cache) return;
    cache->Close();
    if (Log && Options.Verbose) {
      Log("cache " + Options.CacheDir + ": " + std::to_string(cache->Hits.load()) + " entries reused, " +
          std::to_string(cache->Misses.load()) + " compressed");
    }
  });
  auto pack = [&](const std::string& path) {
    return TPackRequest{path, Options.PackageOnly ? "" : stub, Options.Threads, Options.Level, progress, cache.get()};
  };
  const bool sign = Options.Sign.Wanted();
  const uint32_t scriptFiles = compiler.Files().FileCount;
  if (Log && Options.Verbose)
    Log("packing " + std::to_string(scriptFiles) + " files of the script and " +
        std::to_string(entries.size() - scriptFiles) + " entries of the setup's own");
  if (!sign) {
    if (WritePackage(pack(Output), entries, Stats, error)) {
      Stats.ScriptFiles = scriptFiles;
      reportEnd();
      return true;
    }
    Errors.push_back("wizpak build: " + error);
    return false;
  }
  // A signed setup carries its uninstaller signed too; it is packed beside
  // its place, signed into a second file and that renamed over the output:
  // a failure leaves nothing behind.
  const std::string uninstaller = Output + ".uninstaller";
  const std::string packed = Output + ".unsigned";
  const std::string signedPart = Output + ".signed";
  TScopeExit removeTemporaries([&] {
    for (const std::string& temporary : {uninstaller, packed, signedPart}) platform::DeleteFile(temporary);
  });
  if (compiler.SetupInfo.Info.MakeUninstaller == 1) {
    if (!BuildSignedUninstaller(Options, compiler, entries, uninstaller, cache.get(), error)) {
      Errors.push_back("wizpak build: the uninstaller: " + error + "; nothing was written");
      return false;
    }
    // Before the directory digest, which the packer writes last.
    entries.push_back({uninstaller, kSignedUninstallerEntry, 0, std::nullopt});
  }
  if (!WritePackage(pack(packed), entries, Stats, error)) {
    Errors.push_back("wizpak build: " + error);
    return false;
  }
  Stats.ScriptFiles = scriptFiles;
  reportEnd();
  if (!SignSetup(Options.Sign, packed, signedPart, error)) {
    Errors.push_back("wizpak build: " + error + "; nothing was written");
    return false;
  }
  if (!platform::MoveFile(signedPart, Output, true)) {
    Errors.push_back("wizpak build: cannot write " + Output + ": " + platform::DescribeError(platform::LastError()) +
                     "; nothing was written");
    return false;
  }
  return true;
}

bool SignSetup(const TSigning& Sign, const std::string& In, const std::string& Out, std::string& Error) {
  std::vector<std::string> args = {"sign"};
  if (!Sign.Pkcs12.empty()) {
    args.insert(args.end(), {"-pkcs12", Sign.Pkcs12});
  } else {
    args.insert(args.end(), {"-certs", Sign.Cert, "-key", Sign.Key});
  }
  if (!Sign.PassFile.empty()) args.insert(args.end(), {"-readpass", Sign.PassFile});
  if (!Sign.Timestamp.empty()) args.insert(args.end(), {"-t", Sign.Timestamp});
  if (!Sign.Name.empty()) args.insert(args.end(), {"-n", Sign.Name});
  if (!Sign.Url.empty()) args.insert(args.end(), {"-i", Sign.Url});
  args.insert(args.end(), {"-in", In, "-out", Out});
  platform::DeleteFile(Out);
  uint32_t code = 0;
  if (!platform::RunProgram("osslsigncode", args, code)) {
    Error = "cannot start osslsigncode (" + platform::DescribeError(platform::LastError()) +
            "); it signs setups: install it (Debian: apt-get install osslsigncode)";
    return false;
  }
  if (code != 0 || !platform::FileExists(Out)) {
    Error = "signing " + In + " failed: osslsigncode exited with " + std::to_string(code);
    return false;
  }
  return true;
}
