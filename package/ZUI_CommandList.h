// The command contract and the command registry. Command number n of a
// compiled line names the object at registry position n - 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/ZUI_CompLines.h"

class TCompiler;
// What a running script works on (script/SE_ScriptState.h).
struct TScriptState;

// No file group, a group of files extracted as they are, a group applied to
// game archives.
constexpr uint8_t kGroupNone = 0;
constexpr uint8_t kGroupFiles = 1;
constexpr uint8_t kGroupPatch = 2;

// A command keeps no state of its own: each is one constant object for the
// whole program, made by the compiler and never destroyed (RegisterCommands
// lists them), so no command needs a destructor, a place on the heap or code
// to build it.
class TCommandClass {
 public:
  // PathArgs: the arguments the run expands as paths, bit N for argument N
  // (the builder refuses a variable it does not know in them).
  constexpr TCommandClass(const char* Keyword, bool SetupInfoOnly, int32_t MinArgs, uint8_t PathArgs = 0)
      : Keyword(Keyword), SetupInfoOnly(SetupInfoOnly), MinArgs(MinArgs), PathArgs(PathArgs) {}
  TCommandClass(const TCommandClass&) = delete;
  TCommandClass& operator=(const TCommandClass&) = delete;

  // The builder's compile step for line Row of Compiler's lines. A line with
  // fewer than MinArgs arguments is left unchanged. The base does nothing.
  virtual void CompileProcess(TCompiler& Compiler, int32_t Row);
  // Performs line Row of State's lines at setup time. The base does nothing.
  virtual void SFXProcess(TScriptState& State, int32_t Row);
  // Adds the files line Row would replace, change or delete if it ran now,
  // whether they exist or not (the check for files in use before a run
  // keeps those that do). The base adds none.
  virtual void ChangedFiles(TScriptState& State, int32_t Row, std::vector<std::string>& Paths) const;
  virtual uint8_t GroupKind() const { return kGroupNone; }

  const char* const Keyword;
  const bool SetupInfoOnly;
  const int32_t MinArgs;  // the argument count CompileProcess requires
  const uint8_t PathArgs;

 protected:
  ~TCommandClass() = default;
};

class TCommandList {
 public:
  // Appends a command, which outlives the list; returns its 0-based position.
  int32_t Add(TCommandClass& Command);
  // The command of a compiled line's number, or null for 0, -1 and numbers
  // beyond the registry.
  TCommandClass* ForNumber(int32_t Number) const;
  // The number of the command with this keyword (ignoring case), 0 when none.
  int32_t NumberOf(const std::string& Keyword) const;
  size_t Count() const { return Commands.size(); }

  std::vector<TCommandClass*> Commands;
};

// The argument Index of a line, empty when the line has fewer.
const std::string& LineArg(const TCompLine& Line, size_t Index);
