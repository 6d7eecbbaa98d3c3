#include "cli/NewProject.h"

#include <ostream>
#include <vector>

#include "common/FileUtils.h"
#include "platform/Files.h"

namespace {

// What the project copies from the data folder, as "FOLDER" (every file in
// it) or "FOLDER/FILE".
const char* const kCopied[] = {"layout/install", "languages/install/english.wri", "languages/uninstall/english.wri"};

// The name without what a file name or an uninstall prefix cannot hold.
std::string FileWord(const std::string& Name) {
  std::string word;
  for (char c : Name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-') {
      word += c;
    }
  }
  return word.empty() ? "Game" : word;
}

std::string Script(const std::string& Name) {
  const std::string word = FileWord(Name);
  return "; " + Name +
         ": the setup. Build it with\n"
         ";   wizpak build setup.wps\n"
         "; The page set in layout/install/ and the language files in languages/ are\n"
         "; this project's own (they are taken before the builder's): change the\n"
         "; picture Side.jpg (200 x 375), the layouts and the texts as you like.\n"
         "name \"" +
         Name + "\"\noutfile \"" + word + "Setup.exe\"\nprefix " + word + "\ninstalldir \"$PROGRAMFILES\\" + Name +
         "\"\ninstalldirregkey HKLM \"SOFTWARE\\" + Name +
         "\" \"InstallPath\"\n"
         "version \"1.0\"\n"
         "publisher \"" +
         Name +
         " team\"\n"
         "pages install\n"
         "uninstallpages uninstall\n"
         "language install\\english\n"
         "uninstalllanguage uninstall\\english\n"
         "\n"
         ":start\n"
         "message \"<LANG21>\"\n"
         "file \"files\\\"\n"
         "message \"<LANG22>\"\n"
         "createdirectory \"$SMPROGRAMS\\" +
         Name + "\"\ncreateshortcut \"$SMPROGRAMS\\" + Name +
         "\\Read Me.lnk\" \"$INSTDIR\\readme.txt\" \"\"\n"
         "writeregstr HKLM \"SOFTWARE\\" +
         Name + "\" \"InstallPath\" \"$INSTDIR\"\n";
}

bool Write(const std::string& Path, const std::string& Text, std::ostream& Err) {
  if (WriteWholeFile(Path, reinterpret_cast<const uint8_t*>(Text.data()), static_cast<uint32_t>(Text.size()),
                     nullptr)) {
    return true;
  }
  Err << "wizpak new: cannot write " << Path << ": " << platform::DescribeError(platform::LastError()) << "\n";
  return false;
}

bool MakeFolder(const std::string& Path, std::ostream& Err) {
  if (platform::DirectoryExists(Path) || platform::CreateDirectory(Path)) return true;
  Err << "wizpak new: cannot make the folder " << Path << ": " << platform::DescribeError(platform::LastError())
      << "\n";
  return false;
}

bool Copy(const std::string& From, const std::string& To, std::ostream& Err) {
  if (platform::CopyFile(From, To, true)) return true;
  Err << "wizpak new: cannot copy " << From << " to " << To << ": " << platform::DescribeError(platform::LastError())
      << "\n";
  return false;
}

}  // namespace

bool WriteNewProject(const std::string& Folder, const std::string& Name, const std::string& DataDir, std::ostream& Out,
                     std::ostream& Err) {
  if (Name.find_first_of("\"\\/:*?<>|") != std::string::npos || Name.empty()) {
    Err << "wizpak new: the name \"" << Name
        << "\" cannot name a folder or stand in a script: leave out \" \\ / : * ? < > |\n";
    return false;
  }
  if (platform::FileExists(Folder)) {
    Err << "wizpak new: " << Folder << " is a file\n";
    return false;
  }
  std::vector<platform::DirEntry> there;
  if (platform::DirectoryExists(Folder) && platform::ListDirectory(Folder, there) && !there.empty()) {
    Err << "wizpak new: " << Folder << " is not empty; nothing was written\n";
    return false;
  }
  for (const char* copied : kCopied) {
    if (!platform::FileExists(DataDir + "/" + copied) && !platform::DirectoryExists(DataDir + "/" + copied)) {
      Err << "wizpak new: the data folder " << DataDir << " has no " << copied << "\n";
      return false;
    }
  }
  for (const char* folder :
       {"", "/files", "/layout", "/layout/install", "/languages", "/languages/install", "/languages/uninstall"}) {
    if (!MakeFolder(Folder + folder, Err)) return false;
  }
  for (const char* copied : kCopied) {
    const std::string from = DataDir + "/" + copied, to = Folder + "/" + copied;
    if (platform::FileExists(from)) {
      if (!Copy(from, to, Err)) return false;
      continue;
    }
    std::vector<platform::DirEntry> files;
    platform::ListDirectory(from, files);
    SortByName(files);
    for (const platform::DirEntry& f : files) {
      if (!f.IsDirectory() && !Copy(from + "/" + f.Name, to + "/" + f.Name, Err)) return false;
    }
  }
  if (!Write(Folder + "/setup.wps", Script(Name), Err) ||
      !Write(Folder + "/files/readme.txt",
             Name + "\r\n\r\nEverything in the files folder is installed into the install directory.\r\n", Err)) {
    return false;
  }
  Out << Folder << ": a new project for \"" << Name << "\": build it with\n  wizpak build " << Folder << "/setup.wps\n";
  return true;
}
