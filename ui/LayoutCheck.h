// The builder's check of a page set: the page set and every layout it names
// read by the wizard's own parser, on controls kept in memory, so what the
// setup would refuse or lose on the user's machine stops the build instead.
#pragma once

#include <string>
#include <vector>

#include "ui/SE_Parser.h"

class TLanguageStrings;

// One problem: the entry and line, what is wrong and what it is about.
struct TLayoutProblem {
  std::string Entry;
  int32_t Line = 0;
  TLayoutFault Fault = TLayoutFault::kRefused;
  std::string Name, Detail;
};

// Reads the page set PageSetEntry of Entries as the wizard does and returns
// what the setup would refuse or lose, each with its entry and line: a
// missing page set, layout, picture or file, a set without pages, an unknown
// page or control type, a bad control name or value. Fields expand the
// names of rich-text files ("<%CHANGELOG%>"); null leaves them as written.
std::vector<TLayoutProblem> CheckPageSet(const TEntryLookup& Entries, const std::string& PageSetEntry,
                                         const TLanguageStrings* Fields);

// A problem in words, with what the setup would do: "unknown page type
// \"Welcom\" (known: welcome, ...)".
std::string LayoutProblemText(const TLayoutProblem& Problem);
