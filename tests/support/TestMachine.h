// A fresh place for a test to write in, as a Windows path. On the host it is a
// new emulated machine (its own root folder, so its own drives and registry);
// on Windows a new folder below the temporary folder. Removed afterwards.
#pragma once

#include <string>

#include "common/Bytes.h"

class TestMachine {
 public:
  TestMachine();
  ~TestMachine();
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  // A folder that exists and is empty, ending without "\" ("C:\wizpak-test").
  const std::string& Dir() const { return dir_; }
  std::string Path(const std::string& Name) const { return dir_ + "\\" + Name; }
  // A folder below Dir that does not exist yet.
  std::string Fresh(const std::string& Name) const { return Path(Name); }

  // Whole files, through the platform layer.
  static void Write(const std::string& Path, const std::string& Bytes);
  static std::string Read(const std::string& Path);
  // Where the test runs: "host" or "win32".
  static const char* Kind();

 private:
  std::string dir_;
  std::string nativeRoot_;
};
