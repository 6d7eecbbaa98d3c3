// The emulated registry: one tree per machine, kept in registry.reg in the
// registry editor's version-5 export format (UTF-16 LE with byte-order mark,
// CR LF). Every change is written back at once, through a temporary file, so
// the file always reads like a complete export.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/Platform.h"
#include "platform/PlatformShared.h"
#include "platform/host/HostMachine.h"

namespace platform {
namespace {

const char* const kRootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS",
                                  "HKEY_CURRENT_CONFIG"};
constexpr char kHeader[] = "Windows Registry Editor Version 5.00";

struct Value {
  std::string Name;  // as first written; empty for the default value
  bool IsString = true;
  std::string Data;  // string data, or the raw text after "=" for other types
};

struct Key {
  std::string Path;  // full path with the root name, as first created
  std::vector<Value> Values;

  Value* Find(const std::string& name) {
    std::string want = host::ToLowerAscii(name);
    for (Value& v : Values) {
      if (host::ToLowerAscii(v.Name) == want) return &v;
    }
    return nullptr;
  }
};

struct Hive {
  uint64_t generation = ~0ull;      // the machine this tree was read from
  std::map<std::string, Key> keys;  // by lower-cased full path
};

std::mutex& HiveMutex() {
  static std::mutex m;
  return m;
}

Hive& GetHive() {
  static Hive h;
  return h;
}

std::string RegFile() { return host::Root() + "/registry.reg"; }

// --- text encoding of the file ---

std::string EncodeUtf16(const std::string& ansi) {
  WideString w = TextToWide(ansi);
  std::string out;
  out.reserve(w.size() * 2);
  for (char16_t c : w) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string DecodeFile(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    WideString w;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      w += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    }
    return WideToUtf8(w);
  }
  return bytes;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
bool Unquote(const std::string& s, size_t& pos, std::string& out) {
  out.clear();
  if (pos >= s.size() || s[pos] != '"') return false;
  for (++pos; pos < s.size(); ++pos) {
    char c = s[pos];
    if (c == '\\' && pos + 1 < s.size()) {
      out += s[++pos];
    } else if (c == '"') {
      ++pos;
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

void AddKeyWithParents(Hive& h, const std::string& fullPath) {
  size_t pos = 0;
  for (;;) {
    pos = fullPath.find('\\', pos);
    std::string prefix = pos == std::string::npos ? fullPath : fullPath.substr(0, pos);
    std::string lower = host::ToLowerAscii(prefix);
    if (!h.keys.count(lower)) h.keys[lower].Path = prefix;
    if (pos == std::string::npos) break;
    ++pos;
  }
}

void Parse(Hive& h, const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::stringstream ss(text);
  std::string pending;
  while (std::getline(ss, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A line ending in "\" continues on the next one (long hex values).
    if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
      pending += line.substr(0, line.size() - 1);
      continue;
    }
    if (!pending.empty()) {
      size_t b = line.find_first_not_of(" \t");
      line = pending + (b == std::string::npos ? "" : line.substr(b));
      pending.clear();
    }
    lines.push_back(line);
  }
  Key* current = nullptr;
  for (const std::string& l : lines) {
    if (l.empty() || l == kHeader || l[0] == ';') continue;
    if (l[0] == '[') {
      size_t close = l.rfind(']');
      std::string path = l.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      if (!path.empty() && path[0] == '-') {
        current = nullptr;
        continue;
      }
      AddKeyWithParents(h, path);
      current = &h.keys[host::ToLowerAscii(path)];
      continue;
    }
    if (!current) continue;
    Value v;
    size_t pos = 0;
    if (l[0] == '@') {
      pos = 1;
    } else if (!Unquote(l, pos, v.Name)) {
      continue;
    }
    if (pos >= l.size() || l[pos] != '=') continue;
    ++pos;
    if (pos < l.size() && l[pos] == '"') {
      if (!Unquote(l, pos, v.Data)) continue;
      v.IsString = true;
    } else {
      v.IsString = false;
      v.Data = l.substr(pos);
    }
    if (Value* old = current->Find(v.Name)) {
      *old = v;
    } else {
      current->Values.push_back(v);
    }
  }
}

void EnsureLoaded(Hive& h) {
  uint64_t generation = host::Generation();
  if (h.generation == generation) return;
  h.generation = generation;
  h.keys.clear();
  std::ifstream in(RegFile(), std::ios::binary);
  if (!in) return;
  std::stringstream ss;
  ss << in.rdbuf();
  Parse(h, DecodeFile(ss.str()));
}

bool Save(Hive& h) {
  // A change of the registry is a change of the disk, for fault injection too.
  if (!host::FileOperationAllowed()) return false;
  std::string text = std::string(kHeader) + "\r\n\r\n";
  for (const auto& [lower, key] : h.keys) {
    // Bare root keys are implied, as in an export.
    if (key.Path.find('\\') == std::string::npos && key.Values.empty()) continue;
    text += "[" + key.Path + "]\r\n";
    for (const Value& v : key.Values) {
      text += v.Name.empty() ? std::string("@") : Quote(v.Name);
      text += "=";
      text += v.IsString ? Quote(v.Data) : v.Data;
      text += "\r\n";
    }
    text += "\r\n";
  }
  std::string bytes = "\xFF\xFE" + EncodeUtf16(text);
  std::string tmp = RegFile() + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok || std::rename(tmp.c_str(), RegFile().c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

struct Registry::Impl {
  int root = kRootLocalMachine;
  std::string openKey;  // lower-cased full path of the open key, empty when none

  // The open key in the loaded hive (the caller holds HiveMutex), or null with
  // the last error set.
  Key* OpenedKey() {
    Hive& h = GetHive();
    EnsureLoaded(h);
    auto it = h.keys.find(openKey);
    if (openKey.empty() || it == h.keys.end()) {
      SetLastError(kErrorInvalidHandle);
      return nullptr;
    }
    return &it->second;
  }

  // Sets a value of the open key (a string, or another type's text after
  // "="), keeping the name's first spelling, and writes the file.
  bool Store(const std::string& Name, bool IsString, const std::string& Data) {
    std::lock_guard<std::mutex> lock(HiveMutex());
    Key* key = OpenedKey();
    if (!key) return false;
    if (platform::Value* v = key->Find(Name)) {
      v->IsString = IsString;
      v->Data = Data;
    } else {
      key->Values.push_back({Name, IsString, Data});
    }
    if (!Save(GetHive())) {
      SetLastError(kErrorAccessDenied);
      return false;
    }
    return true;
  }
};

Registry::Registry() : impl_(std::make_unique<Impl>()) {}
Registry::~Registry() = default;

void Registry::SetRoot(int Root) {
  CloseKey();
  impl_->root = Root;
}

int Registry::Root() const { return impl_->root; }

bool Registry::OpenKey(const std::string& Path, bool Create) {
  CloseKey();
  if (impl_->root < 0 || impl_->root > 4) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  std::string rel = shared::NormaliseKeyPath(Path);
  std::string full = kRootNames[impl_->root];
  if (!rel.empty()) full += "\\" + rel;
  std::string lower = host::ToLowerAscii(full);
  std::lock_guard<std::mutex> lock(HiveMutex());
  Hive& h = GetHive();
  EnsureLoaded(h);
  if (!h.keys.count(lower) && !rel.empty()) {
    if (!Create) {
      SetLastError(kErrorFileNotFound);
      return false;
    }
    AddKeyWithParents(h, full);
    if (!Save(h)) {
      SetLastError(kErrorAccessDenied);
      return false;
    }
  }
  if (!h.keys.count(lower)) h.keys[lower].Path = full;
  impl_->openKey = lower;
  return true;
}

bool Registry::KeyExists(const std::string& Path) {
  if (impl_->root < 0 || impl_->root > 4) return false;
  std::string rel = shared::NormaliseKeyPath(Path);
  if (rel.empty()) return true;
  std::lock_guard<std::mutex> lock(HiveMutex());
  Hive& h = GetHive();
  EnsureLoaded(h);
  return h.keys.count(host::ToLowerAscii(std::string(kRootNames[impl_->root]) + "\\" + rel)) != 0;
}

void Registry::CloseKey() { impl_->openKey.clear(); }

bool Registry::HasOpenKey() const { return !impl_->openKey.empty(); }

bool Registry::ReadString(const std::string& Name, std::string& Value) {
  Value.clear();
  std::lock_guard<std::mutex> lock(HiveMutex());
  Key* key = impl_->OpenedKey();
  if (!key) return false;
  platform::Value* v = key->Find(Name);
  if (!v || !v->IsString) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  Value = v->Data;
  return true;
}

bool Registry::WriteString(const std::string& Name, const std::string& Data) { return impl_->Store(Name, true, Data); }

bool Registry::WriteInteger(const std::string& Name, uint32_t Data) {
  char text[16];
  std::snprintf(text, sizeof text, "dword:%08x", Data);
  return impl_->Store(Name, false, text);
}

// Type 1 is a string; 0 any other value, whose Data is its text after "=".
bool Registry::ReadRaw(const std::string& Name, uint32_t& Type, std::string& Data) {
  std::lock_guard<std::mutex> lock(HiveMutex());
  Key* key = impl_->OpenedKey();
  if (!key) return false;
  platform::Value* v = key->Find(Name);
  if (!v) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  Type = v->IsString ? 1 : 0;
  Data = v->Data;
  return true;
}

bool Registry::WriteRaw(const std::string& Name, uint32_t Type, const std::string& Data) {
  return impl_->Store(Name, Type == 1, Data);
}

bool Registry::ValueExists(const std::string& Name) {
  std::lock_guard<std::mutex> lock(HiveMutex());
  Key* key = impl_->OpenedKey();
  return key && key->Find(Name) != nullptr;
}

bool Registry::DeleteValue(const std::string& Name) {
  std::lock_guard<std::mutex> lock(HiveMutex());
  Key* key = impl_->OpenedKey();
  if (!key) return false;
  auto& values = key->Values;
  std::string want = host::ToLowerAscii(Name);
  auto v = std::find_if(values.begin(), values.end(),
                        [&](const platform::Value& x) { return host::ToLowerAscii(x.Name) == want; });
  if (v == values.end()) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  values.erase(v);
  return Save(GetHive());
}

bool Registry::DeleteKey(const std::string& Path) {
  if (impl_->root < 0 || impl_->root > 4) return false;
  std::string rel = shared::NormaliseKeyPath(Path);
  if (rel.empty()) {
    SetLastError(kErrorAccessDenied);
    return false;
  }
  std::string lower = host::ToLowerAscii(std::string(kRootNames[impl_->root]) + "\\" + rel);
  std::lock_guard<std::mutex> lock(HiveMutex());
  Hive& h = GetHive();
  EnsureLoaded(h);
  if (!h.keys.count(lower)) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  for (auto it = h.keys.begin(); it != h.keys.end();) {
    if (it->first == lower || it->first.rfind(lower + "\\", 0) == 0) {
      it = h.keys.erase(it);
    } else {
      ++it;
    }
  }
  if (impl_->openKey == lower || impl_->openKey.rfind(lower + "\\", 0) == 0) impl_->openKey.clear();
  return Save(h);
}

}  // namespace platform
