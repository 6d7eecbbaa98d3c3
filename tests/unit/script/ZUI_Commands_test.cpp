#include "script/ZUI_Commands.h"

#include <gtest/gtest.h>

#include "common/DigitKey.h"
#include "common/Exceptions.h"
#include "script/SE_ScriptState.h"

// The registry's order gives every command its number; these numbers are part
// of the compiled-lines format.
TEST(ZUI_Commands, RegistrationOrderKindsAndMinimums) {
  struct Row {
    const char* keyword;
    uint8_t kind;
    bool setupInfoOnly;
    int32_t min;
  };
  const Row expected[] = {
      {"goto", 0, false, 1},
      {"name", 0, true, 1},
      {"outfile", 0, true, 1},
      {"installdir", 0, true, 1},
      {"installdirregkey", 0, true, 3},
      {"iffileexists", 0, false, 3},
      {"file", 1, false, 1},
      {"delete", 0, false, 1},
      {"writeregstr", 0, false, 4},
      {"changelog", 0, true, 1},
      {"zupupdate", 2, false, 3},
      {"rmdir", 0, false, 2},
      {"createdirectory", 0, false, 1},
      {"createshortcut", 0, false, 3},
      {"message", 0, false, 1},
      {"messagebox", 0, false, 4},
      {"copyfile", 0, false, 2},
      {"language", 0, false, 1},
      {"failure", 0, false, 0},
      {"pages", 0, true, 1},
      {"shortname", 0, true, 1},
      {"uninstallpages", 0, true, 1},
      {"uninstalllanguage", 0, false, 1},
      {"prefix", 0, true, 1},
      {"uninstalllogload", 0, false, 1},
      {"uninstalllogsave", 0, false, 1},
      {"zupofficial", 0, false, 3},
      {"duplicateentry", 0, false, 3},
      {"writeregstr_url", 0, false, 3},
      {"vfsupdate", 2, false, 2},
      {"rename", 0, false, 2},
      {"execute", 0, false, 1},
      {"version", 0, true, 1},
      {"publisher", 0, true, 1},
      {"url", 0, true, 1},
      {"license", 0, true, 1},
  };
  TCommandList list;
  RegisterCommands(list);
  ASSERT_EQ(list.Count(), 36u);
  for (int32_t n = 1; n <= 36; ++n) {
    const Row& want = expected[n - 1];
    const TCommandClass* c = list.ForNumber(n);
    ASSERT_NE(c, nullptr) << n;
    EXPECT_STREQ(c->Keyword, want.keyword) << n;
    EXPECT_EQ(c->GroupKind(), want.kind) << want.keyword;
    EXPECT_EQ(c->SetupInfoOnly, want.setupInfoOnly) << want.keyword;
    EXPECT_EQ(c->MinArgs, want.min) << want.keyword;
    EXPECT_EQ(list.NumberOf(want.keyword), n);
  }
  EXPECT_EQ(list.ForNumber(0), nullptr);
  EXPECT_EQ(list.ForNumber(-1), nullptr);
  EXPECT_EQ(list.ForNumber(37), nullptr);
  EXPECT_EQ(list.NumberOf("FILE"), 7);
  EXPECT_EQ(list.NumberOf("nosuch"), 0);
}

// "goto" jumps to its target line; a damaged group number ends the run.
TEST(ZUI_Commands, GotoAndDamagedLines) {
  TCommandList list;
  RegisterCommands(list);
  TCompLines lines;
  TCompLine jump;
  jump.Command = 1;
  jump.Row = 0;
  jump.Params = {"5"};
  TCompLine bad = jump;
  bad.Params = {"start"};
  TCompLine damaged = jump;
  damaged.Params = {"files\\", AddDigitKey(kPasswordKey, "pw"), "data.zup", "x"};
  lines.Lines = {jump, bad, damaged};
  TScriptState state(lines);
  list.ForNumber(1)->SFXProcess(state, 0);
  EXPECT_EQ(state.CurrentLine, 5);
  state.CurrentLine = 1;
  list.ForNumber(1)->SFXProcess(state, 1);  // not a number: no jump
  EXPECT_EQ(state.CurrentLine, 1);
  for (const char* keyword : {"zupupdate", "vfsupdate"}) {
    try {
      list.ForNumber(list.NumberOf(keyword))->SFXProcess(state, 2);
      ADD_FAILURE() << keyword << " ran";
    } catch (const ESetupError& e) {
      EXPECT_EQ(std::string(e.what()), std::string(keyword) + ": group number \"x\" is not a number");
    }
  }
  list.ForNumber(2)->SFXProcess(state, 0);  // "name" has nothing to run
}

// The password key is 244 digits and scrambling undoes itself.
TEST(ZUI_Commands, PasswordKey) {
  std::string key = kPasswordKey;
  EXPECT_EQ(key.size(), 244u);
  EXPECT_EQ(key.find_first_not_of("0123456789"), std::string::npos);
  std::string password = "s3cr\xe9t password";
  EXPECT_EQ(SubDigitKey(kPasswordKey, AddDigitKey(kPasswordKey, password)), password);
}
