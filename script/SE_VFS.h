// The "vfsupdate" operation: one VFS container open at a time, the files of a
// package group added to it with status texts and progress.
#pragma once

#include <memory>
#include <string>

#include "common/Bytes.h"
#include "gamedata/VFS_Unit.h"

struct TScriptState;

class TVFSSession {
 public:
  // Applies package group Group to the container Name (relative to the
  // install directory). A missing container shows "VFS Error", sets the
  // failure text and StopFlag. With CloseAfter the container is saved and
  // closed at the end, also when adding a file raised.
  void VFSUpdate(TScriptState& State, uint16_t Group, const std::string& Name, bool CloseAfter);
  // The file of the container Name.
  static std::string ContainerPath(const TScriptState& State, const std::string& Name);
  void OpenVFS(TScriptState& State, const std::string& Name);
  void SaveCurrentVFS(TScriptState& State);
  void CloseCurrentVFS(TScriptState& State);
  WideString VFSProgressText(const TScriptState& State, const std::string& Name, uint32_t Done, uint32_t Total) const;
  bool IsOpen() const { return CurrentVFS != nullptr; }

  std::unique_ptr<TVFSFile> CurrentVFS;
  std::string CurrentVFSName;
  uint32_t VFSTotal = 0;
  uint32_t VFSDone = 0;
  uint32_t VFSLastPercent = 0;

 private:
  void AddVFSMember(TScriptState& State, uint32_t Index);
};
