// Message boxes and ANSI code page conversion through user32 and kernel32.
#include <vector>

#include "platform/win32/Win32Common.h"

namespace platform {

int MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags) {
  return ::MessageBoxA(nullptr, Text.c_str(), Caption.c_str(), Flags);
}

int MessageBoxWide(const WideString& Text, const WideString& Caption, uint32_t Flags) {
  return ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(Text.c_str()),
                       reinterpret_cast<const wchar_t*>(Caption.c_str()), Flags);
}

WideString AnsiToWide(const std::string& Text) {
  if (Text.empty()) return {};
  int n = ::MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1);
  n = ::MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), buffer.data(), n);
  return WideString(buffer.begin(), buffer.begin() + n);
}

std::string WideToAnsi(const WideString& Text) {
  if (Text.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(Text.data());
  int n = ::WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(Text.size()), nullptr, 0, nullptr, nullptr);
  std::vector<char> buffer(static_cast<size_t>(n) + 1);
  n = ::WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(Text.size()), buffer.data(), n, nullptr, nullptr);
  return std::string(buffer.data(), static_cast<size_t>(n));
}

}  // namespace platform
