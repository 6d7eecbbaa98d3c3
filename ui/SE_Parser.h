// The page layout language and the page set: layout texts from package
// entries become controls on the wizard's page panel; "Pages.txt" lists the
// pages, their types and the panel's colours.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "platform/Widgets.h"
#include "ui/WizardVocabulary.h"

class TPak;
class TLanguages;
class TLanguageStrings;

// A list of 8-bit lines, each with the number of the text line it came from
// (1-based; 0 when unknown); Get outside the list gives the empty string.
class TStringList {
 public:
  void Add(const std::string& Text, int32_t Line = 0) {
    items_.push_back(Text);
    lines_.push_back(Line);
  }
  const std::string& Get(int32_t Index) const;
  int32_t LineOf(int32_t Index) const;
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void Clear() {
    items_.clear();
    lines_.clear();
  }

 private:
  std::vector<std::string> items_;
  std::vector<int32_t> lines_;
};

// The line reader: text up to the first NUL, cut at every CR, each piece
// trimmed of characters up to 0x20; the piece after the last CR only when it
// is not empty. Empty lines stay in the list.
TStringList ReadLines(const uint8_t* Data, size_t Size);

// The page set's own entry, which names its layouts.
constexpr char kPageSetEntry[] = "Pages.txt";

// Page types, the byte each page keeps.
constexpr uint8_t kPageWelcome = 0;
constexpr uint8_t kPageChangelog = 1;
constexpr uint8_t kPageInstallDir = 2;
constexpr uint8_t kPagePatch = 3;
constexpr uint8_t kPagePatching = 4;
constexpr uint8_t kPageFinish = 5;
constexpr uint8_t kPageMainLayout = 6;
constexpr uint8_t kPageUninstall = 7;
constexpr uint8_t kPageLicense = 8;  // Next only once every check box of the page is ticked
constexpr uint8_t kPageTypeCount = 9;
// "welcome", "installdir", ...: the type names in lower case.
const char* PageTypeName(uint8_t Type);

// What the setup would refuse or lose in a page set, found by the builder's
// check (ui/LayoutCheck words it): the entry and its line, what is wrong
// there and what it is about.
enum class TLayoutFault : uint8_t {
  kNoPageSet,        // Name: the page set's entry
  kNoLayout,         // Name: the layout a page names
  kNoPicture,        // Name: the picture a control names
  kBadPicture,       // Name: the picture; Detail: why it cannot be shown
  kNoFile,           // Name: a rich-text box's "File="; Detail: the entry it names
  kUnknownPageType,  // Name: the type
  kTypeWithoutPage,  // Name: the type
  kUnknownControl,   // Name: the "Type=" value
  kNoTypeLine,       // Name: the section's header
  kRefused,          // Detail: the setup's own message (a bad name or value)
};
struct TPropertyCall;
using TPropertyHandler = void (*)(const TPropertyCall& Call);
// The check's side of the parser (ui/LayoutCheck keeps what it is told): the
// setup itself has none, so none of it is in the setup program.
class TLayoutProblems {
 public:
  std::string Entry;  // where the parser is reading
  int32_t Line = 0;
  // A problem at Entry and Line.
  virtual void Add(TLayoutFault Fault, const std::string& Name, const std::string& Detail = {}) = 0;
  // Applies a property; a value the setup refuses is added as kRefused.
  virtual void Apply(TPropertyHandler Handler, const TPropertyCall& Call) = 0;
  // A setting's integer; one the setup refuses is added as kRefused (0).
  virtual int32_t Integer(const std::string& Text) = 0;

 protected:
  ~TLayoutProblems() = default;
};

// A group-0 entry's data by name (any letter case); nothing when missing.
using TEntryLookup = std::function<std::optional<TBytes>(const std::string& Name)>;

