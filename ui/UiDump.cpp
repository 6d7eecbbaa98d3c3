#include "ui/UiDump.h"

#include "common/Strings.h"
#include "platform/Widgets.h"
#include "ui/FormMain.h"

namespace {

using platform::WidgetFlag;
using platform::WidgetKind;

std::string JsonString(const std::string& Utf8) {
  std::string out = "\"";
  for (char ch : Utf8) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          static const char digits[] = "0123456789abcdef";
          out += "\\u00";
          out += digits[c >> 4];
          out += digits[c & 15];
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string JsonText(const WideString& Text) { return JsonString(WideToUtf8(Text)); }
const char* JsonBool(bool Value) { return Value ? "true" : "false"; }

std::string ButtonJson(platform::Widget& Button) {
  return "{\"caption\":" + JsonText(Button.GetText()) + ",\"visible\":" + JsonBool(Button.IsVisible()) +
         ",\"enabled\":" + JsonBool(Button.IsEnabled()) + "}";
}

std::string ControlJson(int32_t Page, const TPageControl& Control) {
  platform::Widget& w = *Control.Widget;
  const WidgetKind kind = w.Kind();
  platform::Bounds b = w.GetBounds();
  std::string out = "{\"page\":" + DecimalText(Page) + ",\"name\":" + JsonString(w.Name()) +
                    ",\"kind\":" + JsonString(Control.Kind) + ",\"left\":" + DecimalText(b.Left) +
                    ",\"top\":" + DecimalText(b.Top) + ",\"width\":" + DecimalText(b.Width) +
                    ",\"height\":" + DecimalText(b.Height) + ",\"visible\":" + JsonBool(w.IsVisible()) +
                    ",\"enabled\":" + JsonBool(w.IsEnabled()) + ",\"text\":" + JsonText(w.GetText());
  const bool label = kind == WidgetKind::kLabel, edit = kind == WidgetKind::kEdit;
  const bool memo = kind == WidgetKind::kMemo || kind == WidgetKind::kRichEdit, image = kind == WidgetKind::kImage;
  if (label || edit || memo || kind == WidgetKind::kPanel) {
    platform::FontSpec f = w.GetFont();
    out += ",\"font\":{\"face\":" + JsonString(f.Face) + ",\"size\":" + DecimalText(f.Size) +
           ",\"colour\":" + (f.HasColour ? DecimalText(f.Colour) : std::string("null")) + ",\"bold\":" + JsonBool(f.Bold) +
           "}";
  }
  if (label || image) out += std::string(",\"transparent\":") + JsonBool(w.GetFlag(WidgetFlag::kTransparent));
  if (label || edit) out += std::string(",\"autosize\":") + JsonBool(w.GetFlag(WidgetFlag::kAutoSize));
  if (label) out += std::string(",\"wordwrap\":") + JsonBool(w.GetFlag(WidgetFlag::kWordWrap));
  if (memo) out += std::string(",\"border\":") + JsonBool(w.GetFlag(WidgetFlag::kBorder));
  if (image) {
    const platform::Picture& p = w.GetPicture();
    out += std::string(",\"stretch\":") + JsonBool(w.GetFlag(WidgetFlag::kStretch)) +
           ",\"center\":" + JsonBool(w.GetFlag(WidgetFlag::kCenter)) + ",\"picture\":" +
           (p.Empty() ? std::string("null")
                      : "{\"width\":" + DecimalText(p.Width) + ",\"height\":" + DecimalText(p.Height) + "}");
  }
  if (kind == WidgetKind::kGauge) {
    platform::GaugeState g = w.GetGauge();
    out += ",\"min\":" + DecimalText(g.Minimum) + ",\"max\":" + DecimalText(g.Maximum) +
           ",\"position\":" + DecimalText(g.Position) + ",\"gauge_caption\":" + JsonString(g.Caption());
  }
  return out + "}";
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

std::string UiDumpLine(TFrmMain& Form, const std::string& Action) {
  const TSEPageControl& pages = Form.Pages();
  const int32_t current = pages.CurrentPage();
  const uint8_t type = pages.PageCount() > 0 ? pages.PageType(current) : kPageWelcome;
  std::string out = "{\"action\":" + JsonString(Action) + ",\"page\":" + DecimalText(current) +
                    ",\"type\":" + JsonString(PageTypeName(type)) +
                    ",\"caption\":" + JsonText(Form.Form().Self().GetText()) +
                    ",\"panel\":{\"colour\":" + DecimalText(pages.BackgroundColour()) + "}" +
                    ",\"buttons\":{\"back\":" + ButtonJson(Form.BackButton()) +
                    ",\"next\":" + ButtonJson(Form.NextButton()) + ",\"cancel\":" + ButtonJson(Form.CancelButton()) +
                    ",\"language\":" + ButtonJson(Form.LanguageButton()) + "},\"menu\":[";
  std::vector<platform::MenuItem> menu = Form.Form().Menu();
  for (size_t i = 0; i < menu.size(); ++i) {
    out += (i ? "," : "") + std::string("{\"caption\":") + JsonText(menu[i].Caption) +
           ",\"checked\":" + JsonBool(menu[i].Checked) + "}";
  }
  out += "],\"controls\":[";
  bool first = true;
  for (int32_t p = 0; p < pages.PageCount(); ++p) {
    for (const TPageControl& c : pages.Page(p).Controls()) {
      out += (first ? "" : ",") + ControlJson(p, c);
      first = false;
    }
  }
  return out + "]}";
}

std::string PageTranscript(TFrmMain& Form) {
  const TSEPageControl& pages = Form.Pages();
  const int32_t current = pages.CurrentPage();
  const uint8_t type = pages.PageCount() > 0 ? pages.PageType(current) : kPageWelcome;
  std::string out = "page " + DecimalText(current) + " (" + PageTypeName(type) + ")";
  for (int32_t p = 0; p < pages.PageCount(); ++p) {
    for (const TPageControl& c : pages.Page(p).Controls()) {
      platform::Widget& w = *c.Widget;
      if (!w.IsVisible()) continue;
      WidgetKind kind = w.Kind();
      if (kind == WidgetKind::kImage || kind == WidgetKind::kBevel) continue;
      std::string text = kind == WidgetKind::kGauge ? w.GetGauge().Caption()
                         : kind == WidgetKind::kShellTree ? w.SelectedPath()
                                                           : OneLine(w.GetText());
      if (!text.empty()) out += "\n  " + w.Name() + ": " + text;
    }
  }
  out += "\n  buttons:";
  for (platform::Widget* b : {&Form.BackButton(), &Form.NextButton(), &Form.CancelButton(), &Form.LanguageButton()}) {
    if (!b->IsVisible()) continue;
    out += " [" + OneLine(b->GetText()) + (b->IsEnabled() ? "" : " (disabled)") + "]";
  }
  return out;
}

void ReportIdle(TFrmMain& Form, const std::string& Action) {
  Form.Form().Report(PageTranscript(Form));
  std::string path = platform::UiDumpPath();
  if (path.empty()) return;
  std::string line = UiDumpLine(Form, Action) + "\n";
  platform::File f;
  if (!f.Open(path, platform::kAccessWrite, platform::kShareRead, platform::FileDisposition::kOpenAlways)) return;
  f.Seek(0, platform::SeekOrigin::kEnd);
  f.Write(line.data(), static_cast<uint32_t>(line.size()));
}
