#pragma once
// Internal to platform/: the INI rule every system's writer applies.
namespace dk {

// A section or key name that a read finds again (see IniWriteString).
bool IniValidName(const char* name);

}  // namespace dk
