#include "platform/ini.h"

#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

// Lookup in memory; "<missing>" when the key is not found.
std::string Look(const std::string& text, const char* section, const char* key) {
  std::string v;
  if (!dk::IniLookup(text.data(), text.size(), section, key, &v)) return "<missing>";
  return v;
}

TEST(IniLookup, NamesMatchWithoutRegardToCase) {
  const std::string t = "[Common]\nUpdate_Enable=1\n";
  EXPECT_EQ(Look(t, "COMMON", "UPDATE_ENABLE"), "1");
  EXPECT_EQ(Look(t, "common", "update_enable"), "1");
  EXPECT_EQ(Look(t, "COMMONX", "UPDATE_ENABLE"), "<missing>");
  EXPECT_EQ(Look(t, "COMMON", "UPDATE_ENABL"), "<missing>");
}

TEST(IniLookup, FirstOccurrenceWins) {
  // Same key twice: the first. Same section twice: only its first block.
  const std::string t =
      "[A]\nk=first\nK=second\n"
      "[B]\nx=1\n"
      "[a]\nk=third\nonly_later=yes\n";
  EXPECT_EQ(Look(t, "A", "k"), "first");
  EXPECT_EQ(Look(t, "A", "only_later"), "<missing>");
  EXPECT_EQ(Look(t, "B", "x"), "1");
}

TEST(IniLookup, BlanksStrippedAndOnePairOfMatchingQuotesRemoved) {
  const std::string t =
      "  [ S ]  \n"
      "\t key1 \t=  value with  inner  blanks \t\n"
      "key2=\"  quoted keeps blanks  \"\n"
      "key3='single'\n"
      "key4=\"mismatch'\n"
      "key5=\"\"double\"\"\n"
      "key6=\"\n"
      "key7=\n"
      "key8=a=b=c\n"
      "key9=  \"\"  \n";
  EXPECT_EQ(Look(t, "S", "key1"), "value with  inner  blanks");
  EXPECT_EQ(Look(t, "S", "key2"), "  quoted keeps blanks  ");
  EXPECT_EQ(Look(t, "S", "key3"), "single");
  EXPECT_EQ(Look(t, "S", "key4"), "\"mismatch'");
  EXPECT_EQ(Look(t, "S", "key5"), "\"double\"");
  EXPECT_EQ(Look(t, "S", "key6"), "\"");
  EXPECT_EQ(Look(t, "S", "key7"), "");
  EXPECT_EQ(Look(t, "S", "key8"), "a=b=c");
  EXPECT_EQ(Look(t, "S", "key9"), "");
}

TEST(IniLookup, LineEndingsAndOddLines) {
  EXPECT_EQ(Look("[S]\r\nk=v\r\nj=w\r\n", "S", "k"), "v");
  EXPECT_EQ(Look("[S]\r\nk=v\r\nj=w", "S", "j"), "w");  // no final line end
  EXPECT_EQ(Look("[S]\nk=v", "S", "k"), "v");
  // A lone CR inside a line is data, not a line end.
  EXPECT_EQ(Look("[S]\nk=a\rb\n", "S", "k"), "a\rb");
  // Keys before any section belong to none.
  EXPECT_EQ(Look("k=v\n[S]\n", "S", "k"), "<missing>");
  // Lines without '=' are not keys; comments are not keys.
  EXPECT_EQ(Look("[S]\nk\n;j=1\nj=2\n", "S", "k"), "<missing>");
  EXPECT_EQ(Look("[S]\nk\n;j=1\nj=2\n", "S", "j"), "2");
  // A '[' line without ']' neither opens a section nor ends the current one.
  EXPECT_EQ(Look("[S]\n[broken\nk=v\n", "S", "k"), "v");
  EXPECT_EQ(Look("[S]\n[broken\nk=v\n", "broken", "k"), "<missing>");
  // Text after the closing bracket is ignored.
  EXPECT_EQ(Look("[S] trailing\nk=v\n", "S", "k"), "v");
  // UTF-8 byte order mark before the first section.
  EXPECT_EQ(Look("\xEF\xBB\xBF[S]\nk=v\n", "S", "k"), "v");
  EXPECT_EQ(Look("", "S", "k"), "<missing>");
}

