#include "config/settings.h"

#include <filesystem>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/exe_path.h"
#include "platform/ini.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Octets(const uint8_t a[4]) {
  return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." + std::to_string(a[3]);
}

// The file a fresh record saves, written out by hand: sections and keys in
// the fixed order, values as constructed.
const char kFreshFile[] =
    "[COMMON]\n"
    "UPDATE_ENABLE=0\n"
    "SYSLOG_ENABLE=0\n"
    "XFLAG=0\n"
    "[IP_SETTING]\n"
    "IP_SETTING_XFLAG=0\n"
    "IP_SETTING_TYPE=0\n"
    "IP_SETTING_START_IP=192.168.1.161\n"
    "IP_SETTING_END_IP=192.168.1.255\n"
    "IP_SETTING_SUBNETMASK=255.255.255.0\n"
    "IP_SETTING_GATEWAY=192.168.1.1\n"
    "IP_SETTING_DEFAULT_DNS=168.126.63.1\n"
    "IP_SETTING_ID=root\n"
    "IP_SETTING_PASSWORD=tulp\n"
    "[FIRMWARE_UPDATE]\n"
    "UPDATE_XFLAG=0\n"
    "UPDATE_BEFORE_ID=root\n"
    "UPDATE_BEFORE_PASSWORD=tulp\n"
    "UPDATE_AFTER_ID=root\n"
    "UPDATE_AFTER_PASSWORD=tulp\n"
    "UPDATE_IP_SETTING_ENABLE=0\n"
    "UPDATE_FACTORYDEFAULT_ENABLE=0\n"
    "UPDATE_PROJECT_CODE=0\n"
    "UPDATE_FILENAME=\n"
    "UPDATE_FIRMWARE_VERSION=\n"
    "[SYSLOG]\n"
    "XDEBUG_SERVER_PORT=700\n"
    "XDEBUG_SERVER_ENABLE=0\n"
    "SYSLOG_SERVER_PORT=514\n"
    "SYSLOG_SERVER_ENABLE=1\n"
    "SYSLOG_DB_IP=\n"
    "SYSLOG_DB_ID=\n"
    "SYSLOG_DB_PASSWORD=\n"
    "SYSLOG_DB_NAME=\n";

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override { dk::SetExecutableDirOverride(dir_.path()); }
  void TearDown() override { dk::SetExecutableDirOverride(""); }
  std::string Path() const { return dir_.File("Dravenkit.ini"); }
  TempDir dir_;
};

void ExpectConstructedValues(const CNVTSettings& s) {
  EXPECT_EQ(s.UPDATE_ENABLE, 0);
  EXPECT_EQ(s.SYSLOG_ENABLE, 0);
  EXPECT_EQ(s.XFLAG, 0);
  EXPECT_EQ(s.IP_SETTING_XFLAG, 0);
  EXPECT_EQ(s.IP_SETTING_TYPE, 0);
  EXPECT_EQ(Octets(s.IP_SETTING_START_IP), "192.168.1.161");
  EXPECT_EQ(Octets(s.IP_SETTING_END_IP), "192.168.1.255");
  EXPECT_EQ(Octets(s.IP_SETTING_SUBNETMASK), "255.255.255.0");
  EXPECT_EQ(Octets(s.IP_SETTING_GATEWAY), "192.168.1.1");
  EXPECT_EQ(Octets(s.IP_SETTING_DEFAULT_DNS), "168.126.63.1");
  EXPECT_STREQ(s.IP_SETTING_ID, "root");
  EXPECT_STREQ(s.IP_SETTING_PASSWORD, "tulp");
  EXPECT_EQ(s.UPDATE_XFLAG, 0);
  EXPECT_STREQ(s.UPDATE_BEFORE_ID, "root");
  EXPECT_STREQ(s.UPDATE_BEFORE_PASSWORD, "tulp");
  EXPECT_STREQ(s.UPDATE_AFTER_ID, "root");
  EXPECT_STREQ(s.UPDATE_AFTER_PASSWORD, "tulp");
  EXPECT_EQ(s.UPDATE_IP_SETTING_ENABLE, 0);
  EXPECT_EQ(s.UPDATE_FACTORYDEFAULT_ENABLE, 0);
  EXPECT_EQ(s.UPDATE_PROJECT_CODE, 0);
  EXPECT_STREQ(s.UPDATE_FILENAME, "");
  EXPECT_STREQ(s.UPDATE_FIRMWARE_VERSION, "");
  EXPECT_EQ(s.XDEBUG_SERVER_PORT, 700);
  EXPECT_EQ(s.XDEBUG_SERVER_ENABLE, 0);
  EXPECT_EQ(s.SYSLOG_SERVER_PORT, 514);
  EXPECT_EQ(s.SYSLOG_SERVER_ENABLE, 1);
  EXPECT_STREQ(s.SYSLOG_DB_IP, "");
  EXPECT_STREQ(s.SYSLOG_DB_ID, "");
  EXPECT_STREQ(s.SYSLOG_DB_PASSWORD, "");
  EXPECT_STREQ(s.SYSLOG_DB_NAME, "");
}

