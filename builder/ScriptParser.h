// The script language of the builder: one command a line, blanks or tabs
// between arguments, double quotes group ("" is an empty argument), ";" or
// "#" at the start of a word begins a comment, ":name" is a label line.
// Keywords are compared without regard to case.
#pragma once

#include <string>
#include <vector>

struct TScriptLine {
  int LineNumber = 0;              // 1-based
  bool IsLabel = false;            // ":name": Words[0] is the label
  std::string Keyword;             // lower-cased; empty for a blank or comment line
  std::vector<std::string> Words;  // the arguments (the label for a label line)
};

struct TParseError {
  int LineNumber = 0;
  std::string Text;
};

// Splits Text into lines (CR LF, LF or CR) and words, as UTF-8: a script in
// UTF-8 (with or without byte-order mark) is taken as it is, any other as
// Windows-1252.
bool ParseScript(const std::string& Text, std::vector<TScriptLine>& Lines, std::vector<TParseError>& Errors);
