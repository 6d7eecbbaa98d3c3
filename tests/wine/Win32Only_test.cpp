// What only the real Windows layer can show: the registry through advapi32
// under HKLM, the process's own path, and a link written by the host layer
// opened by the Windows shell.
#include <gtest/gtest.h>

#include "common/Strings.h"
#include "platform/Platform.h"

using namespace platform;

TEST(Win32, LocalMachineRegistry) {
  Registry reg;
  reg.SetRoot(kRootLocalMachine);
  const std::string key = "SOFTWARE\\wizpak-test\\Win32";
  ASSERT_TRUE(reg.OpenKey(key + "\\Sub", true));
  EXPECT_TRUE(reg.WriteString("DisplayName", "Demo Game"));
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey(key + "\\SUB", false));
  std::string value;
  EXPECT_TRUE(reg.ReadString("displayname", value));
  EXPECT_EQ(value, "Demo Game");
  reg.CloseKey();
  // A key with subkeys is deleted whole.
  EXPECT_TRUE(reg.DeleteKey("SOFTWARE\\wizpak-test"));
  EXPECT_FALSE(reg.KeyExists(key));
}

TEST(Win32, ProcessFacts) {
  std::string self = ExecutablePath();
  ASSERT_GT(self.size(), 4u);
  EXPECT_TRUE(SameTextAscii(self.substr(self.size() - 4), ".exe")) << self;
  EXPECT_TRUE(FileExists(self));
  HardenDllSearchPath();
}

#ifdef WIZPAK_TEST_DATA_DIR
// tests/data/host-written.lnk is what the host layer writes for the link below
// (the host tests compare it byte for byte); the Windows shell reads it back.
TEST(Win32, HostWrittenLinkOpensInTheShell) {
  ShellLink link;
  ASSERT_TRUE(LoadShellLink(std::string(WIZPAK_TEST_DATA_DIR) + "\\host-written.lnk", link));
  EXPECT_EQ(link.Target, "C:\\Games\\Demo Game\\demo.exe");
  EXPECT_EQ(link.Arguments, "-windowed");
  EXPECT_EQ(link.WorkingDir, "C:\\Games\\Demo Game\\");
  EXPECT_EQ(link.IconPath, "C:\\Games\\Demo Game\\demo.ico");
  EXPECT_EQ(link.IconIndex, 2);
}
#endif

#include <windows.h>

#include "common/FileUtils.h"
#include "script/SE_Uninstaller.h"

#undef CopyFile
#undef DeleteFile

// ChangeIcon puts the icon file's first image into icon resource 1.
TEST(Win32, ChangeIconReplacesIconOne) {
  std::string copy = platform::TempPath() + "wizpak-icon-test.exe";
  ASSERT_TRUE(platform::CopyFile(ExecutablePath(), copy, false));
  // A 1x1 icon: header, one directory entry, a tiny image.
  TBytes image(48, 0x5A);
  const uint8_t header[16] = {40, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 32, 0};
  std::copy(header, header + 16, image.begin());
  TBytes ico = {0, 0, 1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 32, 0};
  ico.push_back(static_cast<uint8_t>(image.size()));
  ico.insert(ico.end(), {0, 0, 0, 22, 0, 0, 0});
  ico.insert(ico.end(), image.begin(), image.end());
  std::string icon = platform::TempPath() + "wizpak-icon-test.ico";
  ASSERT_TRUE(WriteWholeFile(icon, ico.data(), static_cast<uint32_t>(ico.size()), nullptr));
  ASSERT_TRUE(ChangeIcon(icon, copy));
  HMODULE module = ::LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC res = ::FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(3));
  ASSERT_NE(res, nullptr);
  ASSERT_EQ(::SizeofResource(module, res), image.size());
  const auto* bytes = static_cast<const uint8_t*>(::LockResource(::LoadResource(module, res)));
  EXPECT_EQ(TBytes(bytes, bytes + image.size()), image);
  ::FreeLibrary(module);
  EXPECT_FALSE(ChangeIcon(icon + ".missing", copy));
  platform::DeleteFile(copy);
  platform::DeleteFile(icon);
}