TEST(Settings, FreshRecordAndSetDefaults) {
  CNVTSettings s;
  ExpectConstructedValues(s);
  // The 32-bit view of an address is in network byte order: first octet first.
  EXPECT_EQ(s.IP_SETTING_START_IP[0], 192);
  EXPECT_EQ(s.IP_SETTING_START_IP[3], 161);

  s.UPDATE_ENABLE = 1;
  s.SYSLOG_SERVER_PORT = 9;
  s.IP_SETTING_GATEWAY[2] = 77;
  std::strcpy(s.SYSLOG_DB_NAME, "x");
  std::strcpy(s.UPDATE_FILENAME, "/tmp/fw.bin");
  s.SetDefaults();
  ExpectConstructedValues(s);
}

TEST_F(SettingsFile, NoFileLeavesRecordUnchanged) {
  CNVTSettings s;
  s.UPDATE_ENABLE = 5;
  s.SYSLOG_SERVER_PORT = 1234;
  std::strcpy(s.IP_SETTING_ID, "admin");
  s.IP_SETTING_START_IP[3] = 9;
  EXPECT_LT(s.Load(), 0);
  EXPECT_EQ(s.UPDATE_ENABLE, 5);
  EXPECT_EQ(s.SYSLOG_SERVER_PORT, 1234);
  EXPECT_STREQ(s.IP_SETTING_ID, "admin");
  EXPECT_EQ(Octets(s.IP_SETTING_START_IP), "192.168.1.9");
  EXPECT_STREQ(s.SYSLOG_DB_NAME, "");

  // A fresh holder with no file keeps the constructed values.
  CNVTSettings fresh;
  fresh.Load();
  ExpectConstructedValues(fresh);
}

