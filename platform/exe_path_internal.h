#pragma once
// Internal to platform/: the override every system's ExecutableDir honours.
#include <string>

namespace dk {

// The directory set by SetExecutableDirOverride; false when none is set.
bool ExecutableDirOverride(std::string* dir);

}  // namespace dk
