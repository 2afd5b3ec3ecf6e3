// The process runner with real small programs.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "engine/ops/ping_tools.h"
#include "platform/process.h"
#include "platform/ticks.h"

namespace {

TEST(ProcessRunTest, OutputAndExitStatus) {
  std::string out = "stale";
  EXPECT_EQ(RunCommand({"/bin/echo", "hello", "a b"}, &out), 0);
  EXPECT_EQ(out, "hello a b\n");
  EXPECT_EQ(RunCommand({"/bin/false"}, &out), 1);
  EXPECT_EQ(out, "");
  // Found on PATH; waits for the end, so late output is there too.
  EXPECT_EQ(RunCommand({"sh", "-c", "sleep 0.2; echo done; exit 3"}, &out), 3);
  EXPECT_EQ(out, "done\n");
  EXPECT_EQ(RunCommand({"true"}, nullptr), 0);
  // A child ended by a signal.
  EXPECT_EQ(RunCommand({"sh", "-c", "kill -9 $$"}, &out), 128 + 9);
}

TEST(ProcessRunTest, ArgumentsReachTheProgramUnchanged) {
  // No shell between the arguments and the program.
  std::string out;
  EXPECT_EQ(RunCommand({"/bin/echo", "$(id)", ";", "`x`", "&&", "*"}, &out), 0);
  EXPECT_EQ(out, "$(id) ; `x` && *\n");
}

TEST(ProcessRunTest, StartFailures) {
  std::string out = "stale";
  int32_t rc = RunCommand({"/nonexistent/dravenkit-no-such-program"}, &out);
  EXPECT_EQ(rc, dk::kProcessSpawnFailed);
  EXPECT_EQ(out, "");
  EXPECT_STREQ(RunCommandFailureText(rc), "Failed to execute CreateProcess().");
  EXPECT_EQ(RunCommand({"dravenkit-no-such-program-on-path"}, nullptr), dk::kProcessSpawnFailed);
  EXPECT_STREQ(RunCommandFailureText(dk::kProcessPipeFailed), "Error");
  // An absent command does nothing and says nothing.
  EXPECT_EQ(RunCommand({}, &out), dk::kProcessBadArgs);
  EXPECT_EQ(RunCommandFailureText(dk::kProcessBadArgs), nullptr);
  EXPECT_EQ(RunCommandFailureText(0), nullptr);
  EXPECT_EQ(RunCommandFailureText(1), nullptr);
}

TEST(ProcessRunTest, LargeOutputIsReadToTheEnd) {
  // Far more than a pipe holds: the child must not block on a full pipe.
  std::string out;
  dk::ProcessTimings t;
  t.max_output = 1 << 20;
  EXPECT_EQ(dk::ProcessRun({"head", "-c", "300000", "/dev/zero"}, &out, t), 0);
  EXPECT_EQ(out.size(), 300000u);
  t.max_output = 1000;
  EXPECT_EQ(dk::ProcessRun({"head", "-c", "300000", "/dev/zero"}, &out, t), 0);
  EXPECT_EQ(out.size(), 1000u);
}

TEST(ProcessRunTest, EveryWaitIsBounded) {
  dk::ProcessTimings t;
  t.limit_ms = 300;
  t.poll_ms = 50;
  std::string out;
  dk::TickTimer tm;
  tm.Start();
  EXPECT_EQ(dk::ProcessRun({"sh", "-c", "echo early; exec sleep 20"}, &out, t), dk::kProcessTimedOut);
  EXPECT_EQ(out, "early\n");
  EXPECT_LT(tm.Elapsed(), 5000u);
  // A child that closes its output and goes on running.
  tm.Start();
  EXPECT_EQ(dk::ProcessRun({"sh", "-c", "exec >&-; exec sleep 20"}, &out, t), dk::kProcessTimedOut);
  EXPECT_LT(tm.Elapsed(), 5000u);
  // A grandchild that keeps the pipe open after the child ended.
  tm.Start();
  t.limit_ms = 10000;
  EXPECT_EQ(dk::ProcessRun({"sh", "-c", "sleep 3 2>/dev/null & echo parent"}, &out, t), 0);
  EXPECT_EQ(out, "parent\n");
  EXPECT_LT(tm.Elapsed(), 5000u);
}

TEST(ProcessRunTest, ChildStartsWithDefaultSignals) {
  // We ignore SIGPIPE; the child must not inherit that.
  struct sigaction old {};
  struct sigaction ign {};
  ign.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ign, &old);
  std::string out;
  EXPECT_EQ(RunCommand({"grep", "^SigIgn", "/proc/self/status"}, &out), 0);
  sigaction(SIGPIPE, &old, nullptr);
  ASSERT_NE(out.find("SigIgn:"), std::string::npos);
  unsigned long long mask = std::stoull(out.substr(out.find(':') + 1), nullptr, 16);
  EXPECT_EQ(mask & (1ull << (SIGPIPE - 1)), 0u) << out;
}

TEST(ProcessRunTest, OutputIsNotTranslated) {
  std::string out;
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(RunCommand({"sh", "-c", "echo \"$LC_ALL\""}, &out), 0);
  unsetenv("LC_ALL");
  EXPECT_EQ(out, "C\n");
}

}  // namespace