TEST(IniLookup, AnyBytesInsideTheGivenLength) {
  // NULs are ordinary bytes to the lookup, and nothing past len is read: the
  // key after the length limit must not be found.
  const std::string t("[S]\nk=a\0b\nz=1\n", 14);
  EXPECT_EQ(Look(t, "S", "k"), std::string("a\0b", 3));
  EXPECT_EQ(Look(t.substr(0, 11), "S", "z"), "<missing>");
  // Nothing but a header, cut inside its name.
  EXPECT_EQ(Look("[S", "S", "k"), "<missing>");
  std::string v = "untouched";
  EXPECT_FALSE(dk::IniLookup(nullptr, 0, "S", "k", &v));
  EXPECT_EQ(v, "untouched");
}

TEST(IniLookup, HugeLine) {
  std::string big(1 << 20, 'x');
  std::string t = "[S]\njunk=" + big + "\nk=" + big + "y\n";
  std::string v = Look(t, "S", "k");
  ASSERT_EQ(v.size(), big.size() + 1);
  EXPECT_EQ(v.back(), 'y');
}

TEST(IniGetString, DefaultsAndBufferCuts) {
  TempDir dir;
  const std::string path = dir.File("a.ini");
  char buf[8];

  // Missing file: the default, itself cut to the buffer.
  EXPECT_EQ(dk::IniGetString(path, "S", "k", "default-long", buf, sizeof buf), 7u);
  EXPECT_STREQ(buf, "default");
  EXPECT_EQ(dk::IniGetString(path, "S", "k", nullptr, buf, sizeof buf), 0u);
  EXPECT_STREQ(buf, "");

  dir.Write("a.ini", "[S]\nk=0123456789\nshort=ab\nnul=ab");
  // Guard bytes around the buffer must survive every read.
  char guarded[16];
  std::memset(guarded, '#', sizeof guarded);
  EXPECT_EQ(dk::IniGetString(path, "S", "k", "", guarded + 4, 8), 7u);
  EXPECT_STREQ(guarded + 4, "0123456");
  for (int i : {0, 1, 2, 3, 12, 13, 14, 15}) EXPECT_EQ(guarded[i], '#') << i;

  EXPECT_EQ(dk::IniGetString(path, "S", "short", "", buf, sizeof buf), 2u);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(dk::IniGetString(path, "S", "missing", "dd", buf, sizeof buf), 2u);
  EXPECT_STREQ(buf, "dd");

  char one = 'z';
  EXPECT_EQ(dk::IniGetString(path, "S", "k", "", &one, 1), 0u);
  EXPECT_EQ(one, 0);
  EXPECT_EQ(dk::IniGetString(path, "S", "k", "", buf, 0), 0u);  // nothing written, no crash

  // A NUL inside the value ends it for C-string reads.
  dir.Write("b.ini", std::string("[S]\nk=ab\0cd\n", 12));
  EXPECT_EQ(dk::IniGetString(dir.File("b.ini"), "S", "k", "", buf, sizeof buf), 2u);
  EXPECT_STREQ(buf, "ab");
}

TEST(IniGetInt, ValueForms) {
  TempDir dir;
  const std::string path = dir.File("n.ini");
  EXPECT_EQ(dk::IniGetInt(path, "S", "a", 256), 256);  // no file
  dir.Write("n.ini",
            "[S]\na=42\nb=-7\nc=+5\nd=12abc\ne=abc\nf=\ng=\"9\"\nh= 17 \n"
            "i=4294967297\nj=-2147483648\n");
  EXPECT_EQ(dk::IniGetInt(path, "S", "a", 256), 42);
  EXPECT_EQ(dk::IniGetInt(path, "S", "b", 256), -7);
  EXPECT_EQ(dk::IniGetInt(path, "S", "c", 256), 5);
  EXPECT_EQ(dk::IniGetInt(path, "S", "d", 256), 12);
  EXPECT_EQ(dk::IniGetInt(path, "S", "e", 256), 0);
  EXPECT_EQ(dk::IniGetInt(path, "S", "f", 256), 256);  // empty: as none
  EXPECT_EQ(dk::IniGetInt(path, "S", "g", 256), 9);
  EXPECT_EQ(dk::IniGetInt(path, "S", "h", 256), 17);
  EXPECT_EQ(dk::IniGetInt(path, "S", "i", 256), 1);  // wraps modulo 2^32
  EXPECT_EQ(dk::IniGetInt(path, "S", "j", 256), INT32_MIN);
  EXPECT_EQ(dk::IniGetInt(path, "S", "missing", 256), 256);
  EXPECT_EQ(dk::IniGetInt(path, "T", "a", -3), -3);
}

