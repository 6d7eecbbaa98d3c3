// The toolkit seam of the wizard: controls of every kind the page layouts and
// the main form use, their properties set and read back, callbacks, a message
// loop and work posted to the UI thread. Win32Widgets makes real windows;
// HostWidgets keeps the controls in memory and lets a headless driver act as
// the person in front of the screen. The wizard's logic lives above the seam
// and reads every property back through it, so the UI dump of both faces
// comes from the same calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform {

enum class WidgetKind {
  kForm,
  kPanel,
  kBevel,
  kLabel,
  kEdit,
  kShellTree,
  kButton,
  kImage,
  kMemo,
  kRichEdit,
  kGauge,
  kCheckBox,  // a check box with its caption; a click ticks or clears it
};

// The font a control shows. ParentFont: the control takes its parent's font
// (GetFont then gives the parent's face, size and style). Without HasColour
// the text has the parent's colour (window text for the form).
struct FontSpec {
  bool ParentFont = true;
  std::string Face = "MS Shell Dlg 2";
  int32_t Size = 8;
  bool Bold = false;
  bool HasColour = false;
  uint32_t Colour = 0;  // 0x00BBGGRR
};

struct Bounds {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const Bounds&) const = default;
};

// A picture held by an image control: 32-bit pixels 0x00RRGGBB, rows top
// to bottom.
struct Picture {
  uint32_t Width = 0;
  uint32_t Height = 0;
  std::vector<uint32_t> Pixels;
  bool Empty() const { return Width == 0 || Height == 0; }
};

// Boolean properties; each kind takes the ones the layouts give it.
enum class WidgetFlag {
  kAutoSize,
  kWordWrap,
  kTransparent,
  kBorder,
  kStretch,
  kCenter,
  kChecked,  // a check box's tick
};

// The gradient gauge: range, position and colours with the rules of the
// drawn progress bar (a maximum not above the minimum, or a minimum not below
// the maximum, is ignored; a position outside the range is clamped).
struct GaugeState {
  int32_t Minimum = 0;
  int32_t Maximum = 100;
  int32_t Position = 0;
  uint32_t ForeColour = 0xD1AA94;  // both gradient colours
  uint32_t BackColour = 0xFFFFFF;
  uint32_t BorderColour = 0x876E5A;

  void SetMinimum(int32_t Value);
  void SetMaximum(int32_t Value);
  void SetPosition(int32_t Value);
  // (position - minimum) / (maximum - minimum) x 100, rounded; 0 while the
  // maximum is not above zero.
  int32_t Percent() const;
  // The automatic caption: the truncated percentage and "%".
  std::string Caption() const;
};

// Draws the gauge into Pixels (Width x Height, 0x00RRGGBB, rows top to
// bottom): the border, the filled part and the back colour; the caption is
// the backend's to draw on top. Both backends call it.
void DrawGauge(const GaugeState& Gauge, uint32_t Width, uint32_t Height, std::vector<uint32_t>& Pixels);

// A wizard page is 578 x 375: 16 megapixels (64 MB decoded) is far beyond any
// picture it shows, and keeps a few hundred bytes claiming a giant picture
// (a JPEG, a run-length bitmap) from taking hundreds of megabytes.
constexpr uint64_t kMaxPicturePixels = 16ull * 1024 * 1024;
// The refusal of a picture past that bound, the same for every format.
std::string PictureTooLarge(uint64_t Width, uint64_t Height);

// A JPEG held in memory decoded into Image: the system's own decoder on
// Windows, libjpeg on the emulated machine. A picture of more than
// kMaxPicturePixels is refused before it is decoded. False, with Error naming
// the reason, for data that is no JPEG the decoder can show; never reads
// outside Data.
bool DecodeJpeg(const uint8_t* Data, size_t Size, Picture& Image, std::string& Error);

// A Windows metafile (Enhanced: ".emf", else ".wmf", placeable or not) drawn
// at its own size into Image. Windows only: elsewhere false with Error saying
// so. False with the reason for data the system cannot play.
bool DecodeMetafile(const uint8_t* Data, size_t Size, bool Enhanced, Picture& Image, std::string& Error);

