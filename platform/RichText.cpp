// Rich text as the plain text a box shows: the headless driver's rich-edit
// box (Windows shows rich text itself, so a setup does not carry this).
#include <cctype>
#include <cstdlib>

#include "platform/Widgets.h"

namespace platform {

WideString RichTextToPlain(const std::string& Data) {
  WideString out;
  if (Data.compare(0, 5, "{\\rtf") != 0) {
    // Plain text: lines end at CR, the LF of a CR LF pair dropped.
    for (char16_t c : TextToWide(FromStoredText(Data))) {
      if (c != u'\n') out += c;
    }
    return out;
  }
  // Groups that are destinations (font and colour tables, style sheets,
  // document information, "\*" groups) are skipped whole.
  std::vector<bool> skip{false};
  int32_t skipChars = 0;
  size_t i = 0;
  std::string ansi;
  auto flush = [&] {
    out += TextToWide(Cp1252ToUtf8(ansi));
    ansi.clear();
  };
  while (i < Data.size()) {
    char c = Data[i];
    if (c == '{') {
      skip.push_back(skip.back());
      ++i;
    } else if (c == '}') {
      if (skip.size() > 1) skip.pop_back();
      ++i;
    } else if (c == '\\') {
      ++i;
      if (i >= Data.size()) break;
      char n = Data[i];
      if (n == '\\' || n == '{' || n == '}') {
        if (!skip.back()) ansi += n;
        ++i;
      } else if (n == '\'') {
        if (i + 2 < Data.size() && !skip.back()) {
          ansi += static_cast<char>(std::strtol(Data.substr(i + 1, 2).c_str(), nullptr, 16));
        }
        i += 3;
        if (skipChars > 0) --skipChars;
      } else if (n == '*') {
        skip.back() = true;
        ++i;
      } else if (std::isalpha(static_cast<unsigned char>(n))) {
        size_t start = i;
        while (i < Data.size() && std::isalpha(static_cast<unsigned char>(Data[i]))) ++i;
        std::string word = Data.substr(start, i - start);
        size_t numStart = i;
        if (i < Data.size() && (Data[i] == '-' || std::isdigit(static_cast<unsigned char>(Data[i])))) ++i;
        while (i < Data.size() && std::isdigit(static_cast<unsigned char>(Data[i]))) ++i;
        long value = std::strtol(Data.substr(numStart, i - numStart).c_str(), nullptr, 10);
        if (i < Data.size() && Data[i] == ' ') ++i;
        if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info" || word == "pict" ||
            word == "header" || word == "footer") {
          skip.back() = true;
        } else if (skip.back()) {
          continue;
        } else if (word == "par" || word == "line") {
          ansi += '\r';
        } else if (word == "tab") {
          ansi += '\t';
        } else if (word == "u") {
          flush();
          out += static_cast<char16_t>(value < 0 ? value + 65536 : value);
          skipChars = 1;
        }
      } else {
        ++i;  // a control symbol such as "\~" or "\-"
      }
    } else if (c == '\r' || c == '\n') {
      ++i;
    } else {
      if (!skip.back()) {
        if (skipChars > 0) {
          --skipChars;
        } else {
          ansi += c;
        }
      }
      ++i;
    }
  }
  flush();
  // The box shows no break after its last paragraph.
  while (!out.empty() && out.back() == u'\r') out.pop_back();
  return out;
}

}  // namespace platform
