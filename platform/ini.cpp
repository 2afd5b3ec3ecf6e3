// The INI rules on text held in memory: the same on every system.
#include "platform/ini.h"

#include <cstring>

#include "platform/ini_internal.h"

namespace dk {
namespace {

// Reader and writer share this one line classifier, so a key the writer puts
// into a file is exactly the key the reader finds there again.
//
// Line rules beyond the header:
// - a UTF-8 byte order mark at the very start of the text is skipped;
// - a line whose first non-blank character is ';' is a comment;
// - a line starting with '[' is a section header only when it has a closing
//   ']' (the last one on the line); other text after it is ignored; a '['
//   line without ']' is neither header nor key;
// - NUL and every other byte are ordinary characters here; the C-string
//   readers end a value at its first NUL.
enum class LineKind { kOther, kSection, kKey };

struct Line {
  size_t begin = 0;     // first byte of the line
  size_t end = 0;       // one past the last content byte (before CR LF / LF)
  size_t next = 0;      // first byte of the following line
  LineKind kind = LineKind::kOther;
  size_t name_b = 0, name_e = 0;    // section or key name, trimmed
  size_t value_b = 0, value_e = 0;  // key value, trimmed and unquoted
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

void Trim(const char* t, size_t* b, size_t* e) {
  while (*b < *e && IsBlank(t[*b])) ++*b;
  while (*e > *b && IsBlank(t[*e - 1])) --*e;
}

size_t TextStart(const char* t, size_t len) {
  if (len >= 3 && static_cast<unsigned char>(t[0]) == 0xEF && static_cast<unsigned char>(t[1]) == 0xBB &&
      static_cast<unsigned char>(t[2]) == 0xBF)
    return 3;
  return 0;
}

// Classifies the line starting at pos (pos < len).
Line ParseLine(const char* t, size_t len, size_t pos) {
  Line ln;
  ln.begin = pos;
  const void* nl = std::memchr(t + pos, '\n', len - pos);
  size_t stop = nl ? static_cast<size_t>(static_cast<const char*>(nl) - t) : len;
  ln.next = nl ? stop + 1 : len;
  ln.end = stop;
  if (ln.end > pos && t[ln.end - 1] == '\r') --ln.end;

  size_t b = pos, e = ln.end;
  Trim(t, &b, &e);
  if (b == e || t[b] == ';') return ln;
  if (t[b] == '[') {
    size_t close = e;
    while (close > b + 1 && t[close - 1] != ']') --close;
    if (close <= b + 1) return ln;  // no closing bracket
    ln.kind = LineKind::kSection;
    ln.name_b = b + 1;
    ln.name_e = close - 1;
    Trim(t, &ln.name_b, &ln.name_e);
    return ln;
  }
  const void* eq = std::memchr(t + b, '=', e - b);
  if (!eq) return ln;
  size_t eq_pos = static_cast<size_t>(static_cast<const char*>(eq) - t);
  ln.kind = LineKind::kKey;
  ln.name_b = b;
  ln.name_e = eq_pos;
  Trim(t, &ln.name_b, &ln.name_e);
  ln.value_b = eq_pos + 1;
  ln.value_e = e;
  Trim(t, &ln.value_b, &ln.value_e);
  if (ln.value_e - ln.value_b >= 2) {
    char q = t[ln.value_b];
    if ((q == '"' || q == '\'') && t[ln.value_e - 1] == q) {
      ++ln.value_b;
      --ln.value_e;
    }
  }
  return ln;
}

bool NameEquals(const char* t, size_t b, size_t e, const char* name) {
  size_t n = std::strlen(name);
  if (e - b != n) return false;
  for (size_t i = 0; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(t[b + i]);
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (a != c) return false;
  }
  return true;
}

// Where section/key sit in the text: the first block of the section and the
// first key line of that name inside it.
struct Location {
  bool section_found = false;
  size_t block_insert = 0;  // after the block's last key line (or its header)
  bool key_found = false;
  Line key_line;
};

Location Locate(const char* t, size_t len, const char* section, const char* key) {
  Location loc;
  size_t pos = TextStart(t, len);
  bool inside = false;
  while (pos < len) {
    Line ln = ParseLine(t, len, pos);
    if (ln.kind == LineKind::kSection) {
      if (inside) break;  // the first block of the section has ended
      if (NameEquals(t, ln.name_b, ln.name_e, section)) {
        inside = true;
        loc.section_found = true;
        loc.block_insert = ln.next;
      }
    } else if (inside && ln.kind == LineKind::kKey) {
      loc.block_insert = ln.next;
      if (NameEquals(t, ln.name_b, ln.name_e, key)) {
        loc.key_found = true;
        loc.key_line = ln;
        return loc;
      }
    }
    pos = ln.next;
  }
  return loc;
}

bool IniValidNameImpl(const char* name) {
  if (!name || !*name) return false;
  size_t n = std::strlen(name);
  if (IsBlank(name[0]) || IsBlank(name[n - 1]) || name[0] == ';' || name[0] == '[') return false;
  for (size_t i = 0; i < n; ++i) {
    char c = name[i];
    if (c == '\n' || c == '\r' || c == '=' || c == ']') return false;
  }
  return true;
}

}  // namespace

bool IniValidName(const char* name) { return IniValidNameImpl(name); }

bool IniLookup(const char* text, size_t len, const char* section, const char* key, std::string* value) {
  if (!section || !key || (!text && len)) return false;
  Location loc = Locate(text, len, section, key);
  if (!loc.key_found) return false;
  if (value) value->assign(text + loc.key_line.value_b, loc.key_line.value_e - loc.key_line.value_b);
  return true;
}

void IniForEachKey(const char* text, size_t len, const char* section,
                   const std::function<void(std::string_view name, std::string_view value)>& each) {
  if (!section || (!text && len)) return;
  size_t pos = TextStart(text, len);
  bool inside = false;
  while (pos < len) {
    Line ln = ParseLine(text, len, pos);
    if (ln.kind == LineKind::kSection) {
      if (inside) return;  // the first block of the section has ended
      inside = NameEquals(text, ln.name_b, ln.name_e, section);
    } else if (inside && ln.kind == LineKind::kKey) {
      each(std::string_view(text + ln.name_b, ln.name_e - ln.name_b),
           std::string_view(text + ln.value_b, ln.value_e - ln.value_b));
    }
    pos = ln.next;
  }
}

size_t IniCopyValue(const char* text, size_t len, const char* section, const char* key, const char* def, char* buf,
                    size_t size) {
  if (!buf || size == 0) return 0;
  std::string value;
  const char* src = def ? def : "";
  size_t n = std::strlen(src);
  while (n > 0 && src[n - 1] == ' ') --n;  // the profile API drops them from a default
  if (section && key && IniLookup(text, len, section, key, &value)) {
    src = value.c_str();
    n = std::strlen(src);  // a NUL inside the value ends it
  }
  if (n > size - 1) n = size - 1;
  std::memcpy(buf, src, n);
  buf[n] = 0;
  return n;
}

int32_t IniParseInt(const char* s) {
  if (!s) return 0;
  size_t i = 0;
  // As the profile API reads a number: control characters and blanks
  // skipped, a sign, then "0x", "0o" or "0b" (lower case only) for base 16,
  // 8 or 2, else decimal; the digits of that base up to the first other.
  while (s[i] != 0 && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') neg = (s[i++] == '-');
  uint32_t base = 10;
  if (s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'o' || s[i + 1] == 'b')) {
    base = s[i + 1] == 'x' ? 16 : s[i + 1] == 'o' ? 8 : 2;
    i += 2;
  }
  // Unsigned arithmetic: an over-long number wraps instead of overflowing.
  uint32_t v = 0;
  for (;; ++i) {
    const char c = s[i];
    uint32_t d;
    if (c >= '0' && c <= '9') d = static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f') d = static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') d = static_cast<uint32_t>(c - 'A' + 10);
    else break;
    if (d >= base) break;
    v = v * base + d;
  }
  if (neg) v = 0u - v;
  return static_cast<int32_t>(v);
}

std::string IniValueForWrite(const char* value) {
  std::string v = value ? value : "";
  size_t lf = v.find('\n');
  if (lf != std::string::npos) v.resize(lf);
  if (v.empty()) return v;
  bool wrap = IsBlank(v.front()) || IsBlank(v.back());
  if (!wrap && v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) wrap = true;
  if (wrap) v = "\"" + v + "\"";
  return v;
}

bool IniSetText(std::string* text, const char* section, const char* key, const char* value) {
  if (!text || !IniValidName(section) || !IniValidName(key)) return false;
  // New lines follow the text's own style.
  const char* eol = "\n";
  size_t first_lf = text->find('\n');
  if (first_lf != std::string::npos && first_lf > 0 && (*text)[first_lf - 1] == '\r') eol = "\r\n";

  std::string line = std::string(key) + "=" + IniValueForWrite(value);
  Location loc = Locate(text->data(), text->size(), section, key);
  if (loc.key_found) {
    text->replace(loc.key_line.begin, loc.key_line.end - loc.key_line.begin, line);
  } else if (loc.section_found) {
    std::string add;
    size_t at = loc.block_insert;
    if (at > 0 && (*text)[at - 1] != '\n') add += eol;  // last line had no line end
    add += line + eol;
    text->insert(at, add);
  } else {
    std::string add;
    if (!text->empty() && text->back() != '\n') add += eol;
    add += "[" + std::string(section) + "]" + eol + line + eol;
    *text += add;
  }
  return true;
}

}  // namespace dk
