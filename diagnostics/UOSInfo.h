// Which Windows this is, in the words of the error report.
#pragma once

#include <string>

#include "platform/Platform.h"

class TOSInfo {
 public:
  explicit TOSInfo(const platform::OsVersion& Version, platform::Registry* Registry);

  // 0 "Unknown OS", 1 Windows 95 .. 8 Windows Vista.
  int Product() const;
  static const char* ProductName(int Product);
  // NT only: 1 unknown, 2 workstation, 3 server, 4 domain controller, 5
  // advanced server; 0 on other platforms.
  int ProductClass() const;
  std::string Edition() const;
  std::string ServicePack() const;
  uint32_t BuildNumber() const { return v_.Build; }
  uint16_t ServicePackMajor() const { return v_.ServicePackMajor; }
  uint16_t ServicePackMinor() const { return v_.ServicePackMinor; }

 private:
  std::string RegistryProductType() const;

  platform::OsVersion v_;
  platform::Registry* registry_;
};
