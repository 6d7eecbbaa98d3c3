#include "builder/ScriptParser.h"

#include "common/Strings.h"

namespace {

// A script is UTF-8 (what Linux editors write; a byte-order mark is
// dropped); one that is not valid UTF-8 is read as Windows-1252, as older
// scripts were written.
std::string ScriptText(const std::string& Text) {
  std::string text = Text.rfind(platform::kUtf8Mark, 0) == 0 ? Text.substr(3) : Text;
  platform::WideString wide;
  return platform::Utf8ToWide(text, wide) ? text : platform::Cp1252ToUtf8(text);
}

bool SplitWords(const std::string& line, std::vector<std::string>& words, std::string& error) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size() || line[i] == ';' || line[i] == '#') break;
    std::string word;
    bool quoted = false;
    bool inQuotes = false;
    for (; i < line.size(); ++i) {
      char c = line[i];
      if (c == '"') {
        inQuotes = !inQuotes;
        quoted = true;
      } else if (!inQuotes && (c == ' ' || c == '\t')) {
        break;
      } else {
        word += c;
      }
    }
    if (inQuotes) {
      error = "unterminated double quote";
      return false;
    }
    if (quoted || !word.empty()) words.push_back(word);
  }
  return true;
}

}  // namespace

bool ParseScript(const std::string& Text, std::vector<TScriptLine>& Lines, std::vector<TParseError>& Errors) {
  Lines.clear();
  const std::string text = ScriptText(Text);
  size_t start = 0;
  int number = 0;
  bool ok = true;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    std::string raw = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    ++number;
    TScriptLine line;
    line.LineNumber = number;
    std::string error;
    std::vector<std::string> words;
    if (!SplitWords(raw, words, error)) {
      Errors.push_back({number, error});
      ok = false;
    } else if (!words.empty()) {
      if (words[0].size() > 1 && words[0][0] == ':') {
        line.IsLabel = true;
        line.Words.push_back(words[0].substr(1));
      } else {
        line.Keyword = LowerAscii(words[0]);
        line.Words.assign(words.begin() + 1, words.end());
      }
    }
    Lines.push_back(std::move(line));
    if (end == std::string::npos) break;
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  // A final line break does not open another line.
  if (!Lines.empty() && Lines.back().Keyword.empty() && !Lines.back().IsLabel && !text.empty() &&
      (text.back() == '\n' || text.back() == '\r')) {
    Lines.pop_back();
  }
  return ok;
}