// What IniWriteString left: byte for byte on POSIX, where the rest of the
// file is kept as it was; on Windows the profile API lays the file out its
// own way (CR LF lines, comments kept with the section before them, blank
// lines dropped), so there every key of every section reads back the same.
void ExpectWritten(const std::string& got, const std::string& want) {
#ifdef _WIN32
  std::vector<std::string> sections;
  size_t pos = 0;
  while ((pos = want.find('[', pos)) != std::string::npos) {
    const size_t close = want.find(']', pos);
    if (close == std::string::npos) break;
    sections.push_back(want.substr(pos + 1, close - pos - 1));
    pos = close;
  }
  for (const std::string& sec : sections) {
    std::vector<std::pair<std::string, std::string>> a, b;
    dk::IniForEachKey(got.data(), got.size(), sec.c_str(),
                      [&](std::string_view n, std::string_view v) { a.emplace_back(n, v); });
    dk::IniForEachKey(want.data(), want.size(), sec.c_str(),
                      [&](std::string_view n, std::string_view v) { b.emplace_back(n, v); });
    ASSERT_EQ(a.size(), b.size()) << sec << " in\n" << got;
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_TRUE(dk::IniLookup(got.data(), got.size(), sec.c_str(), b[i].first.c_str(), nullptr)) << b[i].first;
      EXPECT_EQ(a[i].second, b[i].second) << sec << "/" << b[i].first << " in\n" << got;
    }
  }
#else
  EXPECT_EQ(got, want);
#endif
}

TEST(IniWriteString, CreatesReplacesAndAppends) {
  TempDir dir;
  const std::string path = dir.File("w.ini");
  ASSERT_TRUE(dk::IniWriteString(path, "A", "k", "1"));
  ExpectWritten(dir.Read("w.ini"), "[A]\nk=1\n");
  ASSERT_TRUE(dk::IniWriteString(path, "A", "j", "2"));
  ASSERT_TRUE(dk::IniWriteString(path, "B", "k", "3"));
  ExpectWritten(dir.Read("w.ini"), "[A]\nk=1\nj=2\n[B]\nk=3\n");

  // New key goes at the end of the section's lines, before the blank line
  // and comment that precede the next section, which stay as they were.
  dir.Write("w.ini", "; head\n[A]\nk=1\n\n; about B\n[B]\nk=3\n");
  ASSERT_TRUE(dk::IniWriteString(path, "a", "new", "x"));
  ExpectWritten(dir.Read("w.ini"), "; head\n[A]\nk=1\nnew=x\n\n; about B\n[B]\nk=3\n");

  // Replace: the first occurrence in the first block, matched without case;
  // later duplicates untouched.
  dir.Write("w.ini", "[A]\n  K = old \nk=dup\n[a]\nk=later\n");
  ASSERT_TRUE(dk::IniWriteString(path, "A", "k", "new"));
  ExpectWritten(dir.Read("w.ini"), "[A]\nk=new\nk=dup\n[a]\nk=later\n");

  // A file without a final line end.
  dir.Write("w.ini", "[A]\nk=1");
  ASSERT_TRUE(dk::IniWriteString(path, "A", "j", "2"));
  ExpectWritten(dir.Read("w.ini"), "[A]\nk=1\nj=2\n");
  dir.Write("w.ini", "[A]\nk=1");
  ASSERT_TRUE(dk::IniWriteString(path, "B", "j", "2"));
  ExpectWritten(dir.Read("w.ini"), "[A]\nk=1\n[B]\nj=2\n");
  dir.Write("w.ini", "[A]");
  ASSERT_TRUE(dk::IniWriteString(path, "A", "j", "2"));
  ExpectWritten(dir.Read("w.ini"), "[A]\nj=2\n");
}