#include "platform/Widgets.h"
#include "ui/SE_Parser.h"

// The form's client area and the fonts the windows really select: the form's
// "MS Shell Dlg 2" 8 points for controls that set none, a label's own face,
// size and style; a colour stays the panel's until one is set.
TEST(Win32Widgets, FormAndFonts) {
  std::unique_ptr<platform::Form> form = platform::CreateForm();
  ASSERT_TRUE(form);
  form->Self().SetBounds({0, 0, 578, 413});
  EXPECT_EQ(form->Self().GetBounds(), (platform::Bounds{0, 0, 578, 413}));
  platform::Bounds outer = form->ScreenRect();
  EXPECT_GE(outer.Width, 578);
  EXPECT_GE(outer.Height, 413);
  platform::Widget& panel = form->Create(platform::WidgetKind::kPanel, "Panel1", nullptr);
  panel.SetBounds({0, 0, 578, 375});
  platform::Widget& plain = form->Create(platform::WidgetKind::kLabel, "Plain", &panel);
  platform::FontSpec font = plain.GetFont();
  EXPECT_EQ(font.Face, "MS Shell Dlg 2");
  EXPECT_EQ(font.Size, 8);
  EXPECT_FALSE(font.Bold);
  EXPECT_FALSE(font.HasColour);
  platform::Widget& title = form->Create(platform::WidgetKind::kLabel, "Title", &panel);
  platform::FontSpec own;
  own.ParentFont = false;
  own.Face = "Arial";
  own.Size = 12;
  own.Bold = true;
  own.HasColour = true;
  own.Colour = 0xFFFFFF;
  title.SetFont(own);
  font = title.GetFont();
  EXPECT_EQ(font.Face, "Arial");
  EXPECT_EQ(font.Size, 12);
  EXPECT_TRUE(font.Bold);
  EXPECT_TRUE(font.HasColour);
  EXPECT_EQ(font.Colour, 0xFFFFFFu);
  // Positions are read back relative to the panel.
  title.SetFlag(platform::WidgetFlag::kAutoSize, false);
  title.SetBounds({220, 120, 264, 16});
  EXPECT_EQ(title.GetBounds(), (platform::Bounds{220, 120, 264, 16}));
  title.SetVisible(false);
  EXPECT_FALSE(title.IsVisible());
  title.SetText(u"line one\rline two");
  EXPECT_EQ(title.GetText(), u"line one\rline two");
  // A self-sizing label takes the size of its text.
  plain.SetText(u"Welcome to Demo Game");
  EXPECT_GT(plain.GetBounds().Width, 40);
  EXPECT_GT(plain.GetBounds().Height, 5);
}

