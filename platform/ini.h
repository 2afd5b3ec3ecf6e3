#pragma once
// Private-profile INI access:
// - section and key names match without regard to ASCII case;
// - the first occurrence of a section, and of a key within it, wins;
// - blanks around names and values are stripped, and one pair of matching
//   enclosing quotes (' or ") is removed from a value;
// - lines without '=' inside a section are not keys; CR LF and LF both end lines;
// - text reads are cut to the caller's buffer (size - 1 characters and a zero).
// Also: blanks are space, tab, CR, VT and FF; a line whose first non-blank is
// ';' is a comment; a '[' line without ']' is ignored; keys before the first
// section belong to none; a UTF-8 byte order mark at the start is skipped;
// any byte (NUL included) is accepted, the C-string readers end a value at NUL.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace dk {

// Looks key up in INI text held in memory; true and *value when found.
bool IniLookup(const char* text, size_t len, const char* section, const char* key, std::string* value);

// Calls each(name, value) for every key line of the first block of section,
// in file order, names and values as IniLookup gives them (so the first call
// for a name is the one IniLookup finds). One pass over the text.
void IniForEachKey(const char* text, size_t len, const char* section,
                   const std::function<void(std::string_view name, std::string_view value)>& each);

// The value of key (or def when missing) copied into buf as IniGetString
// does, from INI text held in memory.
size_t IniCopyValue(const char* text, size_t len, const char* section, const char* key, const char* def, char* buf,
                    size_t size);

// IniWriteString's change applied to INI text held in memory; false for the
// names IniWriteString refuses (text unchanged).
bool IniSetText(std::string* text, const char* section, const char* key, const char* value);

// The file readers below read the whole file and use the functions above.

// Copies the value (or def when the key or file is missing, without its
// trailing spaces) into buf, cut to size - 1 characters and terminated;
// returns the number of characters copied.
size_t IniGetString(const std::string& path, const char* section, const char* key, const char* def, char* buf,
                    size_t size);

// Leading integer of the value (IniParseInt); def when the key or file is
// missing or the value is empty.
int32_t IniGetInt(const std::string& path, const char* section, const char* key, int32_t def);

// Sets key in section: replaces the first occurrence's value, or appends the
// key to the section, or appends the section to the file (created as needed).
// The value is written as IniValueForWrite gives it; the rest of the file is
// kept byte for byte. False for names that cannot be read back (empty, blank
// at either end, starting with ';' or '[', containing '=', ']' or a line
// break) and when an existing file cannot be read or the write fails.
bool IniWriteString(const std::string& path, const char* section, const char* key, const char* value);

// Whole content of a regular file; false when it is missing or unreadable.
bool IniReadFile(const std::string& path, std::string* text);

// The integer rule of IniGetInt applied to a text, the profile API's: leading
// blanks skipped, an optional sign, "0x", "0o" or "0b" for hexadecimal, octal
// or binary digits, else decimal ones; no digits gives 0, an over-long number
// wraps modulo 2^32 rather than overflowing.
int32_t IniParseInt(const char* s);

// The value text as it goes after "key=": cut at a line feed (a value cannot
// span lines), and wrapped in double quotes when it starts or ends with a
// blank or is itself enclosed in matching quotes, so a read gives it back
// unchanged.
std::string IniValueForWrite(const char* value);

// Replaces the file with text in one step (temporary file + rename), so a
// failed write leaves the former file in place. Keeps an existing file's mode;
// a new file gets create_mode (less the umask). On failure errno tells why.
bool FileWriteAll(const std::string& path, const std::string& text, unsigned create_mode = 0666);

// A regular file of that name exists.
bool FileExists(const std::string& path);
// The file exists and users other than its owner may read it (group or
// others); *mode (may be null) gets its permission bits.
bool FileReadableByOthers(const std::string& path, unsigned* mode);
bool FileDelete(const std::string& path);

}  // namespace dk
