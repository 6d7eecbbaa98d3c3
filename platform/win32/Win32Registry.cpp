// The registry accessor through advapi32's wide entry points.
#include <vector>

#include "platform/PlatformShared.h"
#include "platform/win32/Win32Common.h"

namespace platform {
namespace {

using win32::Wide;

HKEY RootKey(int root) {
  switch (root) {
    case kRootLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case kRootCurrentUser:
      return HKEY_CURRENT_USER;
    case kRootClassesRoot:
      return HKEY_CLASSES_ROOT;
    case kRootUsers:
      return HKEY_USERS;
    case kRootCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    default:
      return nullptr;
  }
}

// RegDeleteKey refuses keys with subkeys on NT, so the subkeys go first.
LONG DeleteTree(HKEY parent, const wchar_t* path) {
  HKEY key;
  LONG rc = ::RegOpenKeyExW(parent, path, 0, KEY_READ | KEY_WRITE, &key);
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    wchar_t name[256];
    DWORD size = 256;
    if (::RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (DeleteTree(key, name) != ERROR_SUCCESS) break;
  }
  ::RegCloseKey(key);
  return ::RegDeleteKeyW(parent, path);
}

}  // namespace

struct Registry::Impl {
  int root = kRootLocalMachine;
  HKEY key = nullptr;
};

Registry::Registry() : impl_(std::make_unique<Impl>()) {}
Registry::~Registry() { CloseKey(); }

void Registry::SetRoot(int Root) {
  CloseKey();
  impl_->root = Root;
}

int Registry::Root() const { return impl_->root; }

bool Registry::OpenKey(const std::string& Path, bool Create) {
  CloseKey();
  HKEY root = RootKey(impl_->root);
  if (!root) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  win32::WideText path = Wide(shared::NormaliseKeyPath(Path));
  HKEY key = nullptr;
  LONG rc;
  if (Create) {
    rc = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                           nullptr);
  } else {
    rc = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (rc == ERROR_ACCESS_DENIED) rc = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
  }
  if (rc != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(rc));
    return false;
  }
  impl_->key = key;
  return true;
}

bool Registry::KeyExists(const std::string& Path) {
  HKEY root = RootKey(impl_->root);
  if (!root) return false;
  HKEY key;
  if (::RegOpenKeyExW(root, Wide(shared::NormaliseKeyPath(Path)).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(key);
  return true;
}

void Registry::CloseKey() {
  if (impl_->key) ::RegCloseKey(impl_->key);
  impl_->key = nullptr;
}

bool Registry::HasOpenKey() const { return impl_->key != nullptr; }

bool Registry::ReadString(const std::string& Name, std::string& Value) {
  Value.clear();
  if (!impl_->key) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  win32::WideText name = Wide(Name);
  DWORD type = 0, size = 0;
  LONG rc = ::RegQueryValueExW(impl_->key, name.c_str(), nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    ::SetLastError(rc != ERROR_SUCCESS ? static_cast<DWORD>(rc) : ERROR_INVALID_DATA);
    return false;
  }
  std::vector<wchar_t> buffer(size / 2 + 1, L'\0');
  rc = ::RegQueryValueExW(impl_->key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (rc != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(rc));
    return false;
  }
  Value = win32::Narrow(buffer.data());
  return true;
}

bool Registry::WriteString(const std::string& Name, const std::string& Data) {
  if (!impl_->key) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  win32::WideText data = Wide(Data);
  LONG rc = ::RegSetValueExW(impl_->key, Wide(Name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * 2));
  ::SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}

bool Registry::WriteInteger(const std::string& Name, uint32_t Data) {
  if (!impl_->key) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD value = Data;
  LONG rc = ::RegSetValueExW(impl_->key, Wide(Name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof value);
  ::SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}

bool Registry::ReadRaw(const std::string& Name, uint32_t& Type, std::string& Data) {
  if (!impl_->key) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  win32::WideText name = Wide(Name);
  DWORD type = 0, size = 0;
  LONG rc = ::RegQueryValueExW(impl_->key, name.c_str(), nullptr, &type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    Data.assign(size, '\0');
    rc = ::RegQueryValueExW(impl_->key, name.c_str(), nullptr, &type,
                            size ? reinterpret_cast<BYTE*>(&Data[0]) : nullptr, &size);
    Data.resize(size);
  }
  ::SetLastError(static_cast<DWORD>(rc));
  Type = type;
  return rc == ERROR_SUCCESS;
}

bool Registry::WriteRaw(const std::string& Name, uint32_t Type, const std::string& Data) {
  if (!impl_->key) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  LONG rc = ::RegSetValueExW(impl_->key, Wide(Name).c_str(), 0, Type, reinterpret_cast<const BYTE*>(Data.data()),
                             static_cast<DWORD>(Data.size()));
  ::SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}

bool Registry::ValueExists(const std::string& Name) {
  return impl_->key &&
         ::RegQueryValueExW(impl_->key, Wide(Name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool Registry::DeleteValue(const std::string& Name) {
  if (!impl_->key) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  LONG rc = ::RegDeleteValueW(impl_->key, Wide(Name).c_str());
  ::SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}

bool Registry::DeleteKey(const std::string& Path) {
  HKEY root = RootKey(impl_->root);
  win32::WideText path = Wide(shared::NormaliseKeyPath(Path));
  if (!root || path.empty()) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  LONG rc = DeleteTree(root, path.c_str());
  ::SetLastError(static_cast<DWORD>(rc));
  return rc == ERROR_SUCCESS;
}

}  // namespace platform
