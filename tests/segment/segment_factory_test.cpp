// The factory default run and `dravenkit-cli factory-default` against the
// simulator on a segment, with the devices of fleet_factory.txt: two come back
// at 192.168.1.2, one ignores the request, one comes back at its old address,
// one's web server hangs, one refuses every credential (401), and one is
// stopped for after it came back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/ops/factory_default_run.h"
#include "platform/ticks.h"
#include "tests/segment/segment_support.h"
#include "tests/support/cli_runner.h"
#include "tests/support/recording_sink.h"

using namespace segtest;

namespace {

FactoryDefaultTimings Shortened() {
  FactoryDefaultTimings t;
  t.request_wait_ms = 400;
  t.step_ms = 40;  // about 4 s until a missing device times out
  t.watch.broadcast_ms = 120;
  t.found_pause_ms = 80;
  t.curl.total_timeout_ms = 3000;
  return t;
}

int Cli(const std::vector<std::string>& args, std::string* out) {
  std::vector<std::string> argv = {"factory-default"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back("--step-ms=40");
  const dktest::CliRun r = dktest::RunCli(argv);
  EXPECT_FALSE(r.timed_out);
  *out = r.out;
  return r.code;
}

// Runs first: devices 0-4 as the window would run them.
TEST(SegmentFactory, EachDeviceEndsByWhereItComesBack) {
  const auto fleet = LoadTestFleet();
  ASSERT_EQ(fleet.size(), 9u);
  FactoryDefaultConfig cfg;
  cfg.user = "root";
  cfg.password = "tulp";
  cfg.timings = Shortened();
  for (int i = 0; i < 5; ++i) cfg.devices.push_back(ExpectedRecord(fleet[size_t(i)]));
  RecordingSink sink;
  dk::StopFlag stop;
  FactoryRunResult r;
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(NvtFactoryDefaultThreadProc(cfg, stop, &sink, &r), 2);
  EXPECT_LT(t.Elapsed(), 8000u);  // the hanging request does not hold the run
  const int32_t want[] = {100, 100, kFactoryTimeout, kFactoryTimeout, kFactoryTimeout};
  ASSERT_EQ(r.devices.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(r.devices[i].progress, want[i]) << i;
    EXPECT_TRUE(r.devices[i].seen) << i;
    EXPECT_EQ(IpText(r.devices[i].ip_after), i < 2 ? "192.168.1.2" : IpText(fleet[i].ip)) << i;
  }
  EXPECT_EQ(sink.CountOf(UM_DEVICE_FOUND), 2u);
  EXPECT_EQ(EventLines({"\"ev\":\"factory_reset\""}).size(), 3u);  // 0, 1 and the keep-ip device
  EXPECT_EQ(EventLines({"\"ev\":\"factory_reset_ignored\""}).size(), 1u);
}

TEST(SegmentFactory, CliExitsZeroOnlyWhenEveryDeviceCameBack) {
  std::string out;
  EXPECT_EQ(Cli({"--mac", "02:44:4B:00:50:06"}, &out), 0) << out;
  EXPECT_NE(out.find("02:44:4B:00:50:06 factorydefault complete."), std::string::npos) << out;
  EXPECT_NE(out.find("1 of 1 device back at 192.168.1.2"), std::string::npos) << out;

  // One comes back, the one that ignores the request (still at its address) does not.
  out.clear();
  EXPECT_EQ(Cli({"--mac", "02:44:4b:00:50:07", "--mac", "02-44-4B-00-50-03", "--json"}, &out), 1) << out;
  EXPECT_NE(out.find("{\"devices\":[{\"mac\":\"02:44:4B:00:50:07\",\"ip_before\":\"10.77.5.7\",\"progress\":100,"
                     "\"status\":\"factorydefault complete.\",\"ip_after\":\"192.168.1.2\"},"
                     "{\"mac\":\"02:44:4B:00:50:03\",\"ip_before\":\"10.77.5.3\",\"progress\":-9,"
                     "\"status\":\"factorydefault error 'FACTORY_TIMEOUT'\",\"ip_after\":\"10.77.5.3\"}]}"),
            std::string::npos)
      << out;

  // A MAC that did not answer: an error before any request is sent.
  const size_t resets = EventLines({"factory_reset"}).size();
  out.clear();
  EXPECT_EQ(Cli({"--mac", "02:44:4B:00:50:06", "--mac", "02:44:4B:00:99:99"}, &out), 1);
  EXPECT_EQ(EventLines({"factory_reset"}).size(), resets);
}

std::vector<int32_t> FactoryStatuses(const RecordingSink& sink, const uint8_t mac[6]) {
  std::vector<int32_t> out;
  for (const WorkerMessage& m : sink.Snapshot())
    if (const auto* r = std::get_if<FactoryStatusReport>(&m.payload))
      if (std::memcmp(r->mac, mac, 6) == 0) out.push_back(r->status);
  return out;
}

// A refused request (401) ends its device at once with its own status, on the
// product's one-second steps: not after the ten steps, let alone the hundred.
TEST(SegmentFactory, ARefusedRequestEndsAtOnce) {
  const auto fleet = LoadTestFleet();
  ASSERT_EQ(fleet.size(), 9u);
  FactoryDefaultConfig cfg;
  cfg.user = "root";
  cfg.password = "tulp";
  cfg.timings.curl.total_timeout_ms = 3000;
  cfg.devices.push_back(ExpectedRecord(fleet[7]));
  RecordingSink sink;
  dk::StopFlag stop;
  FactoryRunResult r;
  dk::TickTimer t;
  t.Start();
  EXPECT_EQ(NvtFactoryDefaultThreadProc(cfg, stop, &sink, &r), 0);
  EXPECT_LT(t.Elapsed(), 10000u);
  ASSERT_EQ(r.devices.size(), 1u);
  EXPECT_EQ(r.devices[0].progress, kFactoryRefused);
  EXPECT_EQ(r.devices[0].http, 401);
  EXPECT_EQ(FactoryStatuses(sink, fleet[7].mac), (std::vector<int32_t>{kFactoryInit, kFactoryRequestStarted, kFactoryRefused}));
  EXPECT_EQ(FactoryStatusText(kFactoryRefused), "factorydefault error 'CHECK_FACTORYDEFAULT'");
  EXPECT_EQ(sink.CountOf(UM_FACTORY_DONE), 1u);

  std::string out;
  EXPECT_EQ(Cli({"--mac", MacText(fleet[7].mac), "--json"}, &out), 1) << out;
  EXPECT_NE(out.find("\"progress\":-12,\"status\":\"factorydefault error 'CHECK_FACTORYDEFAULT'\""), std::string::npos)
      << out;
}

// A stop during the pause before "factorydefault complete." still reports it.
TEST(SegmentFactory, AStopStillReportsTheDevicesBack) {
  const auto fleet = LoadTestFleet();
  ASSERT_EQ(fleet.size(), 9u);
  FactoryDefaultConfig cfg;
  cfg.user = "root";
  cfg.password = "tulp";
  cfg.timings = Shortened();
  cfg.timings.step_ms = 200;  // 20 s before a time-out, whatever the load
  cfg.timings.watch.broadcast_ms = 300;
  cfg.timings.found_pause_ms = 60000;  // only the stop can end the pause
  cfg.devices.push_back(ExpectedRecord(fleet[8]));
  RecordingSink sink;
  FactoryDefaultRunner runner;
  ASSERT_TRUE(runner.Start(cfg, &sink));
  ASSERT_TRUE(sink.WaitFor(UM_DEVICE_FOUND, 30000)) << "the device did not come back";
  EXPECT_NE(FactoryStatuses(sink, fleet[8].mac).back(), kFactoryComplete);
  runner.Stop();
  EXPECT_FALSE(runner.Running());
  EXPECT_EQ(FactoryStatuses(sink, fleet[8].mac).back(), kFactoryComplete);
  EXPECT_EQ(sink.CountOf(UM_FACTORY_DONE), 1u);
}

}  // namespace
