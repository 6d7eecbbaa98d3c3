#include "cli/ArchiveCli.h"

#include <cstdio>
#include <ostream>

#include "common/Strings.h"
#include "gamedata/ZU_PakSystem.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr char kHelp[] =
    "usage: wizpak archive COMMAND ...\n"
    "\n"
    "  new FILE [--password P]   write an archive with no members\n"
    "  ls FILE                   the trailer, the password (set or not), the official\n"
    "                            flag and every record: kind, stored and original\n"
    "                            size, offset, date, name\n"
    "  cat FILE NAME             a member's original bytes to standard output; a\n"
    "                            sound member as a playable WAVE file\n"
    "  add FILE NAME SRC [NAME SRC ...] [--password P]\n"
    "                            add or replace members with the bytes of files, as\n"
    "                            a patch does (P must match the archive's password)\n"
    "  official FILE CODE FLAG   set (t, true, 1) or clear the official flag\n"
    "  dup FILE SOURCE NEW       give member SOURCE the second name NEW\n"
    "\n"
    "An update interrupted by a crash or a full disk is undone the next time the\n"
    "archive is opened, from FILE.undo.\n";

std::string TrailerText(const TPakSystem& sys) {
  switch (sys.TrailerForm) {
    case TTrailerForm::kNone: return "none";
    case TTrailerForm::kOld: return "ZUP2";
    case TTrailerForm::kCurrent: break;
  }
  if (sys.TrailerTag.empty()) return "ZUP3";
  return "ZUP3 " + sys.TrailerTag + " seeds " + std::to_string(sys.SeedA) + " " + std::to_string(sys.SeedB);
}

std::string DateText(uint32_t Date) {
  uint32_t d = Date >> 16;
  char text[16];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u", 1980 + (d >> 9), (d >> 5) & 15, d & 31);
  return text;
}

// Takes "--password P" out of the arguments; false when P is missing.
bool TakePassword(std::vector<std::string>& Args, std::string& Password) {
  for (size_t i = 0; i < Args.size(); ++i) {
    if (Args[i] != "--password") continue;
    if (i + 1 >= Args.size()) return false;
    Password = Args[i + 1];
    Args.erase(Args.begin() + static_cast<std::ptrdiff_t>(i), Args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    return true;
  }
  return true;
}

}  // namespace

int RunArchiveCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  if (Args.empty() || Args[0] == "--help" || Args[0] == "-h") {
    (Args.empty() ? Err : Out) << kHelp;
    return Args.empty() ? kUsage : kOk;
  }
  const std::string verb = Args[0];
  std::vector<std::string> a(Args.begin() + 1, Args.end());
  for (const std::string& x : a) {
    if (x == "--help") {
      Out << kHelp;
      return kOk;
    }
  }
  std::string password;
  if (!TakePassword(a, password)) {
    Err << "wizpak archive " << verb << ": --password needs a value\n";
    return kUsage;
  }
  // Arguments each command takes after its name ("add" takes pairs).
  const size_t need = verb == "new" || verb == "ls" ? 1 : verb == "cat" ? 2 : verb == "official" || verb == "dup" ? 3 : 0;
  if (need == 0 && verb != "add") {
    Err << "wizpak archive: unknown command '" << verb << "'\n\n" << kHelp;
    return kUsage;
  }
  bool countOk = verb == "add" ? a.size() >= 3 && a.size() % 2 == 1 : a.size() == need;
  if (!countOk || (!password.empty() && verb != "new" && verb != "add")) {
    Err << kHelp;
    return kUsage;
  }

  // The tool reports what the setup program would end with, and goes on.
  TPakSystem sys;
  sys.OnExit = [](uint32_t) {};
  const std::string& file = a[0];
  try {
    if (verb == "new") {
      sys.CreateArchive(file, password);
      Out << file << ": empty archive" << (password.empty() ? "" : ", password set") << "\n";
      return kOk;
    }
    if (verb == "add") {
      std::vector<TFileMembers::Item> items;
      for (size_t i = 1; i + 1 < a.size(); i += 2) {
        if (!platform::FileExists(a[i + 1])) {
          Err << "wizpak archive add: " << a[i + 1] << ": no such file\n";
          return kFailed;
        }
        items.push_back({a[i], a[i + 1]});
      }
      TFileMembers members(items);
      sys.UpdateArchive(members, file, password);
      Out << file << ": " << items.size() << " member(s) applied\n";
      return kOk;
    }
    if (verb == "official") {
      if (LowerAscii(a[1]) != kOfficialAccessCode) {
        Err << "wizpak archive official: wrong access code; " << file << " is unchanged\n";
        return kFailed;
      }
      sys.SetOfficial(file, a[1], a[2]);
      Out << file << ": official " << (sys.ExtraInfo.Official ? "set" : "cleared") << "\n";
      return kOk;
    }
    sys.OpenArchive(file);
    if (sys.Restored) Err << file << ": an interrupted update was undone\n";
    if (verb == "ls") {
      Out << "trailer: " << TrailerText(sys) << "\n";
      Out << "password: " << (sys.ExtraInfo.HasPassword ? "set" : "none") << "\n";
      Out << "official: " << (sys.ExtraInfo.Official ? "yes" : "no") << "\n";
      Out << "members: " << sys.Directory.Count() << "\n";
      for (const TArchiveEntry& e : sys.Directory.Records()) {
        Out << static_cast<int>(e.Kind) << " " << e.StoredSize << " " << e.OrigSize << " " << e.Offset << " "
            << DateText(e.Date) << " " << e.Name << "\n";
      }
      sys.CloseArchive();
      return kOk;
    }
    const TArchiveEntry* e = sys.Directory.Find(a[1]);
    if (!e) {
      sys.CloseArchive();
      Err << "wizpak archive " << verb << ": " << file << ": no member " << a[1] << "\n";
      return kFailed;
    }
    if (verb == "cat") {
      std::optional<TBytes> stored = sys.ReadStored(*e);
      std::optional<TBytes> bytes = stored ? DecodeMember(*e, *stored) : std::nullopt;
      sys.CloseArchive();
      if (!bytes) {
        Err << "wizpak archive cat: " << file << ": member " << a[1] << " is damaged\n";
        return kFailed;
      }
      Out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
      return kOk;
    }
    sys.CloseArchive();
    sys.DuplicateEntry(file, a[1], a[2]);
    Out << file << ": " << a[2] << " names the data of " << a[1] << "\n";
    return kOk;
  } catch (const ESetupError& e) {
    std::string text = e.what();
    for (char& ch : text) {
      if (ch == '\r') ch = ' ';
    }
    Err << "wizpak archive " << verb << ": " << text << "\n";
  }
  return kFailed;
}
