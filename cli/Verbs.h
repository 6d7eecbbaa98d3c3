// A command-line tool's verbs as one table: each verb's name, the arguments
// it takes after its name, its lines of the usage text and the function that
// does it. The usage text is the table's help lines in order.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

template <typename Call>
struct TVerb {
  const char* Name;
  size_t MinArgs;
  size_t MaxArgs;    // kAnyCount: no upper bound
  const char* Help;  // its lines of the usage text, each ending in "\n"
  int (*Run)(Call& C);
  // Its own page for "TOOL VERB --help", when the tool answers that for it
  // (null: the verb answers --help itself).
  const char* Details = nullptr;
};

constexpr size_t kAnyCount = static_cast<size_t>(-1);

// The verb called Name, or null.
template <typename Call, size_t N>
const TVerb<Call>* FindVerb(const TVerb<Call> (&Verbs)[N], const std::string& Name) {
  for (const TVerb<Call>& v : Verbs) {
    if (Name == v.Name) return &v;
  }
  return nullptr;
}

// "usage: " + Tool + " COMMAND ...", the verbs' help lines and Notes.
template <typename Call, size_t N>
std::string VerbUsage(const char* Tool, const TVerb<Call> (&Verbs)[N], const char* Notes) {
  std::string text = std::string("usage: ") + Tool + " COMMAND ...\n\n";
  for (const TVerb<Call>& v : Verbs) text += v.Help;
  return text + Notes;
}

// True when Count arguments suit the verb.
template <typename Call>
bool CountFits(const TVerb<Call>& Verb, size_t Count) {
  return Count >= Verb.MinArgs && (Verb.MaxArgs == kAnyCount || Count <= Verb.MaxArgs);
}
