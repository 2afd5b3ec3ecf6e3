#pragma once
// Where the settings and language files live: beside the executable for a
// built or copied program, in the user's configuration folder for an
// installed one (its directory, such as /usr/bin, is not the operator's).
#include <string>

namespace dk {

// Directory of the executable without a trailing separator; false when it
// cannot be determined.
bool ExecutableDir(std::string* dir);

// Tests point the files elsewhere; an empty text restores the real directory.
void SetExecutableDirOverride(const std::string& dir);

// dir + separator + name.
std::string PathBesideExecutable(const std::string& dir, const char* name);

// The folder of the settings and language files: the override when set, else
// the executable's directory when ProgramDirIsUsers says so, else
// UserConfigDir. False when none is known. The folder may not exist yet.
bool ConfigDir(std::string* dir);

// True when dir exists, is writable, and is not a system program directory
// (/usr/bin and the like, where even root must not keep user files).
bool ProgramDirIsUsers(const std::string& dir);

// $XDG_CONFIG_HOME/dravenkit when that variable is an absolute path, else
// HOME/.config/dravenkit (HOME from the environment, else the password
// database). False when no home is known.
bool UserConfigDir(std::string* dir);

// The rule of UserConfigDir on given values (null for an unset variable);
// "" when no folder results.
std::string UserConfigDirFrom(const char* xdg_config_home, const char* home);

// Creates dir and any missing parents (new ones 0700: the files hold
// passwords). 0 when it exists afterwards, else the errno of the failure.
int MakeDirs(const std::string& dir);

}  // namespace dk
