#include "diagnostics/UOSInfo.h"

#include "common/Strings.h"

namespace {
constexpr uint32_t kPlatform9x = 1;
constexpr uint32_t kPlatformNT = 2;
constexpr uint16_t kSuiteEnterprise = 2;
constexpr uint16_t kSuiteDatacenter = 128;
constexpr uint16_t kSuitePersonal = 512;
constexpr uint16_t kSuiteBlade = 1024;
}  // namespace

TOSInfo::TOSInfo(const platform::OsVersion& Version, platform::Registry* Registry) : v_(Version), registry_(Registry) {}

int TOSInfo::Product() const {
  if (v_.PlatformId == kPlatform9x && v_.Major == 4) {
    if (v_.Minor == 0) return 1;
    if (v_.Minor == 10) return 2;
    if (v_.Minor == 90) return 3;
  }
  if (v_.PlatformId == kPlatformNT) {
    if (v_.Major == 4 && v_.Minor == 0) return 4;
    if (v_.Major == 5 && v_.Minor == 0) return 5;
    if (v_.Major == 5 && v_.Minor == 1) return 6;
    if (v_.Major == 5 && v_.Minor == 2) return 7;
    if (v_.Major == 6) return 8;
  }
  return 0;
}

const char* TOSInfo::ProductName(int Product) {
  static const char* const kNames[] = {"Unknown OS", "Windows 95",         "Windows 98",
                                       "Windows Me", "Windows NT4",        "Windows 2000",
                                       "Windows XP", "Windows Server2003", "Windows Vista"};
  return Product >= 0 && Product <= 8 ? kNames[Product] : kNames[0];
}

std::string TOSInfo::RegistryProductType() const {
  if (!registry_) return {};
  registry_->SetRoot(platform::kRootLocalMachine);
  std::string value;
  if (registry_->OpenKey("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", false)) {
    registry_->ReadString("ProductType", value);
    registry_->CloseKey();
  }
  return LowerAscii(value);
}

int TOSInfo::ProductClass() const {
  if (v_.PlatformId != kPlatformNT) return 0;
  if (v_.HasExtended) {
    switch (v_.ProductType) {
      case 1:
        return 2;
      case 2:
        return 4;
      case 3:
        return 3;
      default:
        return 1;
    }
  }
  std::string type = RegistryProductType();
  if (type == "winnt") return 2;
  if (type == "lanmannt") return 3;
  if (type == "servernt") return 5;
  return 1;
}

std::string TOSInfo::Edition() const {
  if (v_.PlatformId != kPlatformNT) return {};
  int product = Product();
  if (!v_.HasExtended) {
    std::string type = RegistryProductType();
    std::string name = type == "winnt"      ? "WorkStation"
                       : type == "lanmannt" ? "Server"
                       : type == "servernt" ? "Advanced Server"
                                            : "";
    if (name.empty()) return {};
    return Concat({name, " ", DecimalText(v_.Major), ".", DecimalText(v_.Minor)});
  }
  int cls = ProductClass();
  uint16_t suite = v_.SuiteMask;
  if (cls >= 3 && cls <= 5) {
    if (product == 4) return (suite & kSuiteEnterprise) ? "Server 4.0, Enterprise Edition" : "Server 4.0";
    if (product == 5) {
      if (suite & kSuiteDatacenter) return "Datacenter Server";
      if (suite & kSuiteEnterprise) return "Advanced Server";
      return "Standard Edition";
    }
    if (product == 7) {
      if (suite & kSuiteDatacenter) return "DataCenter Edition";
      if (suite & kSuiteEnterprise) return "Enterprise Edition";
      if (suite & kSuiteBlade) return "Web Edition";
      return "Standard Edition";
    }
    return {};
  }
  if (product == 4) return "Workstation 4.0";
  if (product == 5) return "Professional";
  if (product == 6) {
    if (v_.MediaCenter) return "Media Center Edition";
    if (v_.TabletPC) return "Tablet PC Edition";
    if (suite & kSuitePersonal) return "Home Edition";
    return "Professional";
  }
  return {};
}

std::string TOSInfo::ServicePack() const {
  int product = Product();
  if (v_.PlatformId == kPlatform9x) {
    if (v_.ServicePackText.empty()) return {};
    char first = static_cast<char>(std::toupper(static_cast<unsigned char>(v_.ServicePackText[0])));
    if (product == 1 && (first == 'B' || first == 'C')) return "OSR2";
    if (product == 2 && first == 'A') return "SE";
    return {};
  }
  if (v_.PlatformId == kPlatformNT) {
    if (product == 4 && SameTextAscii(v_.ServicePackText, "Service Pack 6") && registry_) {
      registry_->SetRoot(platform::kRootLocalMachine);
      if (registry_->KeyExists("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009")) {
        return "Service Pack 6a";
      }
    }
    return v_.ServicePackText;
  }
  return {};
}
