#include "common/PathFields.h"

#include <cctype>
#include <utility>

#include "common/Exceptions.h"
#include "common/Strings.h"

namespace {
constexpr uint32_t kDriveStringsChars = 129;

// The path variables in the order they are replaced, and their folders.
constexpr std::pair<const char*, std::string TPathFields::*> kFields[] = {
    {"$INSTDIR", &TPathFields::InstallDir},
    {"$INSTALLDIR", &TPathFields::InstallDir},
    {"$SMPROGRAMS", &TPathFields::StartMenuProgramsDir},
    {"$PROGRAMFILES", &TPathFields::ProgramFilesDir},
    {"$CDDRIVE", &TPathFields::CDDrive},
    {"$DESKTOP", &TPathFields::DesktopDir},
    {"$COMMONDESKTOP", &TPathFields::CommonDesktopDir},
    {"$COMMONSMPROGRAMS", &TPathFields::CommonProgramsDir}};
}  // namespace

std::string ExpandPathFields(const std::string& Text, const TPathFields& Fields) {
  std::string out = Text;
  for (const auto& [name, field] : kFields) out = ReplaceText(out, name, Fields.*field);
  std::string folded;
  folded.reserve(out.size());
  for (char c : out) {
    if (c == '\\' && !folded.empty() && folded.back() == '\\') continue;
    folded += c;
  }
  return folded;
}

WideString ExpandPathFields(const WideString& Text, const TPathFields& Fields) {
  return platform::TextToWide(ExpandPathFields(platform::WideToUtf8(Text), Fields));
}

WideString CollapsePathFields(const WideString& Text, const TPathFields& Fields) {
  using platform::TextToWide;
  WideString out = Text;
  if (!Fields.InstallDir.empty()) out = ReplaceText(out, TextToWide(Fields.InstallDir), u"$INSTDIR");
  if (!Fields.StartMenuProgramsDir.empty()) {
    out = ReplaceText(out, TextToWide(Fields.StartMenuProgramsDir), u"$SMPROGRAMS");
  }
  if (!Fields.ProgramFilesDir.empty()) out = ReplaceText(out, TextToWide(Fields.ProgramFilesDir), u"$PROGRAMFILES");
  return out;
}

std::string CollapsePathFields(const std::string& Text, const TPathFields& Fields) {
  return platform::WideToUtf8(CollapsePathFields(platform::TextToWide(Text), Fields));
}

std::string UnknownPathField(const std::string& Text) {
  for (size_t at = Text.find('$'); at != std::string::npos; at = Text.find('$', at + 1)) {
    size_t end = at + 1;
    while (end < Text.size() && std::isalpha(static_cast<unsigned char>(Text[end]))) ++end;
    if (end == at + 1) continue;
    std::string word = UpperAscii(Text.substr(at, end - at));
    bool known = false;
    for (const auto& field : kFields) known = known || word.rfind(field.first, 0) == 0;
    if (!known) return Text.substr(at, end - at);
  }
  return {};
}

std::string KnownPathFields() {
  std::string list;
  for (const auto& field : kFields) list += (list.empty() ? "" : ", ") + std::string(field.first);
  return list;
}

std::string SpecialFolder(int Csidl) { return platform::SpecialFolder(Csidl); }

std::string FirstCDDrive() {
  std::string strings;
  uint32_t n = platform::LogicalDriveStrings(kDriveStringsChars, strings);
  if (n > kDriveStringsChars || (n > 0 && strings.empty())) {
    RaiseSetupError({platform::ErrorText(platform::kErrorOutOfMemory)});
  }
  size_t pos = 0;
  while (pos < strings.size() && strings[pos] != '\0') {
    size_t end = strings.find('\0', pos);
    std::string root = strings.substr(pos, end - pos);
    if (platform::GetDriveType(root) == platform::DriveType::kCdRom) return root;
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return {};
}