TEST(IniWriteString, KeepsCrLfStyle) {
  TempDir dir;
  const std::string path = dir.File("w.ini");
  dir.Write("w.ini", "[A]\r\nk=1\r\n[B]\r\nx=9\r\n");
  ASSERT_TRUE(dk::IniWriteString(path, "A", "k", "2"));
  ASSERT_TRUE(dk::IniWriteString(path, "A", "j", "3"));
  ASSERT_TRUE(dk::IniWriteString(path, "C", "z", "4"));
  EXPECT_EQ(dir.Read("w.ini"), "[A]\r\nk=2\r\nj=3\r\n[B]\r\nx=9\r\n[C]\r\nz=4\r\n");
}

TEST(IniWriteString, ValuesReadBackUnchanged) {
  TempDir dir;
  const std::string path = dir.File("w.ini");
  const char* values[] = {"",     "plain", "  lead", "trail  ", "\"quoted\"", "'single'", "\"", "a\"b\"",
                          "x=y;z", "\tt\t", "[not a section]"};
  for (const char* v : values) {
    ASSERT_TRUE(dk::IniWriteString(path, "S", "k", v)) << v;
    char buf[64];
    dk::IniGetString(path, "S", "k", "<def>", buf, sizeof buf);
    EXPECT_STREQ(buf, v);
  }
  // A line feed cannot be stored: the value is cut there and the next key
  // is not disturbed.
  ASSERT_TRUE(dk::IniWriteString(path, "S", "n", "one\n[S]\nk=evil"));
  char buf[64];
  dk::IniGetString(path, "S", "n", "", buf, sizeof buf);
  EXPECT_STREQ(buf, "one");
  EXPECT_EQ(dir.Read("w.ini").find("evil"), std::string::npos);
}

TEST(IniWriteString, RefusesUnreadableNamesAndTargets) {
  TempDir dir;
  const std::string path = dir.File("w.ini");
  EXPECT_FALSE(dk::IniWriteString(path, "", "k", "v"));
  EXPECT_FALSE(dk::IniWriteString(path, "S", "", "v"));
  EXPECT_FALSE(dk::IniWriteString(path, "S", "a=b", "v"));
  EXPECT_FALSE(dk::IniWriteString(path, "S]", "k", "v"));
  EXPECT_FALSE(dk::IniWriteString(path, "S", " k", "v"));
  EXPECT_FALSE(dk::IniWriteString(path, "S", ";k", "v"));
  EXPECT_FALSE(dk::IniWriteString(path, "S\n[T", "k", "v"));
  EXPECT_FALSE(dk::FileExists(path));
  // A directory in the file's place is neither read nor replaced.
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("d.ini")));
  EXPECT_FALSE(dk::IniWriteString(dir.File("d.ini"), "S", "k", "v"));
  EXPECT_FALSE(dk::FileWriteAll(dir.File("d.ini"), "x"));
  // Missing directory.
  EXPECT_FALSE(dk::IniWriteString(dir.File("no/such.ini"), "S", "k", "v"));
}

TEST(IniFiles, WriteAllExistsDelete) {
  TempDir dir;
  const std::string path = dir.File("f.ini");
  EXPECT_FALSE(dk::FileExists(path));
  EXPECT_FALSE(dk::FileDelete(path));
  ASSERT_TRUE(dk::FileWriteAll(path, "one"));
  EXPECT_TRUE(dk::FileExists(path));
#ifndef _WIN32
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
#endif
  ASSERT_TRUE(dk::FileWriteAll(path, "two"));
  EXPECT_EQ(dir.Read("f.ini"), "two");
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // mode of the replaced file kept
#endif
  std::string text;
  EXPECT_TRUE(dk::IniReadFile(path, &text));
  EXPECT_EQ(text, "two");
  EXPECT_TRUE(dk::FileDelete(path));
  EXPECT_FALSE(dk::FileExists(path));
  EXPECT_FALSE(dk::IniReadFile(path, &text));
  EXPECT_FALSE(dk::FileExists(dir.path()));  // a directory is not a file
}

}  // namespace
