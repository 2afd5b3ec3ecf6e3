// The process runner and the ping check on Windows: CreateProcess with the
// Windows command lines, run under Wine by scripts/windows test (its own
// network namespace, loopback only).
#include <gtest/gtest.h>

#include <string>

#include "engine/devices/device_record.h"
#include "engine/ops/ping_tools.h"
#include "platform/process.h"
#include "platform/ticks.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ProcessRunWin32, OutputAndExitStatus) {
  std::string out;
  EXPECT_EQ(RunCommand({"cmd", "/c", "echo done& exit 3"}, &out), 3);
  EXPECT_EQ(out, "done\r\n");
  EXPECT_EQ(RunCommand({"cmd", "/c", "exit 0"}, nullptr), 0);
}

TEST(ProcessRunWin32, ArgumentsQuotedAsTheRuntimeSplitsThem) {
  // cmd's echo prints its command line as it came: the quoting is visible.
  std::string out;
  ASSERT_EQ(RunCommand({"cmd", "/c", "echo", "a b", "q\"x", "tail\\", "c:\\dir x\\"}, &out), 0);
  EXPECT_EQ(out, "\"a b\" \"q\\\"x\" tail\\ \"c:\\dir x\\\\\"\r\n");
}

TEST(ProcessRunWin32, StartFailures) {
  std::string out = "stale";
  const int32_t rc = RunCommand({"dravenkit-no-such-program"}, &out);
  EXPECT_EQ(rc, dk::kProcessSpawnFailed);
  EXPECT_EQ(out, "");
  EXPECT_STREQ(RunCommandFailureText(rc), "Failed to execute CreateProcess().");
  EXPECT_EQ(RunCommand({}, &out), dk::kProcessBadArgs);
}

TEST(ProcessRunWin32, LargeOutputIsReadToTheEnd) {
  TempDir dir;
  dir.Write("big.txt", std::string(300000, 'x'));
  std::string out;
  dk::ProcessTimings t;
  t.max_output = 1 << 20;
  EXPECT_EQ(dk::ProcessRun({"cmd", "/c", "type", dir.File("big.txt")}, &out, t), 0);
  EXPECT_EQ(out.size(), 300000u);
  t.max_output = 1000;
  EXPECT_EQ(dk::ProcessRun({"cmd", "/c", "type", dir.File("big.txt")}, &out, t), 0);
  EXPECT_EQ(out.size(), 1000u);
}

TEST(ProcessRunWin32, ChildStillRunningAtTheLimitIsEnded) {
  dk::ProcessTimings t;
  t.limit_ms = 1500;
  dk::TickTimer timer;
  timer.Start();
  EXPECT_EQ(dk::ProcessRun({"ping", "-n", "30", "127.0.0.1"}, nullptr, t), dk::kProcessTimedOut);
  EXPECT_LT(timer.Elapsed(), 10000u);
}

TEST(PingToolsWin32, CommandLinesAndMarker) {
  EXPECT_EQ(PingCommandArgs(IpFromOctets(192, 168, 1, 20), 1, 5),
            (std::vector<std::string>{"ping", "-n", "1", "-w", "5", "192.168.1.20"}));
  EXPECT_EQ(PingCommandArgs(IpFromOctets(127, 0, 0, 1), 0, 0),
            (std::vector<std::string>{"ping", "-n", "1", "-w", "1", "127.0.0.1"}));
  EXPECT_EQ(DeleteArpTableArgs(), (std::vector<std::string>{"arp", "-d"}));
  EXPECT_TRUE(PingOutputAnswered("    Packets: Sent = 1, Received = 1, Lost = 0 (0% loss),\r\n"));
  EXPECT_FALSE(PingOutputAnswered("    Packets: Sent = 1, Received = 0, Lost = 1 (100% loss),\r\n"));
  EXPECT_FALSE(PingOutputAnswered("    Packets: Sent = 10, Received = 9, Lost = 1 (10% loss),\r\n"));
  EXPECT_FALSE(PingOutputAnswered("1 packets transmitted, 1 received, 0% packet loss\n"));
}

TEST(PingToolsWin32, PingCheckThroughTheSystemPing) {
  EXPECT_EQ(PingCheck(IpFromOctets(127, 0, 0, 1), 1, 1000), 1);
  // Documentation range: no route to it in the namespace.
  EXPECT_EQ(PingCheck(IpFromOctets(198, 51, 100, 1), 1, 200), 0);
}

}  // namespace
