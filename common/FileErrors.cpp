// The tools' file-error wording, in an object of its own (a setup does not
// use it).
#include "common/FileUtils.h"

std::string DescribeFileError(const std::string& Path, uint32_t Code) {
  if (Code == platform::kErrorAccessDenied && platform::DirectoryExists(Path)) return "it is a folder, not a file";
  return platform::DescribeError(Code);
}
