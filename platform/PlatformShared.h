// Helpers both implementations of the seam share; not for the layers above.
#pragma once

#include <string>

namespace platform::shared {

// "A\\B\\", "\A\B" and "A\B" name the same registry key: doubled, leading and
// trailing backslashes go.
std::string NormaliseKeyPath(const std::string& Path);

}  // namespace platform::shared
