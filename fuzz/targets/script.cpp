// The builder's script parser and the compile steps of every command.
#include "builder/CompileDriver.h"
#include "builder/ScriptParser.h"
#include "fuzz/FuzzSupport.h"
#include "package/ZUI_CompilerThread.h"
#include "script/ZUI_Commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string text(reinterpret_cast<const char*>(Data), Size);
  std::vector<TScriptLine> lines;
  std::vector<TParseError> parseErrors;
  ParseScript(text, lines, parseErrors);
  static TCommandList commands = [] {
    TCommandList list;
    RegisterCommands(list);
    return list;
  }();
  TCompiler compiler;
  compiler.SourceDir = FuzzDir() + "/nothing-here";
  std::vector<std::string> errors;
  CompileScript("fuzz.wps", text, compiler, commands, errors);
  TBytes info = compiler.SetupInfo.SaveToBytes();
  TBytes compiled = compiler.Lines.SaveToBytes();
  (void)info;
  (void)compiled;
  return 0;
}
