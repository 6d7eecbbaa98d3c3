// Message boxes through user32.
#include "platform/win32/Win32Common.h"

namespace platform {

int MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags) {
  return MessageBoxWide(TextToWide(Text), TextToWide(Caption), Flags);
}

int MessageBoxWide(const WideString& Text, const WideString& Caption, uint32_t Flags) {
  return ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(Text.c_str()),
                       reinterpret_cast<const wchar_t*>(Caption.c_str()), Flags);
}

}  // namespace platform
