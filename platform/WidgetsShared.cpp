// What both faces of the widget seam share: the gauge's rules and drawing,
// the folder tree's children, the dump's file name.
#include <cctype>
#include <cstdlib>

#include <algorithm>
#include <string>

#include "platform/PlatformShared.h"
#include "platform/Widgets.h"

namespace platform {

void GaugeState::SetMinimum(int32_t Value) {
  if (Value >= Maximum) return;
  Minimum = Value;
  if (Position < Minimum) Position = Minimum;
}

void GaugeState::SetMaximum(int32_t Value) {
  if (Value <= Minimum) return;
  Maximum = Value;
  if (Position > Maximum) Position = Maximum;
}

void GaugeState::SetPosition(int32_t Value) {
  Position = Value < Minimum ? Minimum : Value > Maximum ? Maximum : Value;
}

int32_t GaugeState::Percent() const {
  if (Maximum <= 0 || Maximum <= Minimum) return 0;
  int64_t span = static_cast<int64_t>(Maximum) - Minimum;
  int64_t done = static_cast<int64_t>(Position) - Minimum;
  return static_cast<int32_t>((done * 200 + span) / (span * 2));  // rounded
}

std::string GaugeState::Caption() const {
  if (Maximum <= 0 || Maximum <= Minimum) return "0%";
  int64_t span = static_cast<int64_t>(Maximum) - Minimum;
  int64_t done = static_cast<int64_t>(Position) - Minimum;
  return std::to_string(done * 100 / span) + "%";
}

void DrawGauge(const GaugeState& Gauge, uint32_t Width, uint32_t Height, std::vector<uint32_t>& Pixels) {
  auto rgb = [](uint32_t bgr) { return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF); };
  Pixels.assign(static_cast<size_t>(Width) * Height, rgb(Gauge.BackColour));
  if (Width == 0 || Height == 0) return;
  auto put = [&](uint32_t x, uint32_t y, uint32_t c) {
    if (x < Width && y < Height) Pixels[static_cast<size_t>(y) * Width + x] = c;
  };
  const uint32_t border = rgb(Gauge.BorderColour);
  for (uint32_t x = 0; x < Width; ++x) {
    put(x, 0, border);
    put(x, Height - 1, border);
  }
  for (uint32_t y = 0; y < Height; ++y) {
    put(0, y, border);
    put(Width - 1, y, border);
  }
  const int32_t percent = Gauge.Percent();
  const int64_t fill = Width >= 3 ? static_cast<int64_t>(Width - 3) * percent / 100 : 0;
  const uint32_t colour = rgb(Gauge.ForeColour);
  for (uint32_t y = 2; y + 1 < Height; ++y) {
    for (int64_t x = 0; x < fill; ++x) put(static_cast<uint32_t>(2 + x), y, colour);
  }
}

std::string PictureTooLarge(uint64_t Width, uint64_t Height) {
  return Concat({"picture of ", std::to_string(Width), "x", std::to_string(Height), " pixels is not supported"});
}

namespace shared {

std::vector<std::string> FolderTreeChildren(const std::string& Path, bool Drives) {
  std::vector<std::string> paths;
  if (Drives) {
    std::string strings;
    LogicalDriveStrings(LogicalDriveStrings(0, strings) + 1, strings);
    for (size_t start = 0; start < strings.size();) {
      size_t end = strings.find('\0', start);
      if (end == std::string::npos) end = strings.size();
      if (end > start) paths.push_back(strings.substr(start, end - start));
      start = end + 1;
    }
    return paths;
  }
  if (Path.empty()) return paths;
  std::vector<DirEntry> entries;
  ListDirectory(Path, entries);
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::vector<std::string> names;
  for (const DirEntry& e : entries) {
    if (e.IsDirectory()) names.push_back(e.Name);
  }
  std::sort(names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
  for (const std::string& n : names) paths.push_back(Concat({Path, n, "\\"}));
  return paths;
}

}  // namespace shared

std::string UiDumpPath() {
  const char* path = std::getenv("WIZPAK_UI_DUMP");
  return path ? path : "";
}

namespace {

bool SameName(const std::string& A, const std::string& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

template <class Match>
const UserAction* FirstAction(const ActionTable& Actions, Match match) {
  for (const UserAction& a : Actions) {
    if (match(a)) return &a;
  }
  return nullptr;
}

}  // namespace

const UserAction* ActionOfVerb(const ActionTable& Actions, const std::string& Verb) {
  return FirstAction(Actions, [&](const UserAction& a) { return SameName(a.Verb, Verb); });
}

const UserAction* ActionOfControl(const ActionTable& Actions, const std::string& Control, ActionKind Kind) {
  return FirstAction(Actions, [&](const UserAction& a) { return a.Kind == Kind && SameName(a.Control, Control); });
}

const UserAction* ActionOfKind(const ActionTable& Actions, ActionKind Kind) {
  return FirstAction(Actions, [&](const UserAction& a) { return a.Kind == Kind; });
}

const UserAction* ActionOfKey(const ActionTable& Actions, ActionKey Key) {
  return FirstAction(Actions, [&](const UserAction& a) { return a.Key == Key; });
}

std::string ActionList(const ActionTable& Actions) {
  std::string list;
  for (const UserAction& a : Actions) {
    if (a.Kind == ActionKind::kStart) continue;
    if (!list.empty()) list += ", ";
    list += a.Verb;
    if (*a.Argument) list += std::string(" ") + a.Argument;
  }
  return list;
}

}  // namespace platform
