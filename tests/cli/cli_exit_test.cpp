// Runs the built dravenkit-cli as a child process: exit codes and output.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/devices/device_csv.h"
#include "tests/support/cli_runner.h"
#include "tests/support/net_guard.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_path.h"

namespace {

using dktest::CliRun;

// A build without the video client (the Windows build of the test command)
// has a snapshot that only says so.
#ifdef DK_CLI_NO_SNAPSHOT
constexpr bool kSnapshot = false;
#else
constexpr bool kSnapshot = true;
#endif

// args are passed through the shell; callers quote what needs it. Without
// stderr_to_out, standard error is dropped.
CliRun Cli(const std::string& args, bool stderr_to_out = false) {
  CliRun r = dktest::RunCli(args);
  EXPECT_FALSE(r.timed_out) << args;
  if (stderr_to_out) r.out += r.err;
  return r;
}

std::string ExpectedListing(const CNVTSettings& s) {
  std::string out;
  for (const auto& kv : SettingsKeyValues(s)) out += kv.first + "=" + kv.second + "\n";
  return out;
}

TEST(CliUsage, ExitCodes) {
  EXPECT_EQ(Cli("").code, 2);
  EXPECT_EQ(Cli("frobnicate").code, 2);
  EXPECT_EQ(Cli("discover --bogus").code, 2);
  EXPECT_EQ(Cli("discover extra").code, 2);
  EXPECT_EQ(Cli("settings --dir").code, 2);
  EXPECT_EQ(Cli("settings --dir /tmp --dir /tmp").code, 2);
  EXPECT_EQ(Cli("settings stray").code, 2);
  // factory-default: exactly one of --mac and --all, and only MAC texts (refused before any scan).
  EXPECT_EQ(Cli("factory-default").code, 2);
  EXPECT_EQ(Cli("factory-default --all --mac 00:1A:2B:3C:4D:5E").code, 2);
  EXPECT_EQ(Cli("factory-default --mac 00:1A:2B:3C:4D").code, 2);

  // snapshot: the single address as before; --sheet takes devices by MAC, and
  // the sheet's options need --sheet (all refused before any scan).
  if (!kSnapshot) {
    const CliRun none = Cli("snapshot 10.0.0.1 --out x.png", true);
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.out.find("dravenkit-cli snapshot: not part of this build"), std::string::npos) << none.out;
    EXPECT_NE(Cli("snapshot --help").out.find("This build has no video client"), std::string::npos);
  } else {
    EXPECT_EQ(Cli("snapshot --out x.png").code, 2);
    EXPECT_EQ(Cli("snapshot 10.0.0.1").code, 2);
    EXPECT_EQ(Cli("snapshot 10.0.0.1 --out x.png --all").code, 2);
    EXPECT_EQ(Cli("snapshot 10.0.0.1 --out x.png --stream 2").code, 2);
    EXPECT_EQ(Cli("snapshot --sheet x.png").code, 2);
    EXPECT_EQ(Cli("snapshot --sheet x.png --all --mac 00:1A:2B:3C:4D:5E").code, 2);
    EXPECT_EQ(Cli("snapshot --sheet x.png --all 10.0.0.1").code, 2);
    EXPECT_EQ(Cli("snapshot --sheet x.png --all --out y.png").code, 2);
    EXPECT_EQ(Cli("snapshot --sheet x.png --all --stream 4").code, 2);
    EXPECT_EQ(Cli("snapshot --sheet x.png --all --concurrency 0").code, 2);
    EXPECT_EQ(Cli("snapshot --sheet x.png --mac 00:1A:2B").code, 2);
  }

