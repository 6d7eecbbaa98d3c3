// The registry. Roots are the numbers the records store: 0 HKLM, 1 HKCU,
// 2 HKCR, 3 HKU, 4 HKCC.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Errors.h"

namespace platform {

constexpr int kRootLocalMachine = 0;
constexpr int kRootCurrentUser = 1;
constexpr int kRootClassesRoot = 2;
constexpr int kRootUsers = 3;
constexpr int kRootCurrentConfig = 4;

// A registry accessor: one root, at most one open key at a time.
class Registry {
 public:
  Registry();
  ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Selects the root for later calls; an unknown number selects no root, so
  // every later call fails. Closes an open key.
  void SetRoot(int Root);
  int Root() const;
  // Opens Path below the root, creating missing keys when Create is set.
  bool OpenKey(const std::string& Path, bool Create);
  bool KeyExists(const std::string& Path);
  void CloseKey();
  bool HasOpenKey() const;

  // On the open key. An empty Name is the key's default value.
  bool ReadString(const std::string& Name, std::string& Value);
  bool WriteString(const std::string& Name, const std::string& Value);
  // A DWORD value.
  bool WriteInteger(const std::string& Name, uint32_t Value);
  bool ValueExists(const std::string& Name);
  // A value of any type as stored, for putting it back exactly: Type and
  // Data are the platform's own (on Windows the value's type and bytes).
  bool ReadRaw(const std::string& Name, uint32_t& Type, std::string& Data);
  bool WriteRaw(const std::string& Name, uint32_t Type, const std::string& Data);
  bool DeleteValue(const std::string& Name);
  // Deletes Path below the root with all its subkeys.
  bool DeleteKey(const std::string& Path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
