// The game archive: trailer and directory read, a small group applied as an
// update (a text and a sound), a record duplicated, then read back.
#include "common/Exceptions.h"
#include "fuzz/FuzzSupport.h"
#include "gamedata/ZU_PakSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string path = WriteInput("input.zup", Data, Size);
  static const std::string text = [] {
    const uint8_t t[] = "a member replaced or added by the update";
    return WriteInput("member.txt", t, sizeof(t));
  }();
  static const std::string wav = [] {
    uint8_t w[44 + 400] = {'R', 'I', 'F', 'F', 0,  0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
                           ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0x22, 0x56, 0,   0,   0x44, 0xAC,
                           0,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a',  0x90, 1,   0,   0};
    for (int i = 0; i < 400; ++i) w[44 + i] = static_cast<uint8_t>(i * 37);
    return WriteInput("member.wav", w, sizeof(w));
  }();
  TSilentPrompt silent;
  TPromptScope scope(silent);
  TPakSystem sys;
  sys.OnExit = [](uint32_t) {};
  try {
    sys.OpenArchive(path);
    std::string first = sys.Directory.Count() ? sys.Directory.Records().front().Name : "x";
    std::string password = sys.ExtraInfo.Password;
    for (const TArchiveEntry& e : sys.Directory.Records()) {
      if (std::optional<TBytes> stored = sys.ReadStored(e)) DecodeMember(e, *stored);
    }
    sys.CloseArchive();
    TFileMembers members({{first, text}, {"sounds\\new.wav", wav}});
    sys.UpdateArchive(members, path, password);
    sys.DuplicateEntry(path, first, "copy\\of-first");
    sys.OpenArchive(path);
    if (!sys.Directory.Find("copy\\of-first")) __builtin_trap();  // the update and the copy must be there
    sys.CloseArchive();
  } catch (const ESetupError&) {
  }
  return 0;
}
