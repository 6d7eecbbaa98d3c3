#include "diagnostics/SErrorLog.h"

#include "common/Exceptions.h"
#include "common/Prompt.h"
#include "common/RunLog.h"
#include "common/Strings.h"
#include "diagnostics/UOSInfo.h"

namespace {

constexpr char kCaption[] = "Error Report";
constexpr char kUnknown[] = "Unknown";

// One "Label                  : value" line of the log, appended to Text.
void AddValue(std::string& Text, const char* Label, std::string_view Value) {
  const size_t start = Text.size();
  Text += Label;
  if (Text.size() - start < 22) Text.resize(start + 22, ' ');
  Text += " : ";
  Text += Value;
  Text += "\r\n";
}

// Error logs tried before a run gives up on writing one.
constexpr unsigned kMaxLogAttempts = 100;

// A heading underlined with "-", appended to Text.
void AddTitle(std::string& Text, std::string_view Title) {
  Text += Title;
  Text += "\r\n";
  Text.append(Title.size(), '-');
  Text += "\r\n";
}

}  // namespace

std::string NextErrorLogName(const std::string& Folder, unsigned* Number) {
  std::string base = AddBackslash(Folder);
  for (unsigned n = Number ? *Number : 0;; ++n) {
    std::string digits = DecimalText(n);
    if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
    std::string name = Concat({base, "ErrorLog", digits, ".TXT"});
    if (!platform::FileExists(name)) {
      if (Number) *Number = n;
      return name;
    }
  }
}

std::string MaskedCommandLine(std::span<const std::string> Arguments) {
  std::string out;
  for (size_t i = 0; i < Arguments.size(); ++i) {
    std::string part = UpperAscii(Arguments[i]);
    if (part == "/J") {
      part = "/j X X.X.X.X";
      i += 2;
    }
    out += (out.empty() ? "" : " ") + part;
  }
  return out;
}

std::string MemoryText(uint32_t Bytes) { return DecimalText(Bytes / (1024 * 1024) + 1) + "MB"; }

uint32_t MeasureCpuMhz() {
  uint64_t start, end;
  {
    platform::PriorityBoost boost;
    platform::Sleep(10);
    start = platform::ReadTimeStampCounter();
    platform::Sleep(500);
    end = platform::ReadTimeStampCounter();
  }
  return static_cast<uint32_t>((end - start + 250000) / 500000);
}

std::string ErrorLogText(const std::string& ErrorText, const std::string& ErrorType, const TErrorReport& Report) {
  TOSInfo os(platform::GetOsVersion(), Report.Registry);
  const TSetupInfo empty;
  const TSetupInfo& info = Report.SetupInfo ? Report.SetupInfo->Info : empty;
  std::string magic = Report.Trailer ? std::string(Report.Trailer->Magic, 4) : std::string();
  for (char& c : magic) {
    if (c == '\0') c = ' ';
  }
  std::string text;
  AddTitle(text, "General Info");
  AddValue(text, "Setup Name", info.SetupName);
  AddValue(text, "Setup EXE Name", info.SetupExeName);
  text += "\r\n";
  AddTitle(text, "Pak Info");
  AddValue(text, "ID", magic);
  AddValue(text, "Version", Report.Trailer ? DecimalText(Report.Trailer->Version) : "");
  AddValue(text, "Count", Report.Trailer ? DecimalText(Report.Trailer->Count) : "");
  text += "\r\n";
  AddValue(text, "ErrorType", ErrorType.empty() ? std::string_view(kUnknown) : std::string_view(ErrorType));
  AddValue(text, "ErrorText", ErrorText);
  text += "\r\n";
  AddValue(text, "Params", MaskedCommandLine(Report.Arguments));
  AddValue(text, "ParamCount", DecimalText(Report.Arguments.size()));
  text += "\r\n";
  AddTitle(text, "Windows Info");
  AddValue(text, "Product", Concat({TOSInfo::ProductName(os.Product()), " ", os.Edition()}));
  AddValue(text, "BuildNumber", DecimalText(os.BuildNumber()));
  AddValue(text, "ServicePack", os.ServicePack());
  AddValue(text, "ServicePackMajor", DecimalText(os.ServicePackMajor()));
  AddValue(text, "ServicePackMinor", DecimalText(os.ServicePackMinor()));
  text += "\r\n";
  AddValue(text, "Physical Memory", MemoryText(platform::PhysicalMemoryBytes()));
  uint32_t first = MeasureCpuMhz(), second = MeasureCpuMhz();
  AddValue(text, "CPU Speed", DecimalText(first > second ? first : second) + "Mhz");
  return text;
}

std::string WriteErrorLog(const std::string& ErrorText, const std::string& ErrorType, const TErrorReport& Report) {
  std::string text = ErrorLogText(ErrorText, ErrorType, Report);
  // Created new, never opened when it exists: another run that took the same
  // number a moment earlier (or a name planted there) makes this run take
  // the next one.
  std::string path;
  platform::File f;
  for (unsigned attempt = 0, number = 0;; ++attempt, ++number) {
    path = NextErrorLogName(platform::TempPath(), &number);
    if (f.Open(path, platform::kAccessWrite, platform::kShareRead, platform::FileDisposition::kCreateNew)) break;
    const uint32_t error = platform::LastError();
    const bool taken = error == platform::kErrorFileExists || error == platform::kErrorAlreadyExists ||
                       error == platform::kErrorLinkInPath;
    if (!taken || attempt >= kMaxLogAttempts) {
      RaiseSetupError({"Failed to write the error log ", path, ": ", platform::DescribeError(error)});
    }
  }
  if (f.Write(text.data(), static_cast<uint32_t>(text.size())) != text.size()) {
    RaiseSetupError({"Failed to write the error log ", path, ": ", platform::DescribeError(platform::LastError())});
  }
  f.Close();
  ShowMessage(Concat({(ErrorType.empty() ? kUnknown : ErrorType), " Error: ", ErrorText,
                      "\r\rError Log Created. Please Include \"", path, "\" with your bug report"}),
              kCaption, platform::kMbOk);
  LogLine("Error log", path);
  // Unattended, nobody is there to read it: it is only named in the log.
  if (!Report.Unattended) platform::ShellExecute(path, "", 3, false);
  return path;
}
