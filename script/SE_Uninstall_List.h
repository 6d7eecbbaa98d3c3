// The uninstall log in memory: the files the setup wrote, the registry string
// values it set and the directories it created.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/Observers.h"
#include "common/PathFields.h"

class TUninstallList : public TInstallRecorder {
 public:
  // Fields gives the path fields that installed files are collapsed with.
  explicit TUninstallList(std::function<TPathFields()> Fields);
  TUninstallList();

  void Clear();
  // Compared after ASCII lower-casing.
  bool HasFile(const std::string& Path) const;
  // Collapses the path fields, then records the file unless it is there.
  void AddInstalledFile(const std::string& Path) override;
  bool HasRegistryRecord(const std::string& Record) const;
  // Records the four-field registry record unless it is there.
  void AddRegistryRecord(const std::string& Record);
  // Records the directory as given; duplicates are kept.
  void AddDirectory(const std::string& Path) override;

  const std::vector<std::string>& Files() const { return files_; }
  const std::vector<std::string>& RegistryRecords() const { return registry_; }
  const std::vector<std::string>& Directories() const { return directories_; }

 private:
  std::function<TPathFields()> fields_;
  std::vector<std::string> files_;
  std::vector<std::string> registry_;
  std::vector<std::string> directories_;
};

// A registry record: root name, key path, value name and data, each in double
// quotes, separated by one blank.
std::string MakeRegistryRecord(const std::string& Root, const std::string& Key, const std::string& Name,
                               const std::string& Data);
