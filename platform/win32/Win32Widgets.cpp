// The wizard's real windows: Unicode windows of user32 and comctl32, a page
// panel and the controls the layouts name, the system's rich-edit control
// from System32, a folder tree over the shell's folders, a drawn gauge and
// picture boxes. Every property is read back from the windows (text, style,
// rectangle, the font selected), so the UI dump shows what is on the screen.
// No exception leaves a window procedure.
#include "platform/win32/Win32Common.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "platform/PlatformShared.h"
#include "platform/Widgets.h"

namespace platform {
namespace {

constexpr UINT kPostedWork = WM_APP + 1;
constexpr wchar_t kFormClass[] = L"WizpakWizardForm";
constexpr wchar_t kPanelClass[] = L"WizpakWizardPanel";
constexpr wchar_t kImageClass[] = L"WizpakWizardImage";
constexpr wchar_t kGaugeClass[] = L"WizpakWizardGauge";
constexpr wchar_t kTextClass[] = L"WizpakWizardText";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr uint32_t kTransparentPixel = 0xFF000000u;

const wchar_t* W(const WideString& Text) { return reinterpret_cast<const wchar_t*>(Text.c_str()); }

WideString FromWide(const wchar_t* Text) {
  WideString out;
  for (; Text && *Text; ++Text) out += static_cast<char16_t>(*Text);
  return out;
}

COLORREF Rgb(uint32_t Bgr) { return static_cast<COLORREF>(Bgr & 0xFFFFFF); }  // 0x00BBGGRR is a COLORREF

int PixelsPerInch() {
  HDC dc = ::GetDC(nullptr);
  int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

HFONT MakeFont(const FontSpec& Font) {
  LOGFONTW lf;
  ZeroMemory(&lf, sizeof(lf));
  lf.lfHeight = -::MulDiv(Font.Size, PixelsPerInch(), 72);
  lf.lfWeight = Font.Bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  WideString face = TextToWide(Font.Face);
  for (size_t i = 0; i < face.size() && i + 1 < LF_FACESIZE; ++i) lf.lfFaceName[i] = static_cast<wchar_t>(face[i]);
  return ::CreateFontIndirectW(&lf);
}

}  // namespace

namespace win32 {

BITMAPINFO TopDownBitmapInfo(LONG Width, LONG Height) {
  BITMAPINFO bi;
  ZeroMemory(&bi, sizeof(bi));
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = Width;
  bi.bmiHeader.biHeight = -Height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

}  // namespace win32

namespace {

// A picture as a 32-bit top-down DIB drawn into a device context.
void DrawPicture(HDC Dc, const Picture& Image, int X, int Y, int Width, int Height) {
  if (Image.Empty()) return;
  BITMAPINFO bi = win32::TopDownBitmapInfo(static_cast<LONG>(Image.Width), static_cast<LONG>(Image.Height));
  ::SetStretchBltMode(Dc, COLORONCOLOR);
  ::StretchDIBits(Dc, X, Y, Width, Height, 0, 0, static_cast<int>(Image.Width), static_cast<int>(Image.Height),
                  Image.Pixels.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
}

// The bytes a rich-edit box streams in.
struct StreamSource {
  const std::string* Data;
  size_t At;
};

DWORD CALLBACK StreamIn(DWORD_PTR Cookie, LPBYTE Buffer, LONG Want, LONG* Got) {
  auto* s = reinterpret_cast<StreamSource*>(Cookie);
  size_t n = std::min(static_cast<size_t>(Want), s->Data->size() - s->At);
  std::copy_n(s->Data->data() + s->At, n, Buffer);
  s->At += n;
  *Got = static_cast<LONG>(n);
  return 0;
}

class Win32Form;

class Win32Widget : public Widget {
 public:
  Win32Widget(Win32Form& Form, WidgetKind Kind, std::string Name, Win32Widget* Parent)
      : form_(Form), kind_(Kind), name_(std::move(Name)), parent_(Parent) {
    if (Kind == WidgetKind::kMemo || Kind == WidgetKind::kRichEdit) border_ = true;
    if (Kind == WidgetKind::kLabel || Kind == WidgetKind::kEdit) autoSize_ = true;
  }
  ~Win32Widget() override {
    if (font_) ::DeleteObject(font_);
    if (brush_) ::DeleteObject(brush_);
  }

  WidgetKind Kind() const override { return kind_; }
  const std::string& Name() const override { return name_; }

  void SetBounds(const Bounds& Rect) override {
    if (kind_ == WidgetKind::kForm) {
      RECT r = {0, 0, Rect.Width, Rect.Height};
      ::AdjustWindowRectEx(&r, kFormStyle, FALSE, 0);
      int w = r.right - r.left, h = r.bottom - r.top;
      ::SetWindowPos(hwnd, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                     (::GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
      return;
    }
    ::MoveWindow(hwnd, Rect.Left, Rect.Top, Rect.Width, Rect.Height, TRUE);
  }
  Bounds GetBounds() const override {
    RECT r;
    if (kind_ == WidgetKind::kForm) {
      ::GetClientRect(hwnd, &r);
      return {0, 0, r.right, r.bottom};
    }
    ::GetWindowRect(hwnd, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
  }
  void SetVisible(bool Visible) override {
    if (kind_ == WidgetKind::kForm) return;  // shown by Run
    ::ShowWindow(hwnd, Visible ? SW_SHOWNA : SW_HIDE);
  }
  bool IsVisible() const override {
    return kind_ == WidgetKind::kForm || (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
  }
  void SetEnabled(bool Enabled) override { ::EnableWindow(hwnd, Enabled ? TRUE : FALSE); }
  bool IsEnabled() const override { return ::IsWindowEnabled(hwnd) != FALSE; }
  void SetText(const WideString& Text) override {
    ::SetWindowTextW(hwnd, W(Text));
    AutoSize();
    if (kind_ == WidgetKind::kButton && picture_.Width) ::InvalidateRect(hwnd, nullptr, TRUE);
  }
  WideString GetText() const override {
    if (kind_ == WidgetKind::kShellTree || kind_ == WidgetKind::kImage || kind_ == WidgetKind::kGauge ||
        kind_ == WidgetKind::kBevel) {
      return {};
    }
    int n = ::GetWindowTextLengthW(hwnd);
    std::vector<wchar_t> text(static_cast<size_t>(n) + 1, L'\0');
    ::GetWindowTextW(hwnd, text.data(), n + 1);
    WideString out = FromWide(text.data());
    if (kind_ == WidgetKind::kMemo || kind_ == WidgetKind::kEdit || kind_ == WidgetKind::kRichEdit) {
      // Edit and rich-edit boxes give line breaks as CR LF; the wizard's texts use CR.
      WideString kept;
      for (size_t i = 0; i < out.size(); ++i) {
        if (!(out[i] == u'\n' && i > 0 && out[i - 1] == u'\r')) kept += out[i];
      }
      out = kept;
    }
    return out;
  }
  void SetFont(const FontSpec& Font) override {
    spec_ = Font;
    HFONT old = font_;
    font_ = Font.ParentFont ? nullptr : MakeFont(Font);
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_ ? font_ : ParentFont()), TRUE);
    if (old) ::DeleteObject(old);
  }
  // The font really selected into the window, with the colour kept here.
  FontSpec GetFont() const override {
    FontSpec out = spec_;
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0));
    if (kind_ == WidgetKind::kForm || kind_ == WidgetKind::kImage || kind_ == WidgetKind::kGauge) font = OwnFont();
    LOGFONTW lf;
    if (font && ::GetObjectW(font, sizeof(lf), &lf)) {
      out.Face = WideToUtf8(FromWide(lf.lfFaceName));
      int height = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
      out.Size = ::MulDiv(height, 72, PixelsPerInch());
      out.Bold = lf.lfWeight >= FW_BOLD;
    }
    if (spec_.ParentFont && parent_) {
      FontSpec inherited = parent_->GetFont();
      out.HasColour = inherited.HasColour;
      out.Colour = inherited.Colour;
    }
    return out;
  }
  void SetFlag(WidgetFlag Flag, bool On) override {
    switch (Flag) {
      // Switching a flag on that is on already changes nothing.
      case WidgetFlag::kAutoSize:
        if (autoSize_ == On) return;
        autoSize_ = On;
        AutoSize();
        break;
      case WidgetFlag::kWordWrap:
        if (wordWrap_ == On) return;
        wordWrap_ = On;
        if (kind_ == WidgetKind::kLabel) {
          LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK);
          ::SetWindowLongPtrW(hwnd, GWL_STYLE, style | (On ? SS_LEFT : SS_LEFTNOWORDWRAP));
          AutoSize();
        }
        break;
      case WidgetFlag::kTransparent:
        transparent_ = On;
        break;
      case WidgetFlag::kBorder: {
        border_ = On;
        LONG_PTR ex = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE);
        ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ex | (On ? WS_EX_CLIENTEDGE : 0));
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
        break;
      }
      case WidgetFlag::kStretch:
        stretch_ = On;
        break;
      case WidgetFlag::kCenter:
        center_ = On;
        break;
      case WidgetFlag::kChecked:
        ::SendMessageW(hwnd, BM_SETCHECK, On ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    }
    ::InvalidateRect(hwnd, nullptr, TRUE);
  }
  bool GetFlag(WidgetFlag Flag) const override {
    switch (Flag) {
      case WidgetFlag::kAutoSize:
        return autoSize_;
      case WidgetFlag::kWordWrap:
        return kind_ == WidgetKind::kLabel ? (::GetWindowLongPtrW(hwnd, GWL_STYLE) & SS_TYPEMASK) != SS_LEFTNOWORDWRAP
                                           : wordWrap_;
      case WidgetFlag::kTransparent:
        return transparent_;
      case WidgetFlag::kBorder:
        return (::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0;
      case WidgetFlag::kStretch:
        return stretch_;
      case WidgetFlag::kCenter:
        return center_;
      case WidgetFlag::kChecked:
        return ::SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    return false;
  }
  void SetColour(uint32_t Colour) override {
    colour_ = Colour;
    if (brush_) ::DeleteObject(brush_);
    brush_ = ::CreateSolidBrush(Rgb(Colour));
    ::InvalidateRect(hwnd, nullptr, TRUE);
  }
  void SetPicture(const Picture& Image) override {
    picture_ = Image;
    ::InvalidateRect(hwnd, nullptr, TRUE);
  }
  const Picture& GetPicture() const override { return picture_; }
  void LoadRichText(const std::string& Data) override {
    // Plain text is stored text (Windows-1252 or marked UTF-8): handed over
    // as UTF-16, whatever the machine's code page.
    bool rtf = Data.compare(0, 5, "{\\rtf") == 0;
    std::string bytes;
    if (!rtf) {
      WideString wide = TextToWide(FromStoredText(Data));
      bytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    }
    StreamSource source{rtf ? &Data : &bytes, 0};
    EDITSTREAM stream;
    ZeroMemory(&stream, sizeof(stream));
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = StreamIn;
    ::SendMessageW(hwnd, EM_STREAMIN, rtf ? SF_RTF : (SF_TEXT | SF_UNICODE), reinterpret_cast<LPARAM>(&stream));
  }
  void SetGauge(const GaugeState& Gauge) override {
    gauge_ = Gauge;
    ::InvalidateRect(hwnd, nullptr, FALSE);
  }
  GaugeState GetGauge() const override { return gauge_; }
  void SetButtonPicture(const Picture& Image) override {
    picture_ = Image;
    LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(BS_TYPEMASK);
    ::SetWindowLongPtrW(hwnd, GWL_STYLE, style | BS_OWNERDRAW);
    ::InvalidateRect(hwnd, nullptr, TRUE);
  }
  void SendToBack() override {
    ::SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  void Repaint() override {
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
  void SetOnClick(std::function<void()> Handler) override { onClick_ = std::move(Handler); }
  void SetOnChange(std::function<void()> Handler) override { onChange_ = std::move(Handler); }

  // Folder trees.
  std::string SelectedPath() const override {
    HTREEITEM item = TreeView_GetSelection(hwnd);
    return item ? NodeOf(item).Path : std::string();
  }
  void SelectPath(const std::string& Path) override;
  int32_t NodeCount() const override { return static_cast<int32_t>(Items().size()); }
  std::string NodePath(int32_t Index) const override {
    std::vector<HTREEITEM> items = Items();
    return Index >= 0 && Index < static_cast<int32_t>(items.size()) ? NodeOf(items[static_cast<size_t>(Index)]).Path
                                                                    : std::string();
  }
  bool NodeIsFirstChild(int32_t Index) const override {
    std::vector<HTREEITEM> items = Items();
    if (Index < 0 || Index >= static_cast<int32_t>(items.size())) return false;
    HTREEITEM item = items[static_cast<size_t>(Index)];
    HTREEITEM parent = TreeView_GetParent(hwnd, item);
    return parent && TreeView_GetChild(hwnd, parent) == item;
  }
  void ExpandNode(int32_t Index) override {
    std::vector<HTREEITEM> items = Items();
    if (Index < 0 || Index >= static_cast<int32_t>(items.size())) return;
    List(items[static_cast<size_t>(Index)]);
    TreeView_Expand(hwnd, items[static_cast<size_t>(Index)], TVE_EXPAND);
  }

  // Window-procedure entries.
  void Clicked() {
    if (onClick_) onClick_();
  }
  void Changed() {
    if (onChange_ && !quiet_) onChange_();
  }
  void Expanding(HTREEITEM Item) { List(Item); }
  void PaintImage(HDC Dc);
  void PaintGauge(HDC Dc);
  void DrawButton(const DRAWITEMSTRUCT& Draw);
  HBRUSH Background() const { return brush_; }
  uint32_t Colour() const { return colour_; }
  bool Transparent() const { return transparent_; }
  const FontSpec& Spec() const { return spec_; }
  Win32Widget* Parent() const { return parent_; }
  void BuildTree();

  HWND hwnd = nullptr;

 private:
  struct Node {
    std::string Path;  // with a trailing backslash; empty for virtual folders
    bool Drives = false;
    bool Listed = false;
  };

  HFONT OwnFont() const;
  HFONT ParentFont() const;
  // Labels size themselves to their text when it is set or when autosize or
  // wordwrap is switched (the width kept when they wrap); edit boxes take the
  // height of one line.
  void AutoSize();
  HTREEITEM AddNode(HTREEITEM Parent, const WideString& Label, Node Value);
  Node& NodeOf(HTREEITEM Item) const;
  std::vector<HTREEITEM> Items() const;
  void List(HTREEITEM Item);

  Win32Form& form_;
  WidgetKind kind_;
  std::string name_;
  Win32Widget* parent_;
  FontSpec spec_;
  HFONT font_ = nullptr;
  HBRUSH brush_ = nullptr;
  uint32_t colour_ = 0xFFFFFF;
  bool autoSize_ = false, wordWrap_ = false, transparent_ = false, border_ = false, stretch_ = false, center_ = false;
  bool quiet_ = false;
  Picture picture_;
  GaugeState gauge_;
  std::function<void()> onClick_;
  std::function<void()> onChange_;
  std::vector<std::unique_ptr<Node>> nodes_;
};

class Win32Form : public Form {
 public:
  Win32Form();
  ~Win32Form() override;

  Widget& Self() override { return *self_; }
  Widget& Create(WidgetKind Kind, const std::string& Name, Widget* Parent) override;
  void SetMenu(const std::vector<MenuItem>& Items, std::function<void(size_t)> OnPick) override {
    menu_ = Items;
    onPick_ = std::move(OnPick);
  }
  std::vector<MenuItem> Menu() const override { return menu_; }
  void PopupMenu(int32_t ScreenX, int32_t ScreenY) override;
  Bounds ScreenRect() const override {
    RECT r;
    ::GetWindowRect(hwnd_, &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
  }
  void SetOnCloseQuery(std::function<bool()> Handler) override { onCloseQuery_ = std::move(Handler); }
  void SetBusy(bool Busy) override;
  void SetOnClose(std::function<void()> Handler) override { onClose_ = std::move(Handler); }
  void SetOnDebugKey(std::function<void()> Handler) override { onDebugKey_ = std::move(Handler); }
  void SetActions(const ActionTable& Actions) override { actions_ = Actions; }
  void SetOnIdle(std::function<void(const std::string&)> Handler) override { onIdle_ = std::move(Handler); }
  void Close() override {
    if (!closed_ && hwnd_) ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
  }
  bool Closed() const override { return closed_; }
  void Run() override;
  void Pump() override;
  void Post(std::function<void()> Work) override {
    ::EnterCriticalSection(&lock_);
    posted_.push_back(std::move(Work));
    ::LeaveCriticalSection(&lock_);
    ::PostMessageW(hwnd_, kPostedWork, 0, 0);
  }
  void Report(const std::string&) override {}
  void ShowTextWindow(const std::string& Caption, const std::string& Text, int32_t Width, int32_t Height) override;

  HFONT DefaultFont() const { return font_; }
  static LRESULT CALLBACK Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L);

 private:
  LRESULT Handle(HWND Window, UINT Message, WPARAM W, LPARAM L);
  void RunPosted();
  // One message through the dialog keys (Tab, Enter, Escape, mnemonics),
  // the debug key and the window procedures.
  void Dispatch(MSG& Message);
  Win32Widget* Find(const std::string& Name) const;
  // The dialog key's button pressed, when it can be.
  void PressKey(ActionKey Key);
  // The verb of Kind's action, or empty.
  std::string VerbOf(ActionKind Kind) const;

  HWND hwnd_ = nullptr;
  std::unique_ptr<Win32Widget> self_;
  std::vector<std::unique_ptr<Win32Widget>> widgets_;
  HFONT font_ = nullptr;
  std::vector<MenuItem> menu_;
  std::function<void(size_t)> onPick_;
  std::function<bool()> onCloseQuery_;
  std::function<void()> onClose_;
  std::function<void()> onDebugKey_;
  std::function<void(const std::string&)> onIdle_;
  ActionTable actions_;
  bool closed_ = false;
  std::string pendingAction_;
  CRITICAL_SECTION lock_;
  std::vector<std::function<void()>> posted_;
};

Win32Widget* WidgetOf(HWND Window) {
  return Window ? reinterpret_cast<Win32Widget*>(::GetWindowLongPtrW(Window, GWLP_USERDATA)) : nullptr;
}

HFONT Win32Widget::OwnFont() const {
  if (font_) return font_;
  return ParentFont();
}

HFONT Win32Widget::ParentFont() const {
  if (parent_) return parent_->OwnFont();
  return form_.DefaultFont();
}

void Win32Widget::AutoSize() {
  if (!autoSize_ || !hwnd) return;
  if (kind_ != WidgetKind::kLabel && kind_ != WidgetKind::kEdit) return;
  HDC dc = ::GetDC(hwnd);
  HGDIOBJ old = ::SelectObject(dc, OwnFont());
  Bounds b = GetBounds();
  if (kind_ == WidgetKind::kEdit) {
    TEXTMETRICW tm;
    ::GetTextMetricsW(dc, &tm);
    b.Height = tm.tmHeight + 2 * ::GetSystemMetrics(SM_CYEDGE) + 4;
  } else {
    WideString text = GetText();
    RECT r = {0, 0, wordWrap_ ? std::max(b.Width, 1) : 0, 0};
    ::DrawTextW(dc, W(text.empty() ? u" " : text), -1, &r,
                DT_CALCRECT | DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE * 0));
    if (!wordWrap_) b.Width = r.right;
    b.Height = r.bottom;
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(hwnd, dc);
  ::MoveWindow(hwnd, b.Left, b.Top, b.Width, b.Height, TRUE);
}

void Win32Widget::PaintImage(HDC Dc) {
  RECT client;
  ::GetClientRect(hwnd, &client);
  if (!transparent_ && parent_ && parent_->Background()) ::FillRect(Dc, &client, parent_->Background());
  if (picture_.Empty()) return;
  int w = static_cast<int>(picture_.Width), h = static_cast<int>(picture_.Height);
  if (stretch_) {
    DrawPicture(Dc, picture_, 0, 0, client.right, client.bottom);
  } else if (center_) {
    DrawPicture(Dc, picture_, (client.right - w) / 2, (client.bottom - h) / 2, w, h);
  } else {
    DrawPicture(Dc, picture_, 0, 0, w, h);
  }
}

void Win32Widget::PaintGauge(HDC Dc) {
  RECT client;
  ::GetClientRect(hwnd, &client);
  Picture p;
  p.Width = static_cast<uint32_t>(client.right);
  p.Height = static_cast<uint32_t>(client.bottom);
  DrawGauge(gauge_, p.Width, p.Height, p.Pixels);
  DrawPicture(Dc, p, 0, 0, client.right, client.bottom);
  ::SetBkMode(Dc, TRANSPARENT);
  HGDIOBJ old = ::SelectObject(Dc, OwnFont());
  WideString caption = TextToWide(gauge_.Caption());
  ::DrawTextW(Dc, W(caption), -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  ::SelectObject(Dc, old);
}

// The language button: the caption, and the picture right of it.
void Win32Widget::DrawButton(const DRAWITEMSTRUCT& Draw) {
  RECT r = Draw.rcItem;
  UINT state = DFCS_BUTTONPUSH | ((Draw.itemState & ODS_SELECTED) ? DFCS_PUSHED : 0) |
               ((Draw.itemState & ODS_DISABLED) ? DFCS_INACTIVE : 0);
  ::DrawFrameControl(Draw.hDC, &r, DFC_BUTTON, state);
  WideString text = GetText();
  HGDIOBJ old = ::SelectObject(Draw.hDC, OwnFont());
  ::SetBkMode(Draw.hDC, TRANSPARENT);
  ::SetTextColor(Draw.hDC, ::GetSysColor((Draw.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  RECT measure = {0, 0, 0, 0};
  ::DrawTextW(Draw.hDC, W(text), -1, &measure, DT_CALCRECT | DT_SINGLELINE);
  int gap = 6;
  int total = measure.right + gap + static_cast<int>(picture_.Width);
  int x = (r.right - r.left - total) / 2 + r.left;
  RECT textRect = {x, r.top, x + measure.right, r.bottom};
  ::DrawTextW(Draw.hDC, W(text), -1, &textRect, DT_SINGLELINE | DT_VCENTER);
  int px = x + measure.right + gap, py = (r.bottom - r.top - static_cast<int>(picture_.Height)) / 2 + r.top;
  for (uint32_t y = 0; y < picture_.Height; ++y) {
    for (uint32_t xx = 0; xx < picture_.Width; ++xx) {
      uint32_t c = picture_.Pixels[y * picture_.Width + xx];
      if (c == kTransparentPixel) continue;
      ::SetPixel(Draw.hDC, px + static_cast<int>(xx), py + static_cast<int>(y),
                 RGB(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF));
    }
  }
  ::SelectObject(Draw.hDC, old);
  if (Draw.itemState & ODS_FOCUS) {
    RECT focus = r;
    ::InflateRect(&focus, -4, -4);
    ::DrawFocusRect(Draw.hDC, &focus);
  }
}

// ---------------------------------------------------------------------------
// The folder tree: the desktop, "My Documents" and "My Computer" with its
// drives, folders listed when a node first opens, with the system's icons.

HTREEITEM Win32Widget::AddNode(HTREEITEM Parent, const WideString& Label, Node Value) {
  nodes_.push_back(std::make_unique<Node>(std::move(Value)));
  Node* node = nodes_.back().get();
  TVINSERTSTRUCTW insert;
  ZeroMemory(&insert, sizeof(insert));
  insert.hParent = Parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  std::vector<wchar_t> text(Label.begin(), Label.end());
  text.push_back(L'\0');
  insert.item.pszText = text.data();
  insert.item.lParam = reinterpret_cast<LPARAM>(node);
  insert.item.cChildren = 1;
  SHFILEINFOW info;
  ZeroMemory(&info, sizeof(info));
  WideString path = TextToWide(node->Path.empty() ? std::string("C:\\") : node->Path);
  if (::SHGetFileInfoW(W(path), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) {
    insert.item.iImage = insert.item.iSelectedImage = info.iIcon;
  }
  return reinterpret_cast<HTREEITEM>(::SendMessageW(hwnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

Win32Widget::Node& Win32Widget::NodeOf(HTREEITEM Item) const {
  TVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.mask = TVIF_PARAM;
  item.hItem = Item;
  ::SendMessageW(hwnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return *reinterpret_cast<Node*>(item.lParam);
}

std::vector<HTREEITEM> Win32Widget::Items() const {
  std::vector<HTREEITEM> out;
  std::function<void(HTREEITEM)> walk = [&](HTREEITEM item) {
    for (; item; item = TreeView_GetNextSibling(hwnd, item)) {
      out.push_back(item);
      walk(TreeView_GetChild(hwnd, item));
    }
  };
  walk(TreeView_GetRoot(hwnd));
  return out;
}

void Win32Widget::BuildTree() {
  SHFILEINFOW info;
  HIMAGELIST icons = reinterpret_cast<HIMAGELIST>(
      ::SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  if (icons) TreeView_SetImageList(hwnd, icons, TVSIL_NORMAL);
  HTREEITEM desktop = AddNode(TVI_ROOT, u"Desktop", Node{"", false, true});
  std::string documents = SpecialFolder(kCsidlPersonal);
  if (!documents.empty() && documents.back() != '\\') documents += '\\';
  AddNode(desktop, u"My Documents", Node{documents, false, false});
  AddNode(desktop, u"My Computer", Node{"", true, false});
  TreeView_Expand(hwnd, desktop, TVE_EXPAND);
}

void Win32Widget::List(HTREEITEM Item) {
  Node& node = NodeOf(Item);
  if (node.Listed) return;
  node.Listed = true;
  std::vector<std::string> paths = shared::FolderTreeChildren(node.Path, node.Drives);
  for (const std::string& p : paths) {
    std::string label = p;
    if (label.size() > 3) label = label.substr(0, label.size() - 1).substr(label.rfind('\\', label.size() - 2) + 1);
    AddNode(Item, TextToWide(label), Node{p, false, false});
  }
}

void Win32Widget::SelectPath(const std::string& Path) {
  // The nodes down to Path are made (listed, not opened), then selected
  // without telling the change handler: only a person's pick is a change.
  // From "My Computer", found by what it is: opened folders of My Documents
  // may stand before it.
  HTREEITEM at = nullptr;
  for (HTREEITEM item : Items()) {
    if (NodeOf(item).Drives) at = item;
  }
  if (!at) return;
  auto lowered = [](const std::string& Text) {
    win32::WideText w = win32::Wide(Text);
    if (!w.empty()) ::CharLowerBuffW(w.data(), static_cast<DWORD>(w.size()));
    return w.Text;
  };
  WideString lower = lowered(Path);
  size_t end = lower.find(u'\\');
  HTREEITEM found = nullptr;
  while (end != WideString::npos) {
    List(at);
    WideString part = lower.substr(0, end + 1);
    HTREEITEM next = nullptr;
    for (HTREEITEM c = TreeView_GetChild(hwnd, at); c; c = TreeView_GetNextSibling(hwnd, c)) {
      if (lowered(NodeOf(c).Path) == part) next = c;
    }
    if (!next) break;
    found = at = next;
    end = lower.find(u'\\', end + 1);
  }
  if (!found) return;
  quiet_ = true;
  TreeView_SelectItem(hwnd, found);
  quiet_ = false;
}

// ---------------------------------------------------------------------------
// The form

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (const wchar_t* name : {kFormClass, kPanelClass, kImageClass, kGaugeClass, kTextClass}) {
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = Win32Form::Procedure;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (name == kFormClass) wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    ::RegisterClassW(&wc);
  }
}

// A check box drawn by the visual styles ignores the text colour its parent
// sets, so on a dark page its caption would vanish: it is drawn classic
// (uxtheme's SetWindowTheme, XP and later, looked up at run time, on the UI
// thread).
void Unthemed(HWND Window) {
  using SetThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
  static bool looked = false;
  static SetThemeFn setTheme = nullptr;
  if (!looked) {
    HMODULE module = win32::LoadSystemLibrary(u"uxtheme.dll");
    if (module)
      setTheme = reinterpret_cast<SetThemeFn>(reinterpret_cast<void*>(::GetProcAddress(module, "SetWindowTheme")));
    looked = true;
  }
  if (setTheme) setTheme(Window, L"", L"");
}

// The rich-edit control from System32, loaded once (on the UI thread).
bool LoadRichEdit() {
  static HMODULE module = nullptr;
  if (!module) module = win32::LoadSystemLibrary(u"riched20.dll");
  return module != nullptr;
}

Win32Form::Win32Form() {
  ::InitializeCriticalSection(&lock_);
  RegisterClasses();
  FontSpec base;
  base.ParentFont = false;
  font_ = MakeFont(base);
  self_ = std::make_unique<Win32Widget>(*this, WidgetKind::kForm, "FrmMain", nullptr);
  hwnd_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kFormClass, L"", kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT, 600, 450,
                            nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  self_->hwnd = hwnd_;
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self_.get()));
  ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  self_->SetBounds({0, 0, 578, 413});
}

Win32Form::~Win32Form() {
  if (hwnd_ && ::IsWindow(hwnd_)) {
    closed_ = true;  // no close query, no close handler: the owner is gone
    onClose_ = nullptr;
    ::DestroyWindow(hwnd_);
  }
  widgets_.clear();
  if (font_) ::DeleteObject(font_);
  ::DeleteCriticalSection(&lock_);
}

Widget& Win32Form::Create(WidgetKind Kind, const std::string& Name, Widget* Parent) {
  auto* parent = Parent ? static_cast<Win32Widget*>(Parent) : self_.get();
  widgets_.push_back(std::make_unique<Win32Widget>(*this, Kind, Name, parent));
  Win32Widget& w = *widgets_.back();
  const wchar_t* cls = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD ex = 0;
  switch (Kind) {
    case WidgetKind::kPanel:
      cls = kPanelClass;
      ex = WS_EX_CONTROLPARENT;
      style |= WS_CLIPCHILDREN;
      break;
    case WidgetKind::kBevel:
      style |= SS_ETCHEDHORZ;
      break;
    case WidgetKind::kLabel:
      style |= SS_LEFTNOWORDWRAP;
      break;
    case WidgetKind::kEdit:
      cls = L"EDIT";
      style |= WS_TABSTOP | ES_AUTOHSCROLL;
      ex = WS_EX_CLIENTEDGE;
      break;
    case WidgetKind::kButton:
      cls = L"BUTTON";
      style |= WS_TABSTOP | BS_PUSHBUTTON;
      break;
    case WidgetKind::kImage:
      cls = kImageClass;
      break;
    case WidgetKind::kCheckBox:
      cls = L"BUTTON";
      style |= WS_TABSTOP | BS_AUTOCHECKBOX;
      break;
    case WidgetKind::kMemo:
      cls = L"EDIT";
      style |= WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | ES_WANTRETURN;
      ex = WS_EX_CLIENTEDGE;
      break;
    case WidgetKind::kRichEdit:
      cls = LoadRichEdit() ? RICHEDIT_CLASSW : L"EDIT";
      style |= WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_HSCROLL | ES_WANTRETURN;
      ex = WS_EX_CLIENTEDGE;
      break;
    case WidgetKind::kGauge:
      cls = kGaugeClass;
      break;
    case WidgetKind::kShellTree:
      cls = WC_TREEVIEWW;
      style |= WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
      ex = WS_EX_CLIENTEDGE;
      break;
    case WidgetKind::kForm:
      break;
  }
  WideString text = Kind == WidgetKind::kBevel ? WideString() : TextToWide(Name);
  w.hwnd = ::CreateWindowExW(ex, cls, W(text), style, 0, 0, 0, 0, parent->hwnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + widgets_.size())),
                             ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(w.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&w));
  ::SendMessageW(w.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  if (Kind == WidgetKind::kGauge) w.SetBounds({0, 0, 200, 40});
  if (Kind == WidgetKind::kShellTree) w.BuildTree();
  if (Kind == WidgetKind::kCheckBox) Unthemed(w.hwnd);
  return w;
}

Win32Widget* Win32Form::Find(const std::string& Name) const {
  for (const auto& w : widgets_) {
    if (::lstrcmpiW(win32::Wide(w->Name()).c_str(), win32::Wide(Name).c_str()) == 0) return w.get();
  }
  return nullptr;
}

void Win32Form::PressKey(ActionKey Key) {
  const UserAction* action = ActionOfKey(actions_, Key);
  Win32Widget* button = action ? Find(action->Control) : nullptr;
  if (!button || !button->IsVisible() || !button->IsEnabled()) return;
  pendingAction_ = action->Verb;
  button->Clicked();
}

std::string Win32Form::VerbOf(ActionKind Kind) const {
  const UserAction* action = ActionOfKind(actions_, Kind);
  return action ? action->Verb : "";
}

void Win32Form::PopupMenu(int32_t ScreenX, int32_t ScreenY) {
  HMENU menu = ::CreatePopupMenu();
  for (size_t i = 0; i < menu_.size(); ++i) {
    ::AppendMenuW(menu, MF_STRING | (menu_[i].Checked ? MF_CHECKED : MF_UNCHECKED), i + 1, W(menu_[i].Caption));
  }
  UINT chosen = static_cast<UINT>(
      ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, ScreenX, ScreenY, 0, hwnd_, nullptr));
  ::DestroyMenu(menu);
  if (chosen >= 1 && chosen <= menu_.size()) {
    pendingAction_ = Concat({VerbOf(ActionKind::kPressAndPick), " ", std::to_string(chosen - 1)});
    if (onPick_) onPick_(chosen - 1);
  }
}

void Win32Form::ShowTextWindow(const std::string& Caption, const std::string& Text, int32_t Width, int32_t Height) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  int x = (::GetSystemMetrics(SM_CXSCREEN) - Width) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - Height) / 2;
  HWND window = ::CreateWindowExW(0, kTextClass, W(TextToWide(Caption)), WS_OVERLAPPEDWINDOW, x, y, Width, Height,
                                  hwnd_, nullptr, instance, this);
  if (!window) return;
  bool rich = LoadRichEdit();
  HWND box = ::CreateWindowExW(
      0, rich ? RICHEDIT_CLASSW : L"EDIT", L"",
      WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 0,
      0, 0, 0, window, nullptr, instance, nullptr);
  // The listing's columns line up in a fixed-pitch face.
  FontSpec fixed;
  fixed.ParentFont = false;
  fixed.Face = "Courier New";
  fixed.Size = 9;
  HFONT font = MakeFont(fixed);
  ::SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  std::string text;
  for (char c : Text) {
    if (c == '\n') text += '\r';
    text += c;
  }
  ::SetWindowTextW(box, W(TextToWide(text)));
  RECT client;
  ::GetClientRect(window, &client);
  ::MoveWindow(box, 0, 0, client.right, client.bottom, FALSE);
  // Modal: the wizard waits until the window is closed.
  ::EnableWindow(hwnd_, FALSE);
  ::ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  while (::IsWindow(window) && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::EnableWindow(hwnd_, TRUE);
  ::SetForegroundWindow(hwnd_);
  ::DeleteObject(font);
}

void Win32Form::SetBusy(bool Busy) {
  // Windows Vista and later: loaded at run time, so the setup still starts on XP.
  using CreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
  using DestroyFn = BOOL(WINAPI*)(HWND);
  HMODULE user = ::GetModuleHandleA("user32.dll");
  auto create =
      reinterpret_cast<CreateFn>(reinterpret_cast<void*>(::GetProcAddress(user, "ShutdownBlockReasonCreate")));
  auto destroy =
      reinterpret_cast<DestroyFn>(reinterpret_cast<void*>(::GetProcAddress(user, "ShutdownBlockReasonDestroy")));
  if (!hwnd_ || !create || !destroy) return;
  if (Busy) {
    wchar_t title[256] = {};
    ::GetWindowTextW(hwnd_, title, 256);
    create(hwnd_, title);
  } else {
    destroy(hwnd_);
  }
}

void Win32Form::RunPosted() {
  std::vector<std::function<void()>> work;
  ::EnterCriticalSection(&lock_);
  work.swap(posted_);
  ::LeaveCriticalSection(&lock_);
  for (auto& w : work) w();
}

void Win32Form::Dispatch(MSG& Message) {
  if (Message.message == WM_KEYDOWN && Message.wParam == 'D' && ::GetKeyState(VK_CONTROL) < 0 &&
      ::GetKeyState(VK_SHIFT) < 0) {
    pendingAction_ = VerbOf(ActionKind::kDebugKey);
    try {
      if (onDebugKey_) onDebugKey_();
    } catch (...) {
    }
    return;
  }
  if (hwnd_ && ::IsDialogMessageW(hwnd_, &Message)) return;
  ::TranslateMessage(&Message);
  ::DispatchMessageW(&Message);
}

void Win32Form::Pump() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    Dispatch(message);
  }
  RunPosted();
}

void Win32Form::Run() {
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  ::UpdateWindow(hwnd_);
  pendingAction_ = VerbOf(ActionKind::kStart);
  MSG message;
  for (;;) {
    if (!pendingAction_.empty() && !::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      std::string action;
      action.swap(pendingAction_);
      if (!closed_ && onIdle_) onIdle_(action);
    }
    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) break;
    Dispatch(message);
  }
}

LRESULT CALLBACK Win32Form::Procedure(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  if (Message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(L);
    if (create->lpCreateParams) {
      ::SetPropW(Window, L"WizpakForm", create->lpCreateParams);
    }
  }
  HWND top = ::GetAncestor(Window, GA_ROOT);
  auto* form = reinterpret_cast<Win32Form*>(::GetPropW(top ? top : Window, L"WizpakForm"));
  if (!form) return ::DefWindowProcW(Window, Message, W, L);
  try {
    return form->Handle(Window, Message, W, L);
  } catch (...) {
    return 0;  // nothing crosses a window procedure
  }
}

LRESULT Win32Form::Handle(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  Win32Widget* self = WidgetOf(Window);
  switch (Message) {
    case WM_COMMAND: {
      HWND control = reinterpret_cast<HWND>(L);
      if (!control) {
        // Enter and Escape of the dialog keys, and the menu.
        if (LOWORD(W) == IDOK) PressKey(ActionKey::kEnter);
        if (LOWORD(W) == IDCANCEL) PressKey(ActionKey::kEscape);
        return 0;
      }
      Win32Widget* w = WidgetOf(control);
      if (!w) break;
      if (HIWORD(W) == BN_CLICKED && (w->Kind() == WidgetKind::kButton || w->Kind() == WidgetKind::kCheckBox)) {
        if (const UserAction* action = ActionOfControl(actions_, w->Name(), ActionKind::kPress)) {
          pendingAction_ = action->Verb;
        }
        w->Clicked();
        return 0;
      }
      if (HIWORD(W) == EN_CHANGE) {
        const UserAction* typed = ActionOfControl(actions_, w->Name(), ActionKind::kType);
        if (typed && ::GetFocus() == control) pendingAction_ = Concat({typed->Verb, " ", WideToUtf8(w->GetText())});
        w->Changed();
        return 0;
      }
      break;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(L);
      Win32Widget* w = WidgetOf(header->hwndFrom);
      if (!w || w->Kind() != WidgetKind::kShellTree) break;
      if (header->code == TVN_ITEMEXPANDINGW) {
        w->Expanding(reinterpret_cast<NMTREEVIEWW*>(L)->itemNew.hItem);
      } else if (header->code == TVN_SELCHANGEDW) {
        const UserAction* chosen = ActionOfControl(actions_, w->Name(), ActionKind::kSelectFolder);
        if (chosen && reinterpret_cast<NMTREEVIEWW*>(L)->action != TVC_UNKNOWN) {
          pendingAction_ = Concat({chosen->Verb, " ", w->SelectedPath()});
        }
        w->Changed();
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
      Win32Widget* w = WidgetOf(reinterpret_cast<HWND>(L));
      HDC dc = reinterpret_cast<HDC>(W);
      if (!w) break;
      FontSpec font = w->GetFont();
      if (font.HasColour) ::SetTextColor(dc, Rgb(font.Colour));
      if (w->Kind() == WidgetKind::kLabel || w->Kind() == WidgetKind::kBevel || w->Kind() == WidgetKind::kCheckBox) {
        // A label shows the panel's colour behind its text, transparent or not.
        Win32Widget* parent = w->Parent();
        ::SetBkMode(dc, TRANSPARENT);
        if (parent && parent->Background()) {
          ::SetBkColor(dc, Rgb(parent->Colour()));
          return reinterpret_cast<LRESULT>(parent->Background());
        }
      }
      break;
    }
    case WM_DRAWITEM: {
      auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(L);
      if (Win32Widget* w = WidgetOf(draw->hwndItem)) w->DrawButton(*draw);
      return TRUE;
    }
    case WM_ERASEBKGND:
      if (self && self->Kind() == WidgetKind::kPanel && self->Background()) {
        RECT r;
        ::GetClientRect(Window, &r);
        ::FillRect(reinterpret_cast<HDC>(W), &r, self->Background());
        return 1;
      }
      if (self && (self->Kind() == WidgetKind::kImage || self->Kind() == WidgetKind::kGauge)) return 1;
      break;
    case WM_PAINT:
      if (self && (self->Kind() == WidgetKind::kImage || self->Kind() == WidgetKind::kGauge)) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(Window, &ps);
        if (self->Kind() == WidgetKind::kImage) {
          self->PaintImage(dc);
        } else {
          self->PaintGauge(dc);
        }
        ::EndPaint(Window, &ps);
        return 0;
      }
      break;
    case WM_SIZE:
      if (Window != hwnd_ && !self && ::GetParent(Window) == hwnd_) {
        // The text window: its box fills it.
        if (HWND box = ::GetWindow(Window, GW_CHILD)) ::MoveWindow(box, 0, 0, LOWORD(L), HIWORD(L), TRUE);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (Window != hwnd_ && !self && ::GetParent(Window) == hwnd_) {
        ::DestroyWindow(Window);
        return 0;
      }
      if (Window == hwnd_) {
        if (onCloseQuery_ && !onCloseQuery_()) return 0;
        pendingAction_.clear();
        ::DestroyWindow(hwnd_);
        return 0;
      }
      break;
    case WM_QUERYENDSESSION:
      // A log-off or shut-down: refused while the run works, asked as the
      // close box asks otherwise.
      if (Window == hwnd_) return onCloseQuery_ && !onCloseQuery_() ? FALSE : TRUE;
      break;
    case WM_ENDSESSION:
      // The session ends after all: the form closes as it would.
      if (Window == hwnd_ && W) {
        pendingAction_.clear();
        ::DestroyWindow(hwnd_);
        return 0;
      }
      break;
    case WM_DESTROY:
      if (Window == hwnd_) {
        closed_ = true;
        if (onClose_) onClose_();
        ::PostQuitMessage(0);
        return 0;
      }
      break;
    case kPostedWork:
      RunPosted();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(Window, Message, W, L);
}

}  // namespace

std::unique_ptr<Form> CreateForm() { return std::make_unique<Win32Form>(); }

bool DecodeMetafile(const uint8_t* Data, size_t Size, bool Enhanced, Picture& Image, std::string& Error) {
  constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
  constexpr LONG kMaxSide = 4096;
  if (!Data || Size < 22 || Size > 0x7FFFFFFF) return Error = "the metafile is empty or too large", false;
  HENHMETAFILE meta = nullptr;
  LONG width = 0, height = 0;
  if (Enhanced) {
    meta = ::SetEnhMetaFileBits(static_cast<UINT>(Size), Data);
  } else {
    // A placeable metafile's 22-byte head gives its size in units per inch.
    METAFILEPICT pict = {MM_ANISOTROPIC, 0, 0, nullptr};
    const uint8_t* body = Data;
    size_t bodySize = Size;
    uint32_t key = Data[0] | Data[1] << 8 | Data[2] << 16 | static_cast<uint32_t>(Data[3]) << 24;
    if (key == kPlaceableKey) {
      auto s16 = [&](size_t at) { return static_cast<int16_t>(Data[at] | Data[at + 1] << 8); };
      int inch = static_cast<uint16_t>(Data[14] | Data[15] << 8);
      if (inch == 0) return Error = "the placeable metafile gives no units per inch", false;
      width = ::MulDiv(std::abs(s16(10) - s16(6)), 96, inch);
      height = ::MulDiv(std::abs(s16(12) - s16(8)), 96, inch);
      pict.xExt = ::MulDiv(width, 2540, 96);  // hundredths of a millimetre
      pict.yExt = ::MulDiv(height, 2540, 96);
      body += 22;
      bodySize -= 22;
    }
    meta = ::SetWinMetaFileBits(static_cast<UINT>(bodySize), body, nullptr, pict.xExt ? &pict : nullptr);
  }
  if (!meta) return Error = "the system cannot read the metafile", false;
  ENHMETAHEADER header;
  if (::GetEnhMetaFileHeader(meta, sizeof(header), &header) && (width == 0 || height == 0)) {
    width = header.rclBounds.right - header.rclBounds.left + 1;
    height = header.rclBounds.bottom - header.rclBounds.top + 1;
  }
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    ::DeleteEnhMetaFile(meta);
    return Error = "the metafile's size is out of range", false;
  }
  BITMAPINFO bi = win32::TopDownBitmapInfo(width, height);
  void* bits = nullptr;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HBITMAP bitmap = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap && bits) {
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    RECT r = {0, 0, width, height};
    ::FillRect(dc, &r, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ok = ::PlayEnhMetaFile(dc, meta, &r) != FALSE;
    ::GdiFlush();
    Image.Width = static_cast<uint32_t>(width);
    Image.Height = static_cast<uint32_t>(height);
    const auto* px = static_cast<const uint32_t*>(bits);
    Image.Pixels.assign(px, px + static_cast<size_t>(width) * height);
    for (uint32_t& p : Image.Pixels) p &= 0xFFFFFF;
    ::SelectObject(dc, old);
  }
  if (bitmap) ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  ::DeleteEnhMetaFile(meta);
  if (!ok) Error = "the system cannot play the metafile";
  return ok;
}

// The verification window: a tool window of 321 x 70 client pixels, centred,
// with a label at (8, 8), the status at (8, 32) and a smooth bar at (8, 48).
struct ProgressWindow::Impl {
  HWND window = nullptr;
  HWND label = nullptr;
  HWND status = nullptr;
  HWND bar = nullptr;
  HFONT font = nullptr;

  void Repaint() {
    if (window) ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
};

namespace {
constexpr wchar_t kProgressClass[] = L"WizpakVerifyWindow";

LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) return 0;  // closed by the program only
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

ProgressWindow::ProgressWindow() : impl_(std::make_unique<Impl>()) {}
ProgressWindow::~ProgressWindow() { Close(); }

void ProgressWindow::Show(const std::string& Caption, const std::string& Label, const std::string& Status) {
  Close();
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&icc);
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSW wc;
  ZeroMemory(&wc, sizeof(wc));
  wc.lpfnWndProc = ProgressProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_WAIT);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kProgressClass;
  ::RegisterClassW(&wc);
  DWORD style = WS_POPUP | WS_CAPTION;
  DWORD exStyle = WS_EX_TOOLWINDOW;
  RECT r = {0, 0, 321, 70};
  ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  Impl& i = *impl_;
  using win32::Wide;
  i.window = ::CreateWindowExW(exStyle, kProgressClass, Wide(Caption).c_str(), style, x, y, w, h, nullptr, nullptr,
                               instance, nullptr);
  if (!i.window) return;
  i.font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  i.label = ::CreateWindowExW(0, L"STATIC", Wide(Label).c_str(), WS_CHILD | WS_VISIBLE, 8, 8, 305, 16, i.window,
                              nullptr, instance, nullptr);
  i.status = ::CreateWindowExW(0, L"STATIC", Wide(Status).c_str(), WS_CHILD | WS_VISIBLE, 8, 32, 305, 16, i.window,
                               nullptr, instance, nullptr);
  i.bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 8, 48, 305, 16, i.window,
                            nullptr, instance, nullptr);
  ::SendMessageW(i.label, WM_SETFONT, reinterpret_cast<WPARAM>(i.font), FALSE);
  ::SendMessageW(i.status, WM_SETFONT, reinterpret_cast<WPARAM>(i.font), FALSE);
  ::SendMessageW(i.bar, PBM_SETRANGE32, 0, 100);
  ::ShowWindow(i.window, SW_SHOWNORMAL);
  i.Repaint();
}

void ProgressWindow::SetStatus(const std::string& Status) {
  if (!impl_->window) return;
  ::SetWindowTextW(impl_->status, win32::Wide(Status).c_str());
  impl_->Repaint();
}

void ProgressWindow::SetProgress(uint32_t Position, uint32_t Maximum) {
  if (!impl_->window) return;
  ::SendMessageW(impl_->bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(Maximum));
  ::SendMessageW(impl_->bar, PBM_SETPOS, Position, 0);
  impl_->Repaint();
}

void ProgressWindow::Close() {
  if (impl_->window) ::DestroyWindow(impl_->window);
  impl_->window = nullptr;
}

}  // namespace platform
