// The wizard's vocabulary as data: the control kinds of the page layouts
// (their layout names, the properties each takes with its handler, what the
// UI dump and the page transcript show of them), the form's buttons, and the
// actions a person can take with the words the idle report and the headless
// driver use. The layout parser, the dump, the form and (through
// platform::Form::SetActions) both toolkits read these tables; a new control
// kind is one row of kControlKinds plus its two toolkit bodies.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/Widgets.h"

struct TLayoutContext;
struct TPageControl;

// One property line of a layout ("Key=Value", the key in lower case) applied
// to a control.
struct TPropertyCall {
  const TLayoutContext& Context;
  TPageControl& Control;
  const std::string& Key;
  const std::string& Value;
};
using TPropertyHandler = void (*)(const TPropertyCall& Call);

struct TPropertyRow {
  const char* Key;
  TPropertyHandler Apply;
};

// What a kind is besides its properties.
enum TKindTrait : uint32_t {
  kShowsName = 1,         // shows its own name as its text until a layout line says otherwise
  kRetranslated = 2,      // its caption is expanded again when the language changes
  kEightBitCaption = 4,   // its caption is 8-bit text
  kNotTranscribed = 8,    // the page transcript leaves it out
  kTranscribesPath = 16,  // the transcript shows its selected folder instead of its text
};

// What the UI dump shows of a kind beyond the fields of every control (page,
// name, kind, bounds, visible, enabled, text).
enum TDumpField : uint32_t {
  kDumpFont = 1,
  kDumpTransparent = 2,
  kDumpAutoSize = 4,
  kDumpWordWrap = 8,
  kDumpBorder = 16,
  kDumpPicture = 32,   // stretch, center and the picture's size
  kDumpGauge = 64,     // range, position and caption; the transcript shows the caption
  kDumpChecked = 128,  // a check box's tick
};

struct TControlKind {
  const char* LayoutName;  // "tlabel": the layout's "Type=" value, lower case
  platform::WidgetKind Kind;
  uint32_t Traits;
  std::initializer_list<TPropertyRow> Properties;
  uint32_t DumpFields;
};

// The kind a layout's "Type=" names (lower case), or null.
const TControlKind* ControlKindOfLayoutName(const std::string& LayoutName);
// The layout names of every kind, for a message: "tlabel, tedit, ...".
std::string ControlKindList();
// The row of a widget kind the layouts make, or null (the form's own kinds).
const TControlKind* ControlKindOf(platform::WidgetKind Kind);
// The handler of Key for Kind: its own properties first, then those every
// control takes (position, size, "enabled"); null when the kind takes none.
TPropertyHandler PropertyHandler(const TControlKind& Kind, const std::string& Key);

// The form's buttons, in the order the dump and the transcript list them.
struct TWizardButton {
  const char* Control;   // the widget's name
  const char* DumpName;  // its key in the dump's "buttons"
  platform::Bounds Rect;
};
constexpr int kBackButton = 0;
constexpr int kNextButton = 1;
constexpr int kCancelButton = 2;
constexpr int kLanguageButton = 3;
constexpr int kWizardButtonCount = 4;
extern const TWizardButton kWizardButtons[kWizardButtonCount];

// The install-directory page's controls, found by name on any page.
constexpr char kInstallDirEditName[] = "installdir_edit";
constexpr char kInstallDirTreeName[] = "installdir_shelltreeview";
// The licence page's check box, which the "accept" action clicks.
constexpr char kLicenseAcceptName[] = "License_Accept";

// What a person can do in the wizard: "start", "next", "back", "cancel",
// "close", "language N", "dir TEXT", "tree PATH", "accept" (the licence
// page's check box, clicked), "debug".
const platform::ActionTable& WizardActions();
