// wizpak new: a project to start from, which builds and installs as it is.
#pragma once

#include <iosfwd>
#include <string>

// Writes into Folder (new, or empty) a setup script, a file to install, a
// copy of the data folder's "install" page set and the English language
// files, named after Name. False with the reason on Err.
bool WriteNewProject(const std::string& Folder, const std::string& Name, const std::string& DataDir, std::ostream& Out,
                     std::ostream& Err);
