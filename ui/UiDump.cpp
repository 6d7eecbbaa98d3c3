#include "ui/UiDump.h"

#include "common/Strings.h"
#include "platform/Widgets.h"
#include "ui/FormMain.h"

namespace {

using platform::WidgetFlag;

// Utf8 as a JSON string, appended to Out.
void AddJsonString(std::string& Out, std::string_view Utf8) {
  Out += '"';
  for (char ch : Utf8) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        Out += "\\\"";
        break;
      case '\\':
        Out += "\\\\";
        break;
      case '\r':
        Out += "\\r";
        break;
      case '\n':
        Out += "\\n";
        break;
      case '\t':
        Out += "\\t";
        break;
      default:
        if (c < 0x20) {
          static const char digits[] = "0123456789abcdef";
          Out += "\\u00";
          Out += digits[c >> 4];
          Out += digits[c & 15];
        } else {
          Out += ch;
        }
    }
  }
  Out += '"';
}

// Writes one JSON object field by field: a call per field keeps the dump's
// code small (it travels in every setup).
class TJsonObject {
 public:
  explicit TJsonObject(std::string& Out) : out_(Out) { out_ += '{'; }
  TJsonObject& Raw(const char* Key, std::string_view Json) {
    Name(Key);
    out_ += Json;
    return *this;
  }
  TJsonObject& Str(const char* Key, std::string_view Utf8) {
    Name(Key);
    AddJsonString(out_, Utf8);
    return *this;
  }
  TJsonObject& Text(const char* Key, const WideString& Text) { return Str(Key, WideToUtf8(Text)); }
  TJsonObject& Num(const char* Key, int64_t Value) { return Raw(Key, DecimalText(Value)); }
  TJsonObject& Bool(const char* Key, bool Value) { return Raw(Key, Value ? "true" : "false"); }
  void Close() { out_ += '}'; }

 private:
  void Name(const char* Key) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += '"';
    out_ += Key;
    out_ += "\":";
  }
  std::string& out_;
  bool first_ = true;
};

void ButtonJson(std::string& Out, platform::Widget& Button) {
  TJsonObject o(Out);
  o.Text("caption", Button.GetText()).Bool("visible", Button.IsVisible()).Bool("enabled", Button.IsEnabled()).Close();
}

void ControlJson(std::string& Out, int32_t Page, const TPageControl& Control) {
  platform::Widget& w = *Control.Widget;
  platform::Bounds b = w.GetBounds();
  TJsonObject o(Out);
  o.Num("page", Page).Str("name", w.Name()).Str("kind", Control.Kind).Num("left", b.Left).Num("top", b.Top);
  o.Num("width", b.Width).Num("height", b.Height).Bool("visible", w.IsVisible()).Bool("enabled", w.IsEnabled());
  o.Text("text", w.GetText());
  const uint32_t fields = Control.KindRow ? Control.KindRow->DumpFields : 0;
  if (fields & kDumpFont) {
    platform::FontSpec f = w.GetFont();
    std::string font;
    TJsonObject(font)
        .Str("face", f.Face)
        .Num("size", f.Size)
        .Raw("colour", f.HasColour ? DecimalText(f.Colour) : std::string("null"))
        .Bool("bold", f.Bold)
        .Close();
    o.Raw("font", font);
  }
  if (fields & kDumpTransparent) o.Bool("transparent", w.GetFlag(WidgetFlag::kTransparent));
  if (fields & kDumpAutoSize) o.Bool("autosize", w.GetFlag(WidgetFlag::kAutoSize));
  if (fields & kDumpWordWrap) o.Bool("wordwrap", w.GetFlag(WidgetFlag::kWordWrap));
  if (fields & kDumpBorder) o.Bool("border", w.GetFlag(WidgetFlag::kBorder));
  if (fields & kDumpChecked) o.Bool("checked", w.GetFlag(WidgetFlag::kChecked));
  if (fields & kDumpPicture) {
    const platform::Picture& p = w.GetPicture();
    o.Bool("stretch", w.GetFlag(WidgetFlag::kStretch)).Bool("center", w.GetFlag(WidgetFlag::kCenter));
    std::string picture = "null";
    if (!p.Empty()) {
      picture.clear();
      TJsonObject(picture).Num("width", p.Width).Num("height", p.Height).Close();
    }
    o.Raw("picture", picture);
  }
  if (fields & kDumpGauge) {
    platform::GaugeState g = w.GetGauge();
    o.Num("min", g.Minimum).Num("max", g.Maximum).Num("position", g.Position).Str("gauge_caption", g.Caption());
  }
  o.Close();
}

// A caption as one transcript line: line breaks shown as " | ".
std::string OneLine(const WideString& Text) {
  std::string out = WideToUtf8(Text);
  std::string shown;
  for (char ch : out) {
    if (ch == '\r') {
      shown += " | ";
    } else if (ch != '\n') {
      shown += ch;
    }
  }
  return shown;
}

}  // namespace

TDumpedPrompt::TDumpedPrompt(platform::Form& Form) : form_(Form), inner_(Prompt()), scope_(*this) {}

int TDumpedPrompt::Show(const std::string& Text, const std::string& Caption, uint32_t Flags) {
  int answer = inner_.Show(Text, Caption, Flags);
  Keep({platform::TextToWide(Caption), platform::TextToWide(Text), Flags, answer});
  return answer;
}

