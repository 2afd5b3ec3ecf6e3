// The IP assignment file reader: the dotted-address test, the line check and
// the streaming of files of any content.
#include "config/assignment_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

TEST(AssignmentFile, DottedQuadTextIsTheLooseTest) {
  const struct {
    const char* text;
    int32_t want;
  } cases[] = {
      {"192.168.1.10", 1}, {"999.1.1.1", 1}, {"1..2.3", 1},  {"...", 1},       {"0.0.0.0", 1},
      {"1.2.3.4.5", 0},    {"1234.1.1.1", 0}, {"1.2.3", 0},  {"1.2.3.x", 0},   {"", 0},
      {"1.2.3.4 ", 0},     {"-1.2.3.4", 0},   {"1.2.3.1000", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(IsDottedQuadText(c.text, std::strlen(c.text)), c.want) << c.text;
}

TEST(AssignmentFile, LineCheck) {
  const std::string long_mac(64, 'A');
  const struct {
    std::string line;
    bool valid;
    const char* type;
  } cases[] = {
      {"00:1A:2B:3C:4D:5E static 192.168.1.10 255.255.255.0 192.168.1.1 168.126.63.1\n", true, "STATIC"},
      {"00:1A:2B:3C:4D:5F DHCP 0.0.0.0 0.0.0.0 0.0.0.0 0.0.0.0", true, "DHCP"},
      {" \t00:1A:2B:3C:4D:5F dHcP 1.1.1.1 1.1.1.1 1.1.1.1 1.1.1.1 seventh field\r\n", true, "DHCP"},
      {"00:1a:2b:3c:4d:5e STATIC 1.1.1.1 1.1.1.1 1.1.1.1 1.1.1.1", true, "STATIC"},  // the MAC is not checked
      {"00:1A:2B:3C:4D:5E DHCP", false, ""},                       // DHCP still needs four addresses
      {"00:1A:2B:3C:4D:5E STATIC 1.1.1.1 1.1.1.1 1.1.1.1", false, ""},  // five fields
      {"00:1A:2B:3C:4D:5E FIXED 1.1.1.1 1.1.1.1 1.1.1.1 1.1.1.1", false, ""},
      {"00:1A:2B:3C:4D:5E STATIC 1.1.1.1 1.1.1.1 192.168.1 1.1.1.1", false, ""},
      {"00:1A:2B:3C:4D:5E STATIC 1.1.1.x 1.1.1.1 1.1.1.1 1.1.1.1", false, ""},
      {long_mac + " STATIC 1.1.1.1 1.1.1.1 1.1.1.1 1.1.1.1", false, ""},  // a field over 63 characters
      {long_mac.substr(1) + " STATIC 1.1.1.1 1.1.1.1 1.1.1.1 1.1.1.1", true, "STATIC"},
      {std::string("00:1A STATIC 1.1.1.1\0 1.1.1.1 1.1.1.1 1.1.1.1", 44), false, ""},  // the line ends at NUL
      {"", false, ""},
      {"   \t  \n", false, ""},
  };
  for (const auto& c : cases) {
    AssignmentEntry e;
    EXPECT_EQ(ParseAssignmentLine(c.line.data(), c.line.size(), &e), c.valid ? 0 : -1) << c.line;
    if (c.valid) {
      EXPECT_EQ(e.type, c.type) << c.line;
    }
  }
  AssignmentEntry e;
  const char line[] = "00:1a:2B:3C:4D:5E Static 999.1.1.1 1..2.3 10.0.0.1 8.8.8.8 x";
  ASSERT_EQ(ParseAssignmentLine(line, sizeof line - 1, &e), 0);
  EXPECT_EQ(e.mac, "00:1a:2B:3C:4D:5E");  // as written
  EXPECT_EQ(e.ip, "999.1.1.1");
  EXPECT_EQ(e.subnet_mask, "1..2.3");
  EXPECT_EQ(e.gateway, "10.0.0.1");
  EXPECT_EQ(e.dns_server, "8.8.8.8");
}

TEST(AssignmentFile, FilesAreReadInOrderInPiecesAndWithoutHarm) {
  TempDir dir;
  const std::string valid = "00:1A:2B:3C:4D:5E STATIC 1.1.1.1 1.1.1.1 1.1.1.1 1.1.1.1\n";
  // A line longer than a piece: its tail, starting exactly at byte 2047, is a line of its own.
  const std::string long_line = std::string(2047 - 1, ' ') + "X" + valid;
  dir.Write("mixed.txt", valid + "bad line\n" + "00:1A:2B:3C:4D:60 dhcp 2.2.2.2 2.2.2.2 2.2.2.2 2.2.2.2" + "\n" +
                             long_line + std::string("\0\xff\xfe junk\n", 9) + valid);
  std::vector<AssignmentEntry> got;
  ASSERT_EQ(LoadAssignmentFile(dir.File("mixed.txt"), &got), 4);
  EXPECT_EQ(got[1].ip, "2.2.2.2");
  EXPECT_EQ(got[1].type, "DHCP");
  EXPECT_EQ(got[2].mac, "00:1A:2B:3C:4D:5E");

  dir.Write("empty.txt", "");
  dir.Write("blank.txt", "\n\n   \n");
  EXPECT_EQ(LoadAssignmentFile(dir.File("empty.txt"), &got), 0);
  EXPECT_EQ(LoadAssignmentFile(dir.File("blank.txt"), &got), 0);
  EXPECT_EQ(LoadAssignmentFile(dir.File("missing.txt"), &got), -1);
  EXPECT_TRUE(got.empty());

  // Binary junk without line ends: read in pieces, nothing taken.
  std::string junk(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 2654435761u) >> 13);
  dir.Write("junk.bin", junk);
  EXPECT_EQ(ReadAssignmentFile(dir.File("junk.bin"), nullptr), 0);
  EXPECT_EQ(AssignmentNumberText(1), "   1");
  EXPECT_EQ(AssignmentNumberText(12345), "12345");
}

}  // namespace