// What the layouts are built from, shared by every page of a set.
struct TLayoutContext {
  TPak* Pak = nullptr;
  // Where entries come from when there is no package (the builder's check).
  TEntryLookup Lookup;
  // Set by the builder's check: a missing layout, picture or file, an unknown
  // page or control type, a bad name or value is recorded here with its entry
  // and line, instead of a message box or an exception.
  TLayoutProblems* Problems = nullptr;
  const TLanguages* Languages = nullptr;
  const TLanguageStrings* Fields = nullptr;
  platform::Form* Form = nullptr;
  platform::Widget* Panel = nullptr;
  // Names of every control on the panel, lower case (unique across the set).
  std::set<std::string> Names;
};

// One control of a page: its widget, its kind as the layout named it
// ("tlabel", ...) and the raw caption value that translation expands again.
struct TPageControl {
  platform::Widget* Widget = nullptr;
  std::string Kind;
  WideString CaptionTemplate;
  const TControlKind* KindRow = nullptr;
};

// A caption's text as shown: language tokens, then "<BR>" as a line break,
// then the template fields; 8-bit text for a kind whose caption is.
WideString ShownCaption(const TLayoutContext& Context, const TPageControl& Control);

// A group-0 entry of the context's package or lookup; nothing when missing.
std::optional<TBytes> LayoutEntry(const TLayoutContext& Context, const std::string& Name);

// One page: reads a layout entry and creates its controls.
class TControlParser {
 public:
  explicit TControlParser(TLayoutContext& Context) : context_(Context) {}

  // Reads the layout entry (group 0) and creates its controls. A missing
  // entry shows "Missing File" and leaves the page empty; an invalid integer,
  // an invalid or duplicate name or a bad "<LANG" token raise ESetupError.
  void LoadFromEntry(const std::string& Name);
  void HideControls();
  void ShowControls();
  // Behind every other control of the panel, the page's own order kept.
  void SendControlsToBack();
  // Labels and panels get their caption template expanded again.
  void TranslateCaptions();

  const std::vector<TPageControl>& Controls() const { return controls_; }
  uint8_t PageType = kPageWelcome;

 private:
  void BuildControl(const TStringList& Section);

  TLayoutContext& context_;
  std::vector<TPageControl> controls_;
};

// The page set. Buttons are the form's; the set shows one page at a time and
// sets the buttons by the page's type.
class TSEPageControl {
 public:
  TSEPageControl(platform::Widget& Back, platform::Widget& Panel, platform::Widget& LanguageButton,
                 platform::Widget& Cancel, platform::Widget& Next, TLayoutContext& Context);

  // Reads the page-set entry (group 0) and applies its sections. A missing
  // entry shows "Missing File" and leaves the set empty; a setting that is
  // no integer raises ESetupError.
  void LoadPageSet(const std::string& Name);
  void AddPage(const std::string& Layout);
  // Makes page Index current and sets the buttons; an index outside the
  // pages changes nothing.
  void ShowPage(int32_t Index);
  void TranslatePages();
  // Whether every check box of page Index is ticked (a licence page lets
  // Next go on only then).
  bool Accepted(int32_t Index) const;

  int32_t CurrentPage() const { return current_; }
  int32_t PageCount() const { return static_cast<int32_t>(pages_.size()); }
  uint8_t PageType(int32_t Index) const { return pages_[Index]->PageType; }
  const TControlParser& Page(int32_t Index) const { return *pages_[Index]; }
  uint32_t BackgroundColour() const { return background_; }
  uint32_t FontColour() const { return fontColour_; }

 private:
  void ApplySection(const TStringList& Section);

  platform::Widget& back_;
  platform::Widget& next_;
  platform::Widget& cancel_;
  platform::Widget& language_;
  TLayoutContext& context_;
  int32_t current_ = 0;
  std::vector<std::unique_ptr<TControlParser>> pages_;
  uint32_t background_ = 0xFFFFFF;
  uint32_t fontColour_ = 0x000000;
};

// Decodes a picture entry by its name's extension: JPEG, Windows bitmap or
// icon. False, with Error naming the reason, for anything else or damaged
// data (metafiles are shown on Windows only).
bool DecodePicture(const std::string& Name, const uint8_t* Data, size_t Size, platform::Picture& Image,
                   std::string& Error);