int TDumpedPrompt::ShowWide(const WideString& Text, const WideString& Caption, uint32_t Flags) {
  int answer = inner_.ShowWide(Text, Caption, Flags);
  Keep({Caption, Text, Flags, answer});
  return answer;
}

void TDumpedPrompt::FatalAppExit(const std::string& Text) { inner_.FatalAppExit(Text); }

void TDumpedPrompt::Keep(TBox Box) {
  // Boxes of the setup thread too: the list is the UI thread's alone.
  form_.Post([this, Box] { shown_.push_back(Box); });
}

std::vector<TDumpedPrompt::TBox> TDumpedPrompt::Take() {
  std::vector<TBox> boxes;
  boxes.swap(shown_);
  return boxes;
}

std::string UiDumpLine(TFrmMain& Form, const std::string& Action, const std::vector<TDumpedPrompt::TBox>& Boxes) {
  const TSEPageControl& pages = Form.Pages();
  const int32_t current = pages.CurrentPage();
  const uint8_t type = pages.PageCount() > 0 ? pages.PageType(current) : kPageWelcome;
  std::string out;
  TJsonObject o(out);
  o.Str("action", Action).Num("page", current).Str("type", PageTypeName(type));
  o.Text("caption", Form.Form().Self().GetText());
  std::string panel;
  TJsonObject(panel).Num("colour", pages.BackgroundColour()).Close();
  o.Raw("panel", panel);
  std::string buttons;
  {
    TJsonObject b(buttons);
    for (int i = 0; i < kWizardButtonCount; ++i) {
      std::string one;
      ButtonJson(one, Form.Button(i));
      b.Raw(kWizardButtons[i].DumpName, one);
    }
    b.Close();
  }
  o.Raw("buttons", buttons);
  std::string menu = "[";
  std::vector<platform::MenuItem> items = Form.Form().Menu();
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) menu += ',';
    TJsonObject(menu).Text("caption", items[i].Caption).Bool("checked", items[i].Checked).Close();
  }
  o.Raw("menu", menu + "]");
  std::string controls = "[";
  bool first = true;
  for (int32_t p = 0; p < pages.PageCount(); ++p) {
    for (const TPageControl& c : pages.Page(p).Controls()) {
      if (!first) controls += ',';
      ControlJson(controls, p, c);
      first = false;
    }
  }
  o.Raw("controls", controls + "]");
  std::string boxes = "[";
  for (size_t i = 0; i < Boxes.size(); ++i) {
    if (i) boxes += ',';
    static const char* const kAnswers[] = {"closed", "ok", "cancel", "abort", "retry", "ignore", "yes", "no"};
    const int answer = Boxes[i].Answer >= 0 && Boxes[i].Answer <= 7 ? Boxes[i].Answer : 0;
    TJsonObject(boxes)
        .Text("caption", Boxes[i].Caption)
        .Text("text", Boxes[i].Text)
        .Num("flags", Boxes[i].Flags)
        .Str("answer", kAnswers[answer])
        .Close();
  }
  o.Raw("boxes", boxes + "]");
  o.Close();
  return out;
}

std::string PageTranscript(TFrmMain& Form) {
  const TSEPageControl& pages = Form.Pages();
  const int32_t current = pages.CurrentPage();
  const uint8_t type = pages.PageCount() > 0 ? pages.PageType(current) : kPageWelcome;
  std::string out = Concat({"page ", DecimalText(current), " (", PageTypeName(type), ")"});
  for (int32_t p = 0; p < pages.PageCount(); ++p) {
    for (const TPageControl& c : pages.Page(p).Controls()) {
      platform::Widget& w = *c.Widget;
      if (!w.IsVisible()) continue;
      const uint32_t traits = c.KindRow ? c.KindRow->Traits : 0;
      if (traits & kNotTranscribed) continue;
      std::string text = c.KindRow && (c.KindRow->DumpFields & kDumpGauge) ? w.GetGauge().Caption()
                         : traits & kTranscribesPath                       ? w.SelectedPath()
                                                                           : OneLine(w.GetText());
      if (!text.empty()) out += Concat({"\n  ", w.Name(), ": ", text});
    }
  }
  out += "\n  buttons:";
  for (int i = 0; i < kWizardButtonCount; ++i) {
    platform::Widget& b = Form.Button(i);
    if (!b.IsVisible()) continue;
    out += Concat({" [", OneLine(b.GetText()), (b.IsEnabled() ? "" : " (disabled)"), "]"});
  }
  return out;
}

void ReportIdle(TFrmMain& Form, const std::string& Action, TDumpedPrompt* Boxes) {
  Form.Form().Report(PageTranscript(Form));
  std::vector<TDumpedPrompt::TBox> shown = Boxes ? Boxes->Take() : std::vector<TDumpedPrompt::TBox>();
  std::string path = platform::UiDumpPath();
  if (path.empty()) return;
  std::string line = UiDumpLine(Form, Action, shown) + "\n";
  platform::File f;
  if (!f.Open(path, platform::kAccessWrite, platform::kShareRead, platform::FileDisposition::kOpenAlways)) return;
  f.Seek(0, platform::SeekOrigin::kEnd);
  f.Write(line.data(), static_cast<uint32_t>(line.size()));
}