TEST_F(SettingsFile, FileLackingKeysGivesLoadDefaults) {
  dir_.Write("Dravenkit.ini", "[COMMON]\nXFLAG=1\n[SYSLOG]\nSYSLOG_DB_ID=db\n");
  CNVTSettings s;
  ASSERT_EQ(s.Load(), 0);
  EXPECT_EQ(s.XFLAG, 1);
  // Every missing integer key is 256, not its constructed value.
  EXPECT_EQ(s.UPDATE_ENABLE, 256);
  EXPECT_EQ(s.SYSLOG_ENABLE, 256);
  EXPECT_EQ(s.IP_SETTING_XFLAG, 256);
  EXPECT_EQ(s.IP_SETTING_TYPE, 256);
  EXPECT_EQ(s.UPDATE_XFLAG, 256);
  EXPECT_EQ(s.UPDATE_IP_SETTING_ENABLE, 256);
  EXPECT_EQ(s.UPDATE_FACTORYDEFAULT_ENABLE, 256);
  EXPECT_EQ(s.UPDATE_PROJECT_CODE, 256);
  EXPECT_EQ(s.XDEBUG_SERVER_PORT, 256);
  EXPECT_EQ(s.XDEBUG_SERVER_ENABLE, 256);
  EXPECT_EQ(s.SYSLOG_SERVER_PORT, 256);
  EXPECT_EQ(s.SYSLOG_SERVER_ENABLE, 256);
  // Missing text and address keys: the load defaults.
  EXPECT_EQ(Octets(s.IP_SETTING_START_IP), "192.168.1.161");
  EXPECT_EQ(Octets(s.IP_SETTING_END_IP), "192.168.1.255");
  EXPECT_EQ(Octets(s.IP_SETTING_SUBNETMASK), "255.255.255.0");
  EXPECT_EQ(Octets(s.IP_SETTING_GATEWAY), "192.168.1.1");
  EXPECT_EQ(Octets(s.IP_SETTING_DEFAULT_DNS), "168.126.63.1");
  EXPECT_STREQ(s.IP_SETTING_ID, "root");
  EXPECT_STREQ(s.IP_SETTING_PASSWORD, "tulp");
  EXPECT_STREQ(s.UPDATE_BEFORE_ID, "root");
  EXPECT_STREQ(s.UPDATE_BEFORE_PASSWORD, "tulp");
  EXPECT_STREQ(s.UPDATE_AFTER_ID, "root");
  EXPECT_STREQ(s.UPDATE_AFTER_PASSWORD, "tulp");
  EXPECT_STREQ(s.UPDATE_FILENAME, "");
  EXPECT_STREQ(s.UPDATE_FIRMWARE_VERSION, "");
  // The syslog database texts differ from a fresh record's empty ones.
  EXPECT_STREQ(s.SYSLOG_DB_IP, "192.168.1.71");
  EXPECT_STREQ(s.SYSLOG_DB_ID, "db");
  EXPECT_STREQ(s.SYSLOG_DB_PASSWORD, "vantrel");
  EXPECT_STREQ(s.SYSLOG_DB_NAME, "syslog");

  // An empty file exists too, so the same rules apply.
  dir_.Write("Dravenkit.ini", "");
  CNVTSettings e;
  ASSERT_EQ(e.Load(), 0);
  EXPECT_EQ(e.XFLAG, 256);
  EXPECT_STREQ(e.SYSLOG_DB_ID, "root");
}

TEST_F(SettingsFile, AddressNumbersKeepLowEightBitsAndWriteBack) {
  dir_.Write("Dravenkit.ini", "[IP_SETTING]\nIP_SETTING_START_IP=300.1.1.1\n");
  CNVTSettings s;
  ASSERT_EQ(s.Load(), 0);
  EXPECT_EQ(Octets(s.IP_SETTING_START_IP), "44.1.1.1");
  ASSERT_EQ(s.Save(), 0);
  EXPECT_NE(dir_.Read("Dravenkit.ini").find("\nIP_SETTING_START_IP=44.1.1.1\n"), std::string::npos);
}

TEST(SettingsAddress, MalformedValues) {
  struct Case {
    const char* text;
    const char* octets;
  } cases[] = {
      {"10.20.30.40", "10.20.30.40"},
      {"300.256.-1.511", "44.0.255.255"},
      {"12345678901234567890.4294967303.1.1", "210.7.1.1"},  // exact low 8 bits, no overflow
      {"10.1", "10.1.0.0"},                                  // octets not given become 0
      {"10.1.", "10.1.0.0"},
      {"abc", "0.0.0.0"},
      {"", "0.0.0.0"},
      {"1.2.x.4", "1.2.0.0"},
      {"1.2.3.4.5", "1.2.3.4"},  // text after the fourth number ignored
      {"1.2.3.4junk", "1.2.3.4"},
      {" 1. 2.+3.4", "1.2.3.4"},  // blanks and a sign before a number, as "%d" takes them
      {"1 .2.3.4", "1.0.0.0"},
      {"..1.1", "0.0.0.0"},
  };
  for (const Case& c : cases) {
    uint8_t a[4] = {9, 9, 9, 9};
    ParseSettingsAddress(c.text, a);
    EXPECT_EQ(Octets(a), c.octets) << '"' << c.text << '"';
  }
  uint8_t a[4] = {9, 9, 9, 9};
  ParseSettingsAddress(nullptr, a);
  EXPECT_EQ(Octets(a), "0.0.0.0");
}

