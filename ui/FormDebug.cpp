#include "ui/FormDebug.h"

#include "common/Strings.h"
#include "package/ZUI_CommandList.h"
#include "package/ZUI_CompLines.h"
#include "package/ZUI_PakFile.h"
#include "package/ZUI_SetupInfo.h"
#include "script/ZUI_Commands.h"
#include "ui/ZUI_Program.h"

namespace {

std::string Pad(const std::string& s, size_t width) { return s.size() >= width ? s : std::string(width - s.size(), ' ') + s; }

std::string Hex8(uint32_t v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) text[static_cast<size_t>(i)] = digits[v & 15];
  return text;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

std::string PackageListing(TPak& Pak, const std::string& Path) {
  const TPakTrailer& t = Pak.Trailer;
  std::string out = Path + ": version " + DecimalText(t.Version) + ", " + DecimalText(t.Count) + " entries, data start " +
                    DecimalText(t.DataStart) + ", directory at " + DecimalText(t.DirectoryOffset) + ", file size " +
                    DecimalText(Pak.FileSize()) + "\n";
  out += "index group   original     stored     offset checksum name\n";
  for (size_t i = 0; i < Pak.Entries.size(); ++i) {
    const TPakFile& e = Pak.Entries[i];
    out += Pad(DecimalText(i), 5) + " " + Pad(DecimalText(e.Group), 5) + " " + Pad(DecimalText(e.OrigSize), 10) + " " +
           Pad(DecimalText(e.StoredSize), 10) + " " + Pad(DecimalText(e.Offset), 10) + " " + Hex8(e.Checksum) + " " +
           e.Name + "\n";
  }
  return out;
}

std::string SetupDump(const TSetupInfo& i, const TCompLines& Lines) {
  std::string out = "SetupInfo:\n";
  auto field = [&out](const char* name, const std::string& value) { out += std::string("  ") + name + ": " + value + "\n"; };
  field("SetupName", Quoted(i.SetupName));
  field("SetupShortName", Quoted(i.SetupShortName));
  field("SetupExeName", Quoted(i.SetupExeName));
  field("UninstallExeName", Quoted(i.UninstallExeName));
  field("UninstallPrefix", Quoted(i.UninstallPrefix));
  field("InstallDir", Quoted(i.InstallDir));
  field("Changelog", Quoted(i.Changelog));
  field("InstallDirRegKey.HKEY", DecimalText(static_cast<int>(i.InstallDirRegKey.HKEY)));
  field("InstallDirRegKey.Path", Quoted(i.InstallDirRegKey.Path));
  field("InstallDirRegKey.Key", Quoted(i.InstallDirRegKey.Key));
  field("InstallPages", Quoted(i.InstallPages));
  field("UninstallPages", Quoted(i.UninstallPages));
  field("IsUninstaller", DecimalText(static_cast<int>(i.IsUninstaller)));
  field("MakeUninstaller", DecimalText(static_cast<int>(i.MakeUninstaller)));
  TCommandList commands;
  RegisterCommands(commands);
  out += "CompiledLines: " + DecimalText(Lines.Lines.size()) + " lines\n";
  for (size_t n = 0; n < Lines.Lines.size(); ++n) {
    const TCompLine& line = Lines.Lines[n];
    const TCommandClass* command = commands.ForNumber(line.Command);
    std::string keyword = line.Command == kLabelLine     ? ":label"
                          : line.Command == kNothingLine ? "-"
                          : command                      ? command->Keyword
                                                         : "?";
    out += Pad(DecimalText(n), 5) + " row " + Pad(DecimalText(line.Row), 4) + " cmd " + Pad(DecimalText(line.Command), 3) +
           " " + keyword;
    for (const std::string& p : line.Params) out += " " + Quoted(p);
    out += "\n";
  }
  return out;
}

TFrmDebug::TFrmDebug(TProgram& Program) {
  if (Program.SetupPak) text_ = PackageListing(*Program.SetupPak, Program.Args.empty() ? std::string() : Program.Args[0]);
  text_ += SetupDump(Program.SetupInfoFile.Info, Program.CompLines);
}
