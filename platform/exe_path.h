#pragma once
// The directory that holds the running executable, where the settings and
// language files live.
#include <string>

namespace dk {

// Directory of the executable without a trailing separator; false when it
// cannot be determined.
bool ExecutableDir(std::string* dir);

// Tests point the files elsewhere; an empty text restores the real directory.
void SetExecutableDirOverride(const std::string& dir);

// dir + separator + name.
std::string PathBesideExecutable(const std::string& dir, const char* name);

}  // namespace dk
