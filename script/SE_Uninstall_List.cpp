#include "script/SE_Uninstall_List.h"

#include "common/Strings.h"
#include "common/ZUI_Global.h"

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  for (const std::string& s : list) {
    if (SameTextAscii(s, item)) return true;
  }
  return false;
}

}  // namespace

TUninstallList::TUninstallList(std::function<TPathFields()> Fields) : fields_(std::move(Fields)) { Clear(); }

TUninstallList::TUninstallList() : TUninstallList(CurrentPathFields) {}

void TUninstallList::Clear() {
  files_.clear();
  registry_.clear();
  directories_.clear();
}

bool TUninstallList::HasFile(const std::string& Path) const { return Contains(files_, Path); }

void TUninstallList::AddInstalledFile(const std::string& Path) {
  std::string collapsed = fields_ ? CollapsePathFields(Path, fields_()) : Path;
  if (!HasFile(collapsed)) files_.push_back(collapsed);
}

bool TUninstallList::HasRegistryRecord(const std::string& Record) const { return Contains(registry_, Record); }

void TUninstallList::AddRegistryRecord(const std::string& Record) {
  if (!HasRegistryRecord(Record)) registry_.push_back(Record);
}

void TUninstallList::AddDirectory(const std::string& Path) { directories_.push_back(Path); }

std::string MakeRegistryRecord(const std::string& Root, const std::string& Key, const std::string& Name,
                               const std::string& Data) {
  return "\"" + Root + "\" \"" + Key + "\" \"" + Name + "\" \"" + Data + "\"";
}