// Rich text format turned into the plain text a rich-edit box shows (groups
// of destinations such as the font and colour tables dropped, \par as a
// carriage return, \'hh and \uN decoded from Windows-1252 and UTF-16); text
// that is not rich text comes back as it is.
WideString RichTextToPlain(const std::string& Data);

class Widget {
 public:
  virtual ~Widget() = default;
  virtual WidgetKind Kind() const = 0;
  virtual const std::string& Name() const = 0;

  virtual void SetBounds(const Bounds& Rect) = 0;
  virtual Bounds GetBounds() const = 0;
  virtual void SetVisible(bool Visible) = 0;
  virtual bool IsVisible() const = 0;
  virtual void SetEnabled(bool Enabled) = 0;
  virtual bool IsEnabled() const = 0;
  // Caption or text; a carriage return is a line break.
  virtual void SetText(const WideString& Text) = 0;
  virtual WideString GetText() const = 0;
  virtual void SetFont(const FontSpec& Font) = 0;
  virtual FontSpec GetFont() const = 0;
  virtual void SetFlag(WidgetFlag Flag, bool On) = 0;
  virtual bool GetFlag(WidgetFlag Flag) const = 0;
  // Background colour (form, panel).
  virtual void SetColour(uint32_t Colour) = 0;
  // Image controls: the picture held (empty: none).
  virtual void SetPicture(const Picture& Image) = 0;
  virtual const Picture& GetPicture() const = 0;
  // Rich-edit boxes: the box's lines from a file's bytes, rich text format
  // when they are rich text, plain text otherwise.
  virtual void LoadRichText(const std::string& Data) = 0;
  // Gauges.
  virtual void SetGauge(const GaugeState& Gauge) = 0;
  virtual GaugeState GetGauge() const = 0;
  // Buttons with a picture right of the caption (the language button).
  virtual void SetButtonPicture(const Picture& Image) = 0;
  // To the back of the parent's z-order.
  virtual void SendToBack() = 0;
  // Repaints at once, without waiting for the message loop.
  virtual void Repaint() = 0;

  // Button press (buttons), text change (edit boxes), selection change
  // (folder trees). Called on the UI thread.
  virtual void SetOnClick(std::function<void()> Handler) = 0;
  virtual void SetOnChange(std::function<void()> Handler) = 0;

  // Folder trees: the selected folder's file-system path ("C:\Games\"), empty
  // when none; Select makes Path the selection; Expand opens a node one level.
  // Nodes are numbered in display order from 0 (the desktop).
  virtual std::string SelectedPath() const = 0;
  virtual void SelectPath(const std::string& Path) = 0;
  virtual int32_t NodeCount() const = 0;
  // The folder path of node Index with a trailing backslash; empty for nodes
  // without one (the desktop, virtual folders).
  virtual std::string NodePath(int32_t Index) const = 0;
  virtual bool NodeIsFirstChild(int32_t Index) const = 0;
  virtual void ExpandNode(int32_t Index) = 0;
};

// What the person in front of the screen can do, by the word the wizard
// gives it: the idle report names what was done ("next", "dir C:\Games"),
// and the headless driver performs the words of its script. The wizard
// brings the table (ui/); the platform knows only the kinds.
enum class ActionKind {
  kStart,         // the first idle moment, before anything was done: "VERB"
  kPress,         // presses the named button: "VERB"
  kPressAndPick,  // presses the named button, which opens the pop-up menu, and picks item N: "VERB N"
  kType,          // replaces the named edit box's text: "VERB TEXT"
  kSelectFolder,  // selects a folder in the named folder tree: "VERB PATH"
  kClose,         // asks the form to close: "VERB"
  kDebugKey,      // the debug window's key combination: "VERB"
};
// The dialog key that presses an action's button.
enum class ActionKey { kNone, kEnter, kEscape };

struct UserAction {
  const char* Verb = "";
  ActionKind Kind = ActionKind::kPress;
  const char* Control = "";   // the control it acts on, by name
  const char* What = "";      // that control as the driver's messages name it
  const char* Argument = "";  // the argument's name in the driver's list of verbs
  ActionKey Key = ActionKey::kNone;
};
using ActionTable = std::vector<UserAction>;

