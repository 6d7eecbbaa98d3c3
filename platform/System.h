// Facts of the machine: the date, the language, the clock, the Windows
// version, memory and the time-stamp counter; conversion between the ANSI
// code page and UTF-16.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Errors.h"

namespace platform {

struct CalendarDate {
  uint16_t Year = 1980;
  uint16_t Month = 1;  // 1..12
  uint16_t Day = 1;    // 1..31
};
// Today's date in local time.
CalendarDate Today();

// The system's default language identifier (GetSystemDefaultLangID).
uint16_t DefaultLanguageId();
// Milliseconds since the system started, wrapping at 2^32.
uint32_t TickCount();
void Sleep(uint32_t Milliseconds);

struct OsVersion {
  uint32_t PlatformId = 2;  // 1 Windows 9x, 2 NT
  uint32_t Major = 5;
  uint32_t Minor = 1;
  uint32_t Build = 2600;
  std::string ServicePackText;
  bool HasExtended = false;  // the extended query answered
  uint16_t ServicePackMajor = 0;
  uint16_t ServicePackMinor = 0;
  uint16_t SuiteMask = 0;
  uint8_t ProductType = 1;  // 1 workstation, 2 domain controller, 3 server
  bool MediaCenter = false;
  bool TabletPC = false;
};
OsVersion GetOsVersion();
// Total physical memory as the 32-bit figure the system reports.
uint32_t PhysicalMemoryBytes();
uint64_t ReadTimeStampCounter();

}  // namespace platform