  const CliRun help = Cli("help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("usage: dravenkit-cli"), std::string::npos);
  EXPECT_NE(help.out.find("discover [--json | --csv [-o FILE]]"), std::string::npos);
  EXPECT_EQ(Cli("discover --csv --json").code, 2);
  EXPECT_EQ(Cli("discover -o x.csv").code, 2);  // -o needs --csv
  // Usage errors explain themselves on standard error, not on standard output.
  const CliRun bad = Cli("frobnicate", true);
  EXPECT_NE(bad.out.find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(Cli("frobnicate").out, "");
  const CliRun version = Cli("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "dravenkit-cli 1.0.1.2\n");
  for (const char* cmd : {"discover", "settings", "info", "ping", "factory-default", "snapshot", "set-network"}) {
    if (!kSnapshot && std::string(cmd) == "snapshot") continue;
    const CliRun h = Cli(std::string(cmd) + " --help");
    EXPECT_EQ(h.code, 0) << cmd;
    EXPECT_NE(h.out.find(std::string("usage: dravenkit-cli ") + cmd), std::string::npos) << cmd;
  }
}

// Every malformed or missing piece is a usage error naming it; all are found
// before anything is sent.
TEST(CliSetNetwork, UsageErrorsNameTheirText) {
  const std::string ok_addrs = " --static 10.0.0.5 255.255.255.0 10.0.0.1 10.0.0.1";
  const std::string creds = " --user root --password tulp";
  const struct {
    std::string args, named;
  } cases[] = {
      {"00:1A:2B:3C:4D" + ok_addrs + creds, "'00:1A:2B:3C:4D' is not a MAC address"},
      {"00:1A:2B:3C:4D:5E --static 10.0.0.5 255.255.255 10.0.0.1 10.0.0.1" + creds, "MASK '255.255.255'"},
      {"00:1A:2B:3C:4D:5E --static 10.0.0.5 255.255.255.0 10.0.0.1 dns" + creds, "DNS 'dns'"},
      {"00:1A:2B:3C:4D:5E" + creds, "either --static"},
      {"00:1A:2B:3C:4D:5E --dhcp" + ok_addrs + creds, "--dhcp"},
      {"00:1A:2B:3C:4D:5E --dhcp --password tulp", "--user"},
      {"00:1A:2B:3C:4D:5E --dhcp --user root", "--password"},
      {"00:1A:2B:3C:4D:5E --dhcp --user root9abcd --password tulp", "--user must have 1 to 8 bytes"},
      // The credential block carries 16 bytes: a 17th would be sent cut.
      {"00:1A:2B:3C:4D:5E --dhcp --user root --password 12345678901234567", "1 to 16 bytes"},
      {"00:1A:2B:3C:4D:5E --static 10.0.0.5 255.255.255.0" + creds, "--static"},
  };
  for (const auto& c : cases) {
    const CliRun r = Cli("set-network " + c.args, true);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_NE(r.out.find(c.named), std::string::npos) << c.args << "\n" << r.out;
  }
}

// Refused before the scan: an empty version (every check would fail) and,
// for the address step, a password the credential block would cut.
TEST(CliUpdate, UsageErrorsComeBeforeAnythingIsSent) {
  const std::string file = std::string(" --file '") + dktest::CliPath() + "' --all";
  const struct {
    std::string args, named;
  } cases[] = {
      {file + " --version ''", "--version must not be empty"},
      {file + " --version 2.0 --ip-setting --user root --password 12345678901234567",
       "Admin Password is too long (at most 16 bytes)"},
  };
  for (const auto& c : cases) {
    const CliRun r = Cli("update" + c.args, true);
    EXPECT_EQ(r.code, 2) << c.args;
    EXPECT_NE(r.out.find(c.named), std::string::npos) << c.args << "\n" << r.out;
  }
}

TEST(CliSettings, MissingDirectoryFails) {
  const CliRun r = Cli("settings --dir /nonexistent/dravenkit-test-dir");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
}

TEST(CliSettings, NoFileGivesBuiltInValuesInFileOrder) {
  TempDir dir;
  const CliRun r = Cli("settings --dir '" + dir.path() + "'");
  ASSERT_EQ(r.code, 0);
  // The path comes first, also for a file that does not exist yet.
  EXPECT_EQ(r.out, dir.File("Dravenkit.ini") + "\n" + ExpectedListing(CNVTSettings()));
  EXPECT_NE(r.out.find("\nUPDATE_ENABLE=0\nSYSLOG_ENABLE=0\nXFLAG=0\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nSYSLOG_SERVER_PORT=514\n"), std::string::npos);
}

TEST(CliSettings, WithoutDirTheFileBesideTheBuiltProgram) {
  // A built program's folder is the user's, so the file stays beside it.
  const std::string exe = dktest::CliPath();
  const CliRun r = Cli("settings");
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), exe.substr(0, exe.find_last_of("/\\") + 1) + "Dravenkit.ini");
}

TEST(CliSettings, FileValuesAsTheWindowLoadsThem) {
  TempDir dir;
  dir.Write("Dravenkit.ini",
            "[COMMON]\r\nXFLAG=3\r\n[IP_SETTING]\r\nIP_SETTING_START_IP=300.1.1.1\r\nIP_SETTING_ID=admin\r\n");
  const CliRun r = Cli("settings --dir '" + dir.path() + "'");
  ASSERT_EQ(r.code, 0);
  CNVTSettings s;
  ASSERT_EQ(s.LoadFrom(dir.File("Dravenkit.ini")), 0);
  EXPECT_EQ(r.out, dir.File("Dravenkit.ini") + "\n" + ExpectedListing(s));
  EXPECT_NE(r.out.find("XFLAG=3\n"), std::string::npos);
  EXPECT_NE(r.out.find("UPDATE_ENABLE=256\n"), std::string::npos);  // missing integer key
  EXPECT_NE(r.out.find("IP_SETTING_START_IP=44.1.1.1\n"), std::string::npos);
  EXPECT_NE(r.out.find("IP_SETTING_ID=admin\n"), std::string::npos);
  EXPECT_NE(r.out.find("SYSLOG_DB_NAME=syslog\n"), std::string::npos);  // missing text key
}

// The listing says when other users can read the file's passwords; standard
// output stays the listing.
TEST(CliSettings, SaysWhenOthersCanReadTheFile) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no mode bits for other users (the folder's access list decides)";
#else
  TempDir dir;
  dir.Write("Dravenkit.ini", "[COMMON]\nXFLAG=3\n");
  const std::string file = dir.File("Dravenkit.ini");
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  const std::string args = "settings --dir '" + dir.path() + "'";
  const CliRun open = Cli(args, true);
  EXPECT_EQ(open.code, 0);
  EXPECT_NE(open.out.find(file + " is readable by other users (mode 0644)"), std::string::npos) << open.out;
  EXPECT_EQ(Cli(args).out.substr(0, file.size() + 1), file + "\n");
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  EXPECT_EQ(Cli(args, true).out.find("readable by other users"), std::string::npos);
#endif
}

// A password file that cannot be read is a usage error before anything is
// sent; the help says that the argument is visible to others.
TEST(CliPassword, UnreadableFileAndHelpText) {
  TempDir dir;
  for (const char* cmd : {"factory-default --all", "assign --start 10.1.1.1 --all", "snapshot 10.0.0.1 --out x.png",
                          "set-network 00:1A:2B:3C:4D:5E --dhcp --user root",
                          "update --file x --version 1 --all"}) {
    if (!kSnapshot && std::string(cmd).rfind("snapshot", 0) == 0) continue;
    const CliRun r = Cli(std::string(cmd) + " --password-file '" + dir.File("none") + "'", true);
    EXPECT_EQ(r.code, 2) << cmd;
    EXPECT_NE(r.out.find("cannot read --password-file"), std::string::npos) << cmd << "\n" << r.out;
    const std::string name = std::string(cmd).substr(0, std::string(cmd).find(' '));
    const CliRun help = Cli(name + " --help");
    EXPECT_NE(help.out.find("visible to other users"), std::string::npos) << name;
    EXPECT_NE(help.out.find("--password-file"), std::string::npos) << name;
  }
}

// With no device on the private, loopback-only segment the scan ends
// normally and standard output holds only the listing: diagnostics of the
// protocol layer such as "broadcast error" go to standard error.
TEST(CliDiscover, EmptySegmentGivesCleanOutput) {
  DK_REQUIRE_PRIVATE_NETWORK();  // a real broadcast
  const CliRun json = Cli("discover --json");
  EXPECT_EQ(json.code, 0);
  EXPECT_EQ(json.out, "[]\n");
  const CliRun table = Cli("discover");
  EXPECT_EQ(table.code, 0);
  EXPECT_EQ(table.out, "No.\tModel name\tMAC address\tIP address\tWeb port\tAV port\n");
  const CliRun csv = Cli("discover --csv");
  EXPECT_EQ(csv.code, 0);
  EXPECT_EQ(csv.out, std::string(kDeviceCsvHeader) + "\r\n");
  TempDir dir;
  EXPECT_EQ(Cli("discover --csv -o '" + dir.File("list.csv") + "'").code, 0);
  EXPECT_EQ(dir.Read("list.csv"), std::string(kDeviceCsvHeader) + "\r\n");
  const CliRun bad = Cli("discover --csv -o '" + dir.File("none/list.csv") + "'", true);
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.out.find("Could not write \"" + dir.File("none/list.csv") + "\": No such file or directory\n"),
            std::string::npos);
}

}  // namespace
