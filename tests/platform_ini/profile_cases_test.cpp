// INI files as a person or another program writes them, read through both
// readers: the rules on text in memory (IniCopyValue, the emulation every
// system's settings use) and the file readers (IniGetString, IniGetInt),
// which on Windows are the private-profile API itself. The expected values
// are what that API gives, so the emulation is held to it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ini.h"
#include "tests/support/temp_dir.h"

namespace {

struct TextCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  const char* def;
  std::string want;
};

std::vector<TextCase> TextCases() {
  const std::string long_value(5000, 'x');
  return {
      {"empty value", "[A]\nk=\n", "A", "k", "D", ""},
      {"blanks and tabs around names and values", "[A]\n \t k \t = \t v w \t \n", "A", "k", "", "v w"},
      {"blanks inside the brackets", "[ A ]\nk=v\n", "A", "k", "", "v"},
      {"text after the closing bracket", "[A] note\nk=v\n", "A", "k", "", "v"},
      {"names without regard to case", "[sEc]\nKeY=v\n", "SEC", "key", "", "v"},
      {"comment line", "[A]\n; k=no\nk=yes\n", "A", "k", "", "yes"},
      {"comment after blanks", "[A]\n  ;k=no\n", "A", "k", "D", "D"},
      {"a ';' after a value is part of it", "[A]\nk=v ; note\n", "A", "k", "", "v ; note"},
      {"'#' starts no comment", "[A]\n#k=v\n", "A", "#k", "", "v"},
      {"double quotes removed", "[A]\nk=\"v w\"\n", "A", "k", "", "v w"},
      {"single quotes removed", "[A]\nk='v'\n", "A", "k", "", "v"},
      {"quoted blanks kept", "[A]\nk=\" v \"\n", "A", "k", "", " v "},
      {"one quote kept", "[A]\nk=\"v\n", "A", "k", "", "\"v"},
      {"mixed quotes kept", "[A]\nk=\"v'\n", "A", "k", "", "\"v'"},
      {"inner quotes kept", "[A]\nk=\"a\"b\"\n", "A", "k", "", "a\"b"},
      {"duplicate key: the first", "[A]\nk=1\nk=2\n", "A", "k", "", "1"},
      {"duplicate section: the first", "[A]\nk=1\n[B]\nk=3\n[A]\nk=2\n", "A", "k", "", "1"},
      {"CR LF lines", "[A]\r\nk=v\r\nj=w\r\n", "A", "j", "", "w"},
      {"no line end at the end", "[A]\nk=v", "A", "k", "", "v"},
      {"UTF-8 byte order mark", "\xEF\xBB\xBF[A]\r\nk=v\r\n", "A", "k", "", "v"},
      {"over-long value", "[A]\nk=" + long_value + "\n", "A", "k", "", long_value},
      {"key before any section", "k=v\n[A]\nj=w\n", "A", "k", "D", "D"},
      {"missing key: the default", "[A]\nk=v\n", "A", "j", "D", "D"},
      {"missing section: the default", "[A]\nk=v\n", "B", "k", "D", "D"},
      {"trailing blanks of the default dropped", "[A]\n", "A", "k", "D  ", "D"},
      {"'[' line without ']' ends no section", "[A]\n[B\nk=v\n", "A", "k", "", "v"},
  };
}

std::string ViaText(const TextCase& c, size_t size) {
  std::vector<char> buf(size);
  const size_t n = dk::IniCopyValue(c.text.data(), c.text.size(), c.section, c.key, c.def, buf.data(), size);
  return std::string(buf.data(), n);
}

std::string ViaFile(const TempDir& dir, const TextCase& c, size_t size) {
  dir.Write("case.ini", c.text);
  std::vector<char> buf(size);
  const size_t n = dk::IniGetString(dir.File("case.ini"), c.section, c.key, c.def, buf.data(), size);
  return std::string(buf.data(), n);
}

TEST(ProfileCases, TextValues) {
  TempDir dir;
  for (const TextCase& c : TextCases()) {
    EXPECT_EQ(ViaText(c, 8192), c.want) << c.what;
    EXPECT_EQ(ViaFile(dir, c, 8192), c.want) << c.what;
  }
}

TEST(ProfileCases, ValueCutToTheBuffer) {
  TempDir dir;
  const TextCase c{"cut", "[A]\nk=abcdef\n", "A", "k", "", ""};
  EXPECT_EQ(ViaText(c, 4), "abc");
  EXPECT_EQ(ViaFile(dir, c, 4), "abc");
}

struct IntCase {
  const char* value;  // nullptr: no such key
  int32_t want;
};

TEST(ProfileCases, NumberForms) {
  const std::vector<IntCase> cases = {
      {"42", 42},  {"-7", -7},        {"+5", 5},      {" 17 ", 17},     {"12abc", 12},      {"abc", 0},
      {"", 256},   {"\"9\"", 9},      {"0x1A", 26},   {"0X1a", 0},     {"010", 10},        {"0b101", 5},
      {"0o17", 15}, {"4294967297", 1}, {"-2147483648", INT32_MIN},       {"- 5", 0},         {nullptr, 256},
  };
  TempDir dir;
  for (const IntCase& c : cases) {
    const std::string text = c.value ? std::string("[S]\nn=") + c.value + "\n" : std::string("[S]\n");
    dir.Write("n.ini", text);
    EXPECT_EQ(dk::IniGetInt(dir.File("n.ini"), "S", "n", 256), c.want) << (c.value ? c.value : "(none)");
  }
}

}  // namespace
