// The compile driver: script -> compiled lines and setup information -> a
// setup (stub + package) or a bare package.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "builder/Packer.h"
#include "package/ZUI_CommandList.h"
#include "package/ZUI_CompilerThread.h"

// How a built setup is signed (Authenticode, with osslsigncode): a
// certificate and key in PEM files, or a PKCS#12 file; the key's password is
// read from a file, never given on a command line.
struct TSigning {
  std::string Cert, Key;  // PEM files
  std::string Pkcs12;     // or one PKCS#12 file
  std::string PassFile;   // the key's password, when it has one
  std::string Timestamp;  // a time-stamping server's URL
  std::string Name, Url;  // the description and link the signature shows
  bool Wanted() const { return !Cert.empty() || !Key.empty() || !Pkcs12.empty(); }
};

struct TBuildOptions {
  std::string Script;  // the script file
  std::string Output;  // empty: the script's "outfile", next to the script
  std::string Stub;    // empty: the project's own Windows stub
  // The builder's data folders (languages\, layout\), searched in order
  // after the script's own folder.
  std::vector<std::string> DataDirs;
  // The finaliser beside the default stub: the last place looked for one
  // (a package without a stub still needs it). Empty: none.
  std::string DefaultFinaliser;
  bool PackageOnly = false;
  bool Verbose = false;
  uint32_t Threads = 0;       // compressing threads; 0: one per processor
  int Level = kDefaultLevel;  // the compression level, 1 to 12
  TSigning Sign;              // a signed setup when Sign.Wanted()
  // The compression cache's folder; empty: none.
  std::string CacheDir;
  uint64_t CacheLimit = kDefaultCacheLimit;
};

// Signs the setup In into Out with osslsigncode; false with Error (the tool's
// own messages went to standard error) when it fails or cannot be started.
// Out is written only by the tool; the caller removes what a failure left.
bool SignSetup(const TSigning& Sign, const std::string& In, const std::string& Out, std::string& Error);

// Compiles Script's text into Compiler (lines, setup information, file list).
// Errors go to Errors as "FILE:LINE: message"; false when there is any.
bool CompileScript(const std::string& ScriptName, const std::string& Text, TCompiler& Compiler,
                   const TCommandList& Commands, std::vector<std::string>& Errors);

// The package entries of a compiled script, in package order: "SetupInfo",
// "CompiledLines", the install and uninstall page sets, then every file group.
// Errors as above; false when there is any.
// Finaliser is the finaliser program packed with the uninstall page set
// (empty: none found).
bool CollectSetupEntries(const std::string& ScriptName, TCompiler& Compiler, const std::string& Finaliser,
                         std::vector<TPackInput>& Entries, std::vector<std::string>& Errors);

// Builds the setup Options describe. Nothing is written when anything fails.
// Log receives progress lines (every file with Verbose).
bool BuildSetup(const TBuildOptions& Options, std::vector<std::string>& Errors, std::string& Output, TPackStats& Stats,
                const std::function<void(const std::string&)>& Log);

// The folder of a path, native or Windows ("" for a bare name).
std::string FolderOf(const std::string& Path);
