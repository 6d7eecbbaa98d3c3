#include "ui/FormDebug.h"

#include "common/Strings.h"
#include "package/ZUI_CommandList.h"
#include "package/ZUI_CompLines.h"
#include "package/ZUI_PakFile.h"
#include "package/ZUI_SetupInfo.h"
#include "script/ZUI_Commands.h"
#include "ui/ZUI_Program.h"

namespace {

// The texts are appended piece by piece: no temporaries to build and free
// (this code travels in every setup).
void Number(std::string& Out, int64_t Value, size_t Width = 0) {
  const std::string text = DecimalText(Value);
  if (text.size() < Width) Out.append(Width - text.size(), ' ');
  Out += text;
}

void Hex8(std::string& Out, uint32_t Value) {
  static const char digits[] = "0123456789ABCDEF";
  for (int shift = 28; shift >= 0; shift -= 4) Out += digits[(Value >> shift) & 15];
}

void Quoted(std::string& Out, const std::string& Text) {
  Out += '"';
  Out += Text;
  Out += '"';
}

}  // namespace

std::string PackageListing(TPak& Pak, const std::string& Path) {
  const TPakTrailer& t = Pak.Trailer;
  std::string out = Path;
  out += ": version ";
  Number(out, t.Version);
  out += ", ";
  Number(out, t.Count);
  out += " entries, data start ";
  Number(out, t.DataStart);
  out += ", directory at ";
  Number(out, t.DirectoryOffset);
  out += ", file size ";
  Number(out, Pak.FileSize());
  out += "\nindex group   original     stored     offset checksum name\n";
  for (size_t i = 0; i < Pak.Entries.size(); ++i) {
    const TPakFile& e = Pak.Entries[i];
    Number(out, i, 5);
    out += ' ';
    Number(out, e.Group, 5);
    out += ' ';
    Number(out, e.OrigSize, 10);
    out += ' ';
    Number(out, e.StoredSize, 10);
    out += ' ';
    Number(out, e.Offset, 10);
    out += ' ';
    Hex8(out, e.Checksum);
    out += ' ';
    out += e.Name;
    out += '\n';
  }
  return out;
}

std::string SetupDump(const TSetupInfo& i, const TCompLines& Lines) {
  std::string out = "SetupInfo:\n";
  auto text = [&out](const char* name, const std::string& value) {
    out += "  ";
    out += name;
    out += ": ";
    Quoted(out, value);
    out += '\n';
  };
  auto number = [&out](const char* name, int64_t value) {
    out += "  ";
    out += name;
    out += ": ";
    Number(out, value);
    out += '\n';
  };
  text("SetupName", i.SetupName);
  text("SetupShortName", i.SetupShortName);
  text("SetupExeName", i.SetupExeName);
  text("UninstallExeName", i.UninstallExeName);
  text("UninstallPrefix", i.UninstallPrefix);
  text("InstallDir", i.InstallDir);
  text("Changelog", i.Changelog);
  number("InstallDirRegKey.HKEY", i.InstallDirRegKey.HKEY);
  text("InstallDirRegKey.Path", i.InstallDirRegKey.Path);
  text("InstallDirRegKey.Key", i.InstallDirRegKey.Key);
  text("InstallPages", i.InstallPages);
  text("UninstallPages", i.UninstallPages);
  number("IsUninstaller", i.IsUninstaller);
  number("MakeUninstaller", i.MakeUninstaller);
  TCommandList commands;
  RegisterCommands(commands);
  out += "CompiledLines: ";
  Number(out, Lines.Lines.size());
  out += " lines\n";
  for (size_t n = 0; n < Lines.Lines.size(); ++n) {
    const TCompLine& line = Lines.Lines[n];
    const TCommandClass* command = commands.ForNumber(line.Command);
    const char* keyword = line.Command == kLabelLine     ? ":label"
                          : line.Command == kNothingLine ? "-"
                          : command                      ? command->Keyword
                                                         : "?";
    Number(out, n, 5);
    out += " row ";
    Number(out, line.Row, 4);
    out += " cmd ";
    Number(out, line.Command, 3);
    out += ' ';
    out += keyword;
    for (const std::string& p : line.Params) {
      out += ' ';
      Quoted(out, p);
    }
    out += '\n';
  }
  return out;
}

TFrmDebug::TFrmDebug(TProgram& Program) {
  if (Program.SetupPak)
    text_ = PackageListing(*Program.SetupPak, Program.Args.empty() ? std::string() : Program.Args[0]);
  text_ += SetupDump(Program.SetupInfoFile.Info, Program.CompLines);
}
