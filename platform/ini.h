#pragma once
// Private-profile INI access:
// - section and key names match without regard to ASCII case;
// - the first occurrence of a section, and of a key within it, wins;
// - blanks around names and values are stripped, and one pair of matching
//   enclosing quotes (' or ") is removed from a value;
// - lines without '=' inside a section are not keys; CR LF and LF both end lines;
// - text reads are cut to the caller's buffer (size - 1 characters and a zero).
#include <cstddef>
#include <cstdint>
#include <string>

namespace dk {

// Looks key up in INI text held in memory; true and *value when found.
bool IniLookup(const char* text, size_t len, const char* section, const char* key, std::string* value);

// Copies the value (or def when the key or file is missing) into buf, cut to
// size - 1 characters and terminated; returns the number of characters copied.
size_t IniGetString(const std::string& path, const char* section, const char* key, const char* def, char* buf,
                    size_t size);

// Leading decimal integer of the value (optional sign; no digits gives 0);
// def when the key or file is missing.
int32_t IniGetInt(const std::string& path, const char* section, const char* key, int32_t def);

// Sets key in section: replaces the first occurrence's value, or appends the
// key to the section, or appends the section to the file (created as needed).
bool IniWriteString(const std::string& path, const char* section, const char* key, const char* value);

bool FileExists(const std::string& path);
bool FileDelete(const std::string& path);

}  // namespace dk
