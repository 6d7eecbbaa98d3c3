// The uninstall log in memory: the files the setup wrote, the registry string
// values it set and the directories it created.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/Platform.h"

#include "common/Observers.h"
#include "common/PathFields.h"

class TUninstallList : public TInstallRecorder {
 public:
  // Fields gives the path fields that installed files are collapsed with
  // (none: paths are kept as given).
  explicit TUninstallList(std::function<TPathFields()> Fields);

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

  // Writes Dir + "\" + Prefix + "install.log" through a temporary file that
  // replaces the old log only when complete. False when it cannot be written,
  // and when a list holds more records than the log's 16-bit counts can say
  // (CapacityProblem tells which; nothing is written then).
  bool SaveLog(const std::string& Dir, const std::string& Prefix) const;
  // Why the lists cannot be saved; empty when they can.
  std::string CapacityProblem() const;
  // Replaces the lists with that file's records; a missing file changes
  // nothing. Raises ESetupError for a log that ends inside a record or holds
  // bytes after the records its header counts (then nothing changes).
  void LoadLog(const std::string& Dir, const std::string& Prefix);

  const std::vector<std::string>& Files() const { return files_; }
  const std::vector<std::string>& RegistryRecords() const { return registry_; }
  const std::vector<std::string>& Directories() const { return directories_; }

 private:
  std::function<TPathFields()> fields_;
  std::vector<std::string> files_;
  std::vector<std::string> registry_;
  std::vector<std::string> directories_;
  // The ASCII lower-cased records, so that a check costs the same for the
  // ten-thousandth file as for the first.
  std::unordered_set<std::string> fileKeys_;
  std::unordered_set<std::string> registryKeys_;
};

// The machine's Uninstall key, below which a product's key is its short name.
constexpr char kProductUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The fixed 244-digit key the log's strings are scrambled with.
extern const char* const kUninstallLogKey;

// The log's file name for a prefix: Prefix + "install.log".
std::string UninstallLogName(const std::string& Prefix);

// The value of the product's Uninstall key (under HKEY_LOCAL_MACHINE, which
// only administrators change) that holds the SHA-256 of the install log the
// setup saved: a log changed afterwards is not believed.
constexpr char kLogDigestValue[] = "InstallLogDigest";
// The SHA-256 of the log in Dir as 64 lower-case hex digits; empty when the
// log cannot be read.
std::string InstallLogDigest(const std::string& Dir, const std::string& Prefix);
// True when the log in Dir is the one the setup saved: its digest equals the
// one in the product's Uninstall key (a missing digest is no match).
bool InstallLogTrusted(platform::Registry& Registry, const std::string& Dir, const std::string& Prefix,
                       const std::string& ShortName);

// Splits a registry record into at most four fields: blanks or tabs outside
// double quotes separate them, the quotes are removed, missing ones are empty.
std::vector<std::string> SplitRegistryRecord(const std::string& Record);

struct TScriptState;
// The uninstall procedure: deletes the logged files, removes the logged
// directories from the last to the first, deletes the logged registry values,
// the product's Uninstall key and the log, reporting progress through the
// state's observer. A file or folder record whose expanded path has a ".."
// component is passed over: a log names only what the setup made.
void RunUninstall(TScriptState& State);
// Saves State's uninstall list as Dir's log; a log that cannot be written is
// a failure of the run, with the reason. True when it was saved.
bool SaveUninstallLog(TScriptState& State, const std::string& Dir, const std::string& Prefix);

// A registry record: root name, key path, value name and data, each in double
// quotes, separated by one blank.
std::string MakeRegistryRecord(std::string_view Root, std::string_view Key, std::string_view Name,
                               std::string_view Data);