TEST_F(SettingsFile, SaveWritesFixedOrderAndDropsEverythingElse) {
  CNVTSettings fresh;
  ASSERT_EQ(fresh.Save(), 0);
  EXPECT_EQ(dir_.Read("Dravenkit.ini"), kFreshFile);
  EXPECT_EQ(SettingsFileText(fresh), kFreshFile);

  // A hand-edited file: comments, an extra section, keys out of order, other
  // case, CR LF, quotes, an unknown key. Load then Save gives the fixed layout.
  dir_.Write("Dravenkit.ini",
             "; my notes\r\n"
             "[Extra]\r\nFOO=bar\r\n"
             "[syslog]\r\nsyslog_db_name = mydb \r\nSYSLOG_SERVER_PORT=5140\r\n"
             "[COMMON]\r\nXFLAG=3\r\nUNKNOWN=1\r\nUPDATE_ENABLE=1\r\nSYSLOG_ENABLE=0\r\n"
             "[IP_SETTING]\r\n; comment inside\r\nIP_SETTING_ID=\"admin\"\r\n");
  CNVTSettings s;
  ASSERT_EQ(s.Load(), 0);
  ASSERT_EQ(s.Save(), 0);
  std::string expected = std::string(kFreshFile);
  auto replace = [&expected](const std::string& from, const std::string& to) {
    size_t at = expected.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    expected.replace(at, from.size(), to);
  };
  replace("UPDATE_ENABLE=0\n", "UPDATE_ENABLE=1\n");
  replace("XFLAG=0\n[IP", "XFLAG=3\n[IP");
  replace("IP_SETTING_XFLAG=0\nIP_SETTING_TYPE=0\n", "IP_SETTING_XFLAG=256\nIP_SETTING_TYPE=256\n");
  replace("IP_SETTING_ID=root\n", "IP_SETTING_ID=admin\n");
  replace("UPDATE_XFLAG=0\n", "UPDATE_XFLAG=256\n");
  replace("UPDATE_IP_SETTING_ENABLE=0\nUPDATE_FACTORYDEFAULT_ENABLE=0\nUPDATE_PROJECT_CODE=0\n",
          "UPDATE_IP_SETTING_ENABLE=256\nUPDATE_FACTORYDEFAULT_ENABLE=256\nUPDATE_PROJECT_CODE=256\n");
  replace("XDEBUG_SERVER_PORT=700\nXDEBUG_SERVER_ENABLE=0\nSYSLOG_SERVER_PORT=514\nSYSLOG_SERVER_ENABLE=1\n",
          "XDEBUG_SERVER_PORT=256\nXDEBUG_SERVER_ENABLE=256\nSYSLOG_SERVER_PORT=5140\nSYSLOG_SERVER_ENABLE=256\n");
  replace("SYSLOG_DB_IP=\nSYSLOG_DB_ID=\nSYSLOG_DB_PASSWORD=\nSYSLOG_DB_NAME=\n",
          "SYSLOG_DB_IP=192.168.1.71\nSYSLOG_DB_ID=root\nSYSLOG_DB_PASSWORD=vantrel\nSYSLOG_DB_NAME=mydb\n");
  EXPECT_EQ(dir_.Read("Dravenkit.ini"), expected);
}

