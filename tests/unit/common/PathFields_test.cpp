#include "common/PathFields.h"

#include <gtest/gtest.h>

namespace {
TPathFields Fields() {
  TPathFields f;
  f.InstallDir = "C:\\Game\\";
  f.StartMenuProgramsDir = "C:\\Start Menu\\Programs\\";
  f.ProgramFilesDir = "C:\\Program Files\\";
  f.CDDrive = "D:\\";
  return f;
}
}  // namespace

// An install directory ending in "\" followed by "\Data" gives one backslash.
TEST(PathFields, ExpandFoldsBackslashes) {
  EXPECT_EQ(ExpandPathFields(std::string("$INSTDIR\\Data"), Fields()), "C:\\Game\\Data");
  EXPECT_EQ(ExpandPathFields(std::string("$instdir\\\\\\x"), Fields()), "C:\\Game\\x");
  EXPECT_EQ(ExpandPathFields(std::string("$INSTALLDIR"), Fields()), "C:\\Game\\");
  EXPECT_EQ(ExpandPathFields(std::string("$SMPROGRAMS\\Demo\\Demo.lnk"), Fields()),
            "C:\\Start Menu\\Programs\\Demo\\Demo.lnk");
  EXPECT_EQ(ExpandPathFields(std::string("$ProgramFiles\\X"), Fields()), "C:\\Program Files\\X");
  EXPECT_EQ(ExpandPathFields(std::string("$CDDRIVE\\setup"), Fields()), "D:\\setup");
  EXPECT_EQ(ExpandPathFields(u"$INSTDIR\\\u00e9", Fields()), u"C:\\Game\\\u00e9");
}

// $INSTDIR is replaced before $INSTALLDIR could be: "$INSTALLDIR" does not
// contain "$INSTDIR", so both forms work side by side.
TEST(PathFields, ExpandOrder) {
  EXPECT_EQ(ExpandPathFields(std::string("$INSTDIR|$INSTALLDIR"), Fields()), "C:\\Game\\|C:\\Game\\");
}

TEST(PathFields, CollapseWritesFieldsBack) {
  EXPECT_EQ(CollapsePathFields(std::string("c:\\game\\data\\x.pak"), Fields()), "$INSTDIRdata\\x.pak");
  EXPECT_EQ(CollapsePathFields(std::string("C:\\Start Menu\\Programs\\Demo.lnk"), Fields()), "$SMPROGRAMSDemo.lnk");
  EXPECT_EQ(CollapsePathFields(std::string("C:\\Program Files\\Tool\\t.exe"), Fields()), "$PROGRAMFILESTool\\t.exe");
  TPathFields none;
  EXPECT_EQ(CollapsePathFields(std::string("C:\\Game\\x"), none), "C:\\Game\\x");
  // Collapsing then expanding gives the path back.
  std::string path = "C:\\Game\\sub\\file.txt";
  EXPECT_EQ(ExpandPathFields(CollapsePathFields(path, Fields()), Fields()), path);
}
