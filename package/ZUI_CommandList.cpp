#include "package/ZUI_CommandList.h"

#include "common/Strings.h"

void TCommandClass::CompileProcess(TCompiler&, int32_t) {}

void TCommandClass::SFXProcess(TScriptState&, int32_t) {}

void TCommandClass::ChangedFiles(TScriptState&, int32_t, std::vector<std::string>&) const {}

int32_t TCommandList::Add(TCommandClass& Command) {
  Commands.push_back(&Command);
  return static_cast<int32_t>(Commands.size() - 1);
}

TCommandClass* TCommandList::ForNumber(int32_t Number) const {
  if (Number < 1 || static_cast<size_t>(Number) > Commands.size()) return nullptr;
  return Commands[static_cast<size_t>(Number - 1)];
}

int32_t TCommandList::NumberOf(const std::string& Keyword) const {
  for (size_t i = 0; i < Commands.size(); ++i) {
    if (SameTextAscii(Commands[i]->Keyword, Keyword)) return static_cast<int32_t>(i + 1);
  }
  return 0;
}

namespace {
const std::string kNoArgument;
}  // namespace

const std::string& LineArg(const TCompLine& Line, size_t Index) {
  return Index < Line.Params.size() ? Line.Params[Index] : kNoArgument;
}