TEST_F(SettingsFile, SaveThenLoadKeepsEveryValue) {
  CNVTSettings a;
  a.UPDATE_ENABLE = 1;
  a.XFLAG = -5;
  a.IP_SETTING_TYPE = 1;
  const uint8_t ip[4] = {10, 0, 0, 200};
  std::memcpy(a.IP_SETTING_START_IP, ip, 4);
  std::memcpy(a.IP_SETTING_DEFAULT_DNS, ip, 4);
  std::strcpy(a.IP_SETTING_PASSWORD, "  pass with blanks ");  // must not lose its blanks
  std::strcpy(a.UPDATE_AFTER_PASSWORD, "\"quoted\"");
  std::strcpy(a.UPDATE_FILENAME, "/data/fw image;v2=final.bin");
  std::strcpy(a.UPDATE_FIRMWARE_VERSION, "1.0.1.2");
  a.UPDATE_PROJECT_CODE = 3;
  a.SYSLOG_SERVER_PORT = 65535;
  std::strcpy(a.SYSLOG_DB_NAME, "[db]");
  ASSERT_EQ(a.Save(), 0);

  CNVTSettings b;
  ASSERT_EQ(b.Load(), 0);
  EXPECT_EQ(SettingsKeyValues(b), SettingsKeyValues(a));
  EXPECT_STREQ(b.IP_SETTING_PASSWORD, "  pass with blanks ");
  EXPECT_STREQ(b.UPDATE_AFTER_PASSWORD, "\"quoted\"");
  EXPECT_STREQ(b.UPDATE_FILENAME, "/data/fw image;v2=final.bin");
  EXPECT_EQ(b.XFLAG, -5);
  EXPECT_EQ(Octets(b.IP_SETTING_DEFAULT_DNS), "10.0.0.200");
  EXPECT_STREQ(b.SYSLOG_DB_NAME, "[db]");
}

TEST_F(SettingsFile, TextsCutToFieldWidth) {
  const std::string t300(300, 'a'), t2000(2000, 'f');
  dir_.Write("Dravenkit.ini", "[IP_SETTING]\nIP_SETTING_ID=" + t300 + "\n[FIRMWARE_UPDATE]\nUPDATE_FILENAME=" + t2000 +
                                  "\nUPDATE_FIRMWARE_VERSION=" + t300 + "\n");
  CNVTSettings s;
  ASSERT_EQ(s.Load(), 0);
  EXPECT_EQ(std::string(s.IP_SETTING_ID), std::string(63, 'a'));
  EXPECT_EQ(std::string(s.UPDATE_FILENAME), std::string(1023, 'f'));
  EXPECT_EQ(std::string(s.UPDATE_FIRMWARE_VERSION), std::string(255, 'a'));
  // The neighbour fields are untouched by the long values.
  EXPECT_STREQ(s.IP_SETTING_PASSWORD, "tulp");
  EXPECT_EQ(s.UPDATE_XFLAG, 256);

  // A field filled to the brim without terminator is still saved within its size.
  std::memset(s.IP_SETTING_ID, 'z', sizeof s.IP_SETTING_ID);
  auto kv = SettingsKeyValues(s);
  ASSERT_EQ(kv[10].first, "IP_SETTING_ID");
  EXPECT_EQ(kv[10].second, std::string(64, 'z'));
}

TEST(Settings, KeyValuesInFileOrder) {
  CNVTSettings s;
  s.UPDATE_ENABLE = 1;
  auto kv = SettingsKeyValues(s);
  std::string lines;
  for (const auto& [k, v] : kv) lines += k + "=" + v + "\n";
  // The file text without its four section lines.
  std::string expected = kFreshFile;
  for (const char* sec : {"[COMMON]\n", "[IP_SETTING]\n", "[FIRMWARE_UPDATE]\n", "[SYSLOG]\n"})
    expected.erase(expected.find(sec), std::strlen(sec));
  expected.replace(expected.find("UPDATE_ENABLE=0"), 15, "UPDATE_ENABLE=1");
  EXPECT_EQ(kv.size(), 30u);
  EXPECT_EQ(lines, expected);
}

