// The process and its threads: its own path and command line, ending it,
// running other programs, worker threads, wake-up signals, priority and
// clean-up on an interrupt.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Errors.h"

namespace platform {

// Standard output takes bytes as they are (no line-end translation).
void SetStdoutBinary();

// The full path of the running executable.
std::string ExecutablePath();
// The folder where the builder keeps what it may make again (its compression
// cache), the user's own: $XDG_CACHE_HOME/wizpak (or ~/.cache/wizpak) on
// Linux, the local application data's wizpak\cache on Windows; empty when
// there is none. It may not exist yet.
std::string UserCacheFolder();
// The process's command line as the system gave it, unsplit (the program's
// name first); empty where there is none (the emulated machine).
std::string CommandLine();
// The program's arguments (its name first) in UTF-8: on Windows split again
// from the wide command line, since the C runtime's argv holds them in the
// machine's code page; elsewhere argv as it is.
std::vector<std::string> ProgramArguments(int Argc, char** Argv);
// Makes the process load DLLs only from the system folder, so a setup started
// from a downloads folder never loads a DLL planted beside it. Call first.
void HardenDllSearchPath();

// Shows Text in the system's fatal-application-exit box and ends the process
// at once, without running any cleanup. The process ends with
// kFatalAppExitCode (its low 8 bits where exit codes are 8 bits wide).
constexpr uint32_t kFatalAppExitCode = 0x40000015;
[[noreturn]] void FatalAppExit(const std::string& Text);
// Ends the process at once with Code.
[[noreturn]] void ExitProcess(uint32_t Code);

// Runs Program (looked up on the PATH when it names no folder) with Args,
// each passed to it as one argument whatever its blanks and quotes, and waits
// for it to end; its output goes where the caller's goes. False when it could
// not be started (the last error says why); else ExitCode is its status.
bool RunProgram(const std::string& Program, const std::vector<std::string>& Args, uint32_t& ExitCode);

// A worker thread running one function. Join waits for it to end.
class Thread {
 public:
  Thread();
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  bool Start(std::function<void()> Body);
  void Join();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The number of processors the process may run on (at least 1).
uint32_t ProcessorCount();

// One process at a time may hold a lock of a given name (a named mutex in
// the session on Windows; on the emulated machine, a lock in its folder)
// while the object lives: a second instance of the same setup finds it
// taken. Held is false then, and when the lock cannot be made at all.
class InstanceLock {
 public:
  explicit InstanceLock(const std::string& Name);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  bool Held() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A wake-up call between threads: Notify wakes one Wait (or the next one to
// come); Wait returns after Timeout milliseconds at the latest.
class Signal {
 public:
  Signal();
  ~Signal();
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;
  void Notify();
  void Wait(uint32_t TimeoutMs);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Raises the process to the real-time class and the calling thread to
// time-critical priority for its lifetime, then restores both.
class PriorityBoost {
 public:
  PriorityBoost();
  ~PriorityBoost();
  PriorityBoost(const PriorityBoost&) = delete;
  PriorityBoost& operator=(const PriorityBoost&) = delete;

 private:
  uint32_t processClass_ = 0;
  int threadPriority_ = 0;
};

// While it lives, the file Path is deleted when the process is interrupted
// (Ctrl-C, SIGTERM or SIGHUP; on Windows Ctrl-C, Ctrl-Break or the console
// closing), and the process then ends as it would have. For a half-written
// output: one path at a time, a later guard takes over while it lives.
class RemoveOnInterrupt {
 public:
  explicit RemoveOnInterrupt(const std::string& Path);
  ~RemoveOnInterrupt();
  RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
  RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;
};

}  // namespace platform