// The action of Verb (any letter case), of a control by name (any case) and
// kind, of a kind, of a key; null when the table has none.
const UserAction* ActionOfVerb(const ActionTable& Actions, const std::string& Verb);
const UserAction* ActionOfControl(const ActionTable& Actions, const std::string& Control, ActionKind Kind);
const UserAction* ActionOfKind(const ActionTable& Actions, ActionKind Kind);
const UserAction* ActionOfKey(const ActionTable& Actions, ActionKey Key);
// The verbs with their arguments, for a message: "next, back, language N".
std::string ActionList(const ActionTable& Actions);

// One item of a pop-up menu.
struct MenuItem {
  WideString Caption;
  bool Checked = false;
};

// The wizard's window: the form, its pop-up menu and the controls it owns.
class Form {
 public:
  virtual ~Form() = default;
  // The form's own widget (caption = window title; bounds = client area).
  virtual Widget& Self() = 0;
  // Makes a control with Parent (the form when null) as parent. The form owns it.
  virtual Widget& Create(WidgetKind Kind, const std::string& Name, Widget* Parent) = 0;
  // The pop-up menu: items replaced, one ticked, opened at a screen point.
  // OnPick receives the chosen item's index.
  virtual void SetMenu(const std::vector<MenuItem>& Items, std::function<void(size_t)> OnPick) = 0;
  virtual std::vector<MenuItem> Menu() const = 0;
  virtual void PopupMenu(int32_t ScreenX, int32_t ScreenY) = 0;
  // The form's outer rectangle on the screen.
  virtual Bounds ScreenRect() const = 0;
  // Asked before the form closes (the close box, Close(), and a log-off or
  // shut-down of the session); false refuses.
  virtual void SetOnCloseQuery(std::function<bool()> Handler) = 0;
  // While Busy, a log-off or shut-down would cut off work: on Windows Vista
  // and later the system shows the form's title as the reason it waits for.
  virtual void SetBusy(bool Busy) = 0;
  // Called once when the form closes.
  virtual void SetOnClose(std::function<void()> Handler) = 0;
  // Called when the key combination of the debug window (Ctrl+Shift+D) is
  // pressed.
  virtual void SetOnDebugKey(std::function<void()> Handler) = 0;
  // A resizable window of Width x Height, centred, filled by a read-only
  // text box holding Text; shown modally until the person closes it.
  virtual void ShowTextWindow(const std::string& Caption, const std::string& Text, int32_t Width, int32_t Height) = 0;
  // Tries to close the form (through the close query).
  virtual void Close() = 0;
  virtual bool Closed() const = 0;
  // The actions the person can take (see UserAction); set before Run.
  virtual void SetActions(const ActionTable& Actions) = 0;
  // Called each time the wizard is idle again after an action of the person
  // in front of the screen; Action names it with the table's words.
  virtual void SetOnIdle(std::function<void(const std::string& Action)> Handler) = 0;
  // Shows the form and runs the message loop until it closes.
  virtual void Run() = 0;
  // Handles pending messages and posted work, then returns (the loop that
  // waits for the setup thread calls it between 1 ms sleeps).
  virtual void Pump() = 0;
  // Runs Work on the UI thread, in the order posted; callable from any thread.
  virtual void Post(std::function<void()> Work) = 0;
  // A line for whoever watches the run (the host prints it; Windows has no
  // console and ignores it).
  virtual void Report(const std::string& Line) = 0;
};

// The small "Verifying Contents" window start-up shows while it checks the
// package: a fixed label, a status line and a progress bar. Drawn at once on
// every change, without a message loop.
class ProgressWindow {
 public:
  ProgressWindow();
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;
  void Show(const std::string& Caption, const std::string& Label, const std::string& Status);
  void SetStatus(const std::string& Status);
  void SetProgress(uint32_t Position, uint32_t Maximum);
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Makes the wizard's form: a real window on Windows, the headless driver's
// model on the host.
std::unique_ptr<Form> CreateForm();

// The file the environment variable WIZPAK_UI_DUMP names; empty when unset.
std::string UiDumpPath();

}  // namespace platform