TEST_F(SettingsFile, ExplicitPathsAndFailedSave) {
  CNVTSettings s;
  s.XFLAG = 7;
  ASSERT_EQ(s.SaveTo(dir_.File("other.ini")), 0);
  EXPECT_FALSE(dk::FileExists(Path()));  // the explicit path only
  CNVTSettings r;
  ASSERT_EQ(r.LoadFrom(dir_.File("other.ini")), 0);
  EXPECT_EQ(r.XFLAG, 7);
  EXPECT_LT(r.LoadFrom(dir_.File("none.ini")), 0);
  EXPECT_EQ(r.XFLAG, 7);
  // Writing into a missing directory fails and says why.
  std::string reason;
  EXPECT_EQ(s.SaveTo(dir_.File("missing/Dravenkit.ini"), &reason), -2);
  EXPECT_EQ(reason, "No such file or directory");
  ASSERT_TRUE(std::filesystem::create_directory(dir_.File("taken.ini")));
  EXPECT_EQ(s.SaveTo(dir_.File("taken.ini"), &reason), -2);
  EXPECT_EQ(reason, "Is a directory");

  std::string path;
  ASSERT_TRUE(SettingsFilePath(&path));
  EXPECT_EQ(path, Path());
}

// The file holds passwords: a new one is its owner's alone whatever the
// umask; one the user made readable keeps its mode.
TEST_F(SettingsFile, NewFileIsTheOwnersOnlyAnExistingOneKeepsItsMode) {
#ifdef _WIN32
  GTEST_SKIP() << "no permission bits on Windows: the folder's access list decides";
#endif
  const mode_t old_mask = ::umask(022);
  CNVTSettings s;
  ASSERT_EQ(s.SaveTo(dir_.File("new.ini")), 0);
  struct stat st;
  ASSERT_EQ(::stat(dir_.File("new.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  dir_.Write("old.ini", "[COMMON]\n");
  ASSERT_EQ(::chmod(dir_.File("old.ini").c_str(), 0640), 0);
  ASSERT_EQ(s.SaveTo(dir_.File("old.ini")), 0);
  ASSERT_EQ(::stat(dir_.File("old.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ::umask(old_mask);
}

TEST_F(SettingsFile, FirstOccurrenceAndCaseInsensitiveKeys) {
  dir_.Write("Dravenkit.ini",
             "[common]\nupdate_enable=1\nUPDATE_ENABLE=0\n"
             "[COMMON]\nXFLAG=9\n"
             "[IP_SETTING]\nip_setting_password='se cret'\n");
  CNVTSettings s;
  ASSERT_EQ(s.Load(), 0);
  EXPECT_EQ(s.UPDATE_ENABLE, 1);
  EXPECT_EQ(s.XFLAG, 256);  // the second COMMON block is never read
  EXPECT_STREQ(s.IP_SETTING_PASSWORD, "se cret");
}

TEST_F(SettingsFile, SaveCreatesTheMissingFolderOrSaysWhyNot) {
  // The user's configuration folder does not exist before the first save.
  const std::string folder = dir_.File("home/.config/dravenkit");
  dk::SetExecutableDirOverride(folder);
  CNVTSettings s;
  s.XFLAG = 3;
  ASSERT_EQ(s.Save(), 0);
  CNVTSettings r;
  ASSERT_EQ(r.LoadFrom(folder + "/Dravenkit.ini"), 0);
  EXPECT_EQ(r.XFLAG, 3);

  dir_.Write("plain", "x");
  dk::SetExecutableDirOverride(dir_.File("plain/dravenkit"));
  std::string reason;
  EXPECT_EQ(s.Save(&reason), -3);
  EXPECT_EQ(reason, "cannot create the folder " + dir_.File("plain/dravenkit") + ": Not a directory");
}

}  // namespace
