#include "cli/ArchiveCli.h"

#include <cstdio>
#include <ostream>

#include "cli/Verbs.h"
#include "common/Strings.h"
#include "gamedata/ZU_PakSystem.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// One call of the tool: the verb's arguments (the archive first), the
// password option and the archive system it works through.
struct TArchiveCall {
  std::vector<std::string> Args;
  std::string Password;
  TPakSystem System;
  std::ostream& Out;
  std::ostream& Err;
};

std::string TrailerText(const TPakSystem& sys) {
  switch (sys.TrailerForm) {
    case TTrailerForm::kNone:
      return "none";
    case TTrailerForm::kOld:
      return "ZUP2";
    case TTrailerForm::kCurrent:
      break;
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

int New(TArchiveCall& c) {
  const std::string& file = c.Args[0];
  c.System.CreateArchive(file, c.Password);
  c.Out << file << ": empty archive" << (c.Password.empty() ? "" : ", password set") << "\n";
  return kOk;
}

int List(TArchiveCall& c) {
  TPakSystem& sys = c.System;
  sys.OpenArchive(c.Args[0]);
  if (sys.Restored) c.Err << c.Args[0] << ": an interrupted update was undone\n";
  c.Out << "trailer: " << TrailerText(sys) << "\n";
  c.Out << "password: " << (sys.ExtraInfo.HasPassword ? "set" : "none") << "\n";
  c.Out << "official: " << (sys.ExtraInfo.Official ? "yes" : "no") << "\n";
  c.Out << "members: " << sys.Directory.Count() << "\n";
  for (const TArchiveEntry& e : sys.Directory.Records()) {
    c.Out << static_cast<int>(e.Kind) << " " << e.StoredSize << " " << e.OrigSize << " " << e.Offset << " "
          << DateText(e.Date) << " " << e.Name << "\n";
  }
  sys.CloseArchive();
  return kOk;
}

// Opens the archive and finds member Name; null (said on Err, the archive
// closed) when there is none.
const TArchiveEntry* OpenAtMember(TArchiveCall& c, const char* verb, const std::string& Name) {
  c.System.OpenArchive(c.Args[0]);
  if (c.System.Restored) c.Err << c.Args[0] << ": an interrupted update was undone\n";
  const TArchiveEntry* e = c.System.Directory.Find(Name);
  if (!e) {
    c.System.CloseArchive();
    c.Err << "wizpak archive " << verb << ": " << c.Args[0] << ": no member " << Name << "\n";
  }
  return e;
}

int Cat(TArchiveCall& c) {
  const TArchiveEntry* e = OpenAtMember(c, "cat", c.Args[1]);
  if (!e) return kFailed;
  std::optional<TBytes> stored = c.System.ReadStored(*e);
  const TArchiveEntry entry = *e;
  c.System.CloseArchive();
  // Streamed as it inflates; the length is known to be right only at the end.
  bool written = true;
  bool ok = stored && DecodeMemberTo(entry, *stored, [&](const uint8_t* piece, size_t count) {
              c.Out.write(reinterpret_cast<const char*>(piece), static_cast<std::streamsize>(count));
              return written = c.Out.good();
            });
  if (!written) {
    c.Err << "wizpak archive cat: cannot write the member to the output\n";
    return kFailed;
  }
  if (!ok) {
    c.Err << "wizpak archive cat: " << c.Args[0] << ": member " << c.Args[1] << " is damaged\n";
    return kFailed;
  }
  return kOk;
}

int Add(TArchiveCall& c) {
  const std::vector<std::string>& a = c.Args;
  std::vector<TFileMembers::Item> items;
  for (size_t i = 1; i + 1 < a.size(); i += 2) {
    if (!platform::FileExists(a[i + 1])) {
      c.Err << "wizpak archive add: " << a[i + 1] << ": no such file\n";
      return kFailed;
    }
    items.push_back({a[i], a[i + 1]});
  }
  TFileMembers members(items);
  c.System.UpdateArchive(members, a[0], c.Password);
  c.Out << a[0] << ": " << items.size() << " member(s) applied\n";
  return kOk;
}

int Official(TArchiveCall& c) {
  const std::vector<std::string>& a = c.Args;
  if (LowerAscii(a[1]) != kOfficialAccessCode) {
    c.Err << "wizpak archive official: wrong access code; " << a[0] << " is unchanged\n";
    return kFailed;
  }
  c.System.SetOfficial(a[0], a[1], a[2]);
  c.Out << a[0] << ": official " << (c.System.ExtraInfo.Official ? "set" : "cleared") << "\n";
  return kOk;
}

int Duplicate(TArchiveCall& c) {
  const std::vector<std::string>& a = c.Args;
  if (!OpenAtMember(c, "dup", a[1])) return kFailed;
  c.System.CloseArchive();
  c.System.DuplicateEntry(a[0], a[1], a[2]);
  c.Out << a[0] << ": " << a[2] << " names the data of " << a[1] << "\n";
  return kOk;
}

const TVerb<TArchiveCall> kVerbs[] = {
    {"new", 1, 1, "  new FILE [--password P]   write an archive with no members\n", New},
    {"ls", 1, 1,
     "  ls FILE                   the trailer, the password (set or not), the official\n"
     "                            flag and every record: kind, stored and original\n"
     "                            size, offset, date, name\n",
     List},
    {"cat", 2, 2,
     "  cat FILE NAME             a member's original bytes to standard output; a\n"
     "                            sound member as a playable WAVE file\n",
     Cat},
    {"add", 3, kAnyCount,
     "  add FILE NAME SRC [NAME SRC ...] [--password P]\n"
     "                            add or replace members with the bytes of files, as\n"
     "                            a patch does (P must match the archive's password)\n",
     Add},
    {"official", 3, 3, "  official FILE CODE FLAG   set (t, true, 1) or clear the official flag\n", Official},
    {"dup", 3, 3, "  dup FILE SOURCE NEW       give member SOURCE the second name NEW\n", Duplicate},
};

std::string Help() {
  return VerbUsage("wizpak archive", kVerbs,
                   "\n"
                   "An update interrupted by a crash or a full disk is undone the next time the\n"
                   "archive is opened, from FILE.undo.\n");
}

}  // namespace

int RunArchiveCli(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
  if (Args.empty() || Args[0] == "--help" || Args[0] == "-h") {
    (Args.empty() ? Err : Out) << Help();
    return Args.empty() ? kUsage : kOk;
  }
  const std::string verb = Args[0];
  TArchiveCall call{{Args.begin() + 1, Args.end()}, {}, {}, Out, Err};
  for (const std::string& x : call.Args) {
    if (x == "--help") {
      Out << Help();
      return kOk;
    }
  }
  if (!TakePassword(call.Args, call.Password)) {
    Err << "wizpak archive " << verb << ": --password needs a value\n";
    return kUsage;
  }
  const TVerb<TArchiveCall>* v = FindVerb(kVerbs, verb);
  if (!v) {
    Err << "wizpak archive: unknown command '" << verb << "'\n\n" << Help();
    return kUsage;
  }
  // "add" takes pairs; only "new" and "add" take a password.
  bool countOk = CountFits(*v, call.Args.size()) && (v->Run != Add || call.Args.size() % 2 == 1);
  if (!countOk || (!call.Password.empty() && v->Run != New && v->Run != Add)) {
    Err << Help();
    return kUsage;
  }
  // The tool reports what the setup program would end with, and goes on.
  call.System.OnExit = [](uint32_t) {};
  try {
    return v->Run(call);
  } catch (const ESetupError& e) {
    std::string text = e.what();
    for (char& ch : text) {
      if (ch == '\r') ch = ' ';
    }
    Err << "wizpak archive " << verb << ": " << text << "\n";
  }
  return kFailed;
}