// A log-off or shut-down asks the form as its close box does: refused while
// the question refuses (the run working), allowed otherwise; the block reason
// comes and goes with the busy state.
TEST(Win32Widgets, EndOfSessionAsksTheForm) {
  std::unique_ptr<platform::Form> form = platform::CreateForm();
  form->Self().SetText(u" Session Test");
  HWND window = ::FindWindowW(nullptr, L" Session Test");
  ASSERT_NE(window, nullptr);
  bool working = true;
  int asked = 0;
  form->SetOnCloseQuery([&] {
    ++asked;
    return !working;
  });
  form->SetBusy(true);
  EXPECT_EQ(::SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_FALSE(form->Closed());
  working = false;
  form->SetBusy(false);
  EXPECT_NE(::SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(form->Closed());
  ::SendMessageW(window, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(form->Closed());
}

// The system's rich-edit box shows rich text as its plain text, line breaks
// as carriage returns; plain text is taken as it is.
TEST(Win32Widgets, RichEditShowsRichText) {
  std::unique_ptr<platform::Form> form = platform::CreateForm();
  platform::Widget& box = form->Create(platform::WidgetKind::kRichEdit, "Changes", nullptr);
  box.SetBounds({0, 0, 300, 100});
  box.LoadRichText("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 First\\par Second \\'e9}");
  EXPECT_EQ(box.GetText(), u"First\rSecond \u00e9");
  EXPECT_TRUE(box.GetFlag(platform::WidgetFlag::kBorder));
  box.SetFlag(platform::WidgetFlag::kBorder, false);
  EXPECT_FALSE(box.GetFlag(platform::WidgetFlag::kBorder));
}

// The folder tree: the desktop, "My Documents", "My Computer" at position 2
// with the drives under it; a folder selected by path is found and made.
TEST(Win32Widgets, FolderTreePaths) {
  std::unique_ptr<platform::Form> form = platform::CreateForm();
  platform::Widget& tree = form->Create(platform::WidgetKind::kShellTree, "Tree", nullptr);
  ASSERT_GE(tree.NodeCount(), 3);
  EXPECT_EQ(tree.NodePath(2), "");  // "My Computer" has no folder path
  tree.ExpandNode(2);
  bool drive = false;
  for (int32_t i = 0; i < tree.NodeCount(); ++i) drive = drive || tree.NodePath(i) == "C:\\";
  EXPECT_TRUE(drive);
  std::string windows = platform::SpecialFolder(platform::kCsidlWindows);
  ASSERT_FALSE(windows.empty());
  tree.SelectPath(windows + "\\");
  EXPECT_TRUE(SameTextAscii(tree.SelectedPath(), windows + "\\")) << tree.SelectedPath();

  // With My Documents opened, its folders stand before My Computer: a path is
  // still found from My Computer.
  std::string documents = platform::SpecialFolder(platform::kCsidlPersonal);
  ASSERT_FALSE(documents.empty());
  ::CreateDirectoryA((documents + "\\Tree Test").c_str(), nullptr);
  std::unique_ptr<platform::Form> again = platform::CreateForm();
  platform::Widget& second = again->Create(platform::WidgetKind::kShellTree, "Tree", nullptr);
  second.ExpandNode(1);
  ASSERT_GT(second.NodeCount(), 3);
  EXPECT_NE(second.NodePath(2), "");  // a folder of My Documents
  second.SelectPath(windows + "\\");
  EXPECT_TRUE(SameTextAscii(second.SelectedPath(), windows + "\\")) << second.SelectedPath();
  ::RemoveDirectoryA((documents + "\\Tree Test").c_str());
}

// Metafiles are drawn by the system at their own size.
TEST(Win32Widgets, EnhancedMetafile) {
  RECT frame = {0, 0, 2000, 1000};  // hundredths of a millimetre
  HDC dc = ::CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  ASSERT_NE(dc, nullptr);
  HBRUSH red = ::CreateSolidBrush(RGB(255, 0, 0));
  RECT box = {0, 0, 40, 20};
  ::FillRect(dc, &box, red);
  ::DeleteObject(red);
  HENHMETAFILE meta = ::CloseEnhMetaFile(dc);
  UINT size = ::GetEnhMetaFileBits(meta, 0, nullptr);
  std::vector<uint8_t> bytes(size);
  ::GetEnhMetaFileBits(meta, size, bytes.data());
  ::DeleteEnhMetaFile(meta);
  platform::Picture picture;
  std::string error;
  ASSERT_TRUE(DecodePicture("logo.EMF", bytes.data(), bytes.size(), picture, error)) << error;
  EXPECT_EQ(picture.Width, 40u);
  EXPECT_EQ(picture.Height, 20u);
  EXPECT_EQ(picture.Pixels[0], 0xFF0000u);
  EXPECT_FALSE(DecodePicture("broken.wmf", bytes.data(), 30, picture, error));
}

namespace {

// A metafile of a few kinds of records: a filled box, a line, some text.
std::vector<uint8_t> SeedEnhancedMetafile() {
  RECT frame = {0, 0, 3000, 2000};
  HDC dc = ::CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  HBRUSH blue = ::CreateSolidBrush(RGB(0, 0, 255));
  RECT box = {2, 2, 50, 30};
  ::FillRect(dc, &box, blue);
  ::DeleteObject(blue);
  POINT line[3] = {{0, 0}, {60, 40}, {10, 70}};
  ::Polyline(dc, line, 3);
  ::TextOutW(dc, 5, 40, L"Demo", 4);
  HENHMETAFILE meta = ::CloseEnhMetaFile(dc);
  std::vector<uint8_t> bytes(::GetEnhMetaFileBits(meta, 0, nullptr));
  ::GetEnhMetaFileBits(meta, static_cast<UINT>(bytes.size()), bytes.data());
  ::DeleteEnhMetaFile(meta);
  return bytes;
}

// The same drawing as a placeable Windows metafile: the 22-byte head
// (key, bounds, units per inch, checksum) before the records.
std::vector<uint8_t> SeedPlaceableMetafile() {
  HDC dc = ::CreateMetaFileW(nullptr);
  ::Rectangle(dc, 0, 0, 80, 60);
  ::MoveToEx(dc, 0, 0, nullptr);
  ::LineTo(dc, 80, 60);
  ::TextOutW(dc, 4, 20, L"Demo", 4);
  HMETAFILE meta = ::CloseMetaFile(dc);
  std::vector<uint8_t> body(::GetMetaFileBitsEx(meta, 0, nullptr));
  ::GetMetaFileBitsEx(meta, static_cast<UINT>(body.size()), body.data());
  ::DeleteMetaFile(meta);
  const uint16_t head[11] = {0xCDD7, 0x9AC6, 0, 0, 0, 80, 60, 96, 0, 0, 0};
  std::vector<uint8_t> bytes(22);
  for (int i = 0; i < 11; ++i) bytes[i * 2] = head[i] & 0xFF, bytes[i * 2 + 1] = head[i] >> 8;
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

}  // namespace

// The metafile decoder's own part (the placeable head, the size taken from
// the header, the bitmap it plays into) and the system's reader behind it,
// fed damaged copies of both kinds: bytes changed, 32-bit fields set to
// extremes, copies cut short. Each is refused or decoded within the size
// limit; none crashes or hangs.
TEST(Win32Widgets, DamagedMetafilesAreRefusedOrDrawn) {
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds = {{"seed.emf", SeedEnhancedMetafile()},
                                                                           {"seed.wmf", SeedPlaceableMetafile()}};
  uint32_t random = 0x2545F491u;
  auto next = [&random] {
    random ^= random << 13;
    random ^= random >> 17;
    random ^= random << 5;
    return random;
  };
  int decoded = 0, refused = 0;
  for (const auto& [name, seed] : seeds) {
    ASSERT_GT(seed.size(), 60u) << name;
    platform::Picture picture;
    std::string error;
    ASSERT_TRUE(DecodePicture(name, seed.data(), seed.size(), picture, error)) << name << ": " << error;
    for (int round = 0; round < 1500; ++round) {
      std::vector<uint8_t> bytes = seed;
      switch (next() % 3) {
        case 0:
          for (uint32_t n = next() % 8 + 1; n > 0; --n) bytes[next() % bytes.size()] ^= 1u << (next() % 8);
          break;
        case 1: {
          static const uint32_t extremes[] = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x10000u};
          size_t at = (next() % (bytes.size() / 4)) * 4;
          uint32_t v = extremes[next() % 6];
          for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
          break;
        }
        default:
          bytes.resize(next() % bytes.size());
          break;
      }
      platform::Picture out;
      if (DecodePicture(name, bytes.data(), bytes.size(), out, error)) {
        ++decoded;
        EXPECT_LE(out.Width, 4096u);
        EXPECT_LE(out.Height, 4096u);
        EXPECT_EQ(out.Pixels.size(), static_cast<size_t>(out.Width) * out.Height);
      } else {
        ++refused;
        EXPECT_FALSE(error.empty());
      }
    }
  }
  EXPECT_GT(decoded, 0);
  EXPECT_GT(refused, 0);
}
