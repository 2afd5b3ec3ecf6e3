// The set-network exchange of "Apply" (SendSetNetworkRequest) and
// dravenkit-cli set-network against simulated devices. Runs through
// scripts/segment with tests/segment/fleet_set_network.txt.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/ops/set_network.h"
#include "tests/segment/segment_support.h"
#include "tests/support/cli_runner.h"
#include "tests/support/wait.h"

using namespace segtest;
using dksim::SimDeviceConfig;

namespace {

const uint32_t kMask16 = IpFromOctets(255, 255, 0, 0);

class SegmentSetNetwork : public ::testing::Test {
 protected:
  void SetUp() override {
    fleet = LoadTestFleet();
    ASSERT_EQ(fleet.size(), 9u) << "DK_TEST_FLEET must name fleet_set_network.txt";
  }
  int32_t Send(const SimDeviceConfig& d, const char* id, const char* pw, uint32_t ip, uint32_t mask,
               SetNetworkTimings t = {}) {
    DeviceRecord rec;
    EXPECT_TRUE(WaitForDevice(d.mac, 0, 3000, &rec)) << MacText(d.mac);
    SetNetworkRequest req;
    EXPECT_EQ(FillSetNetworkRequest(rec, 1, id, pw, ip, mask, d.gateway, d.dns, &req), 0);
    return SendSetNetworkRequest(req, TalqPortPair(0), t);
  }
  std::vector<SimDeviceConfig> fleet;
};

TEST_F(SegmentSetNetwork, EngineOutcomesAndTheMove) {
  const SimDeviceConfig& d0 = fleet[0];
  const uint32_t to0 = IpFromOctets(10, 77, 99, 1);
  EXPECT_EQ(Send(d0, "root", "wrong", to0, kMask16), 2);
  EXPECT_EQ(Send(d0, "root", "tulp", to0, IpFromOctets(255, 0, 255, 0)), 1);  // not a mask
  EXPECT_EQ(Send(d0, "root", "tulp", IpFromOctets(127, 0, 0, 9), kMask16), 1);
  EXPECT_EQ(SetNetworkOutcomeOf(1), SetNetworkOutcome::kConfiguration);
  DeviceRecord rec;
  ASSERT_TRUE(WaitForDevice(d0.mac, d0.ip, 2000, &rec)) << "a refused device stays where it was";

  // Per-device credentials with percent signs and a space travel unchanged.
  const uint32_t to1 = IpFromOctets(10, 77, 99, 2);
  ASSERT_EQ(Send(fleet[1], "op%s", "p%d 100%", to1, kMask16), 0);
  EXPECT_TRUE(WaitForDevice(fleet[1].mac, to1, 4000, &rec));

  // move-silent: accepts, moves and is never heard again.
  ASSERT_EQ(Send(fleet[2], "root", "tulp", IpFromOctets(10, 77, 99, 3), kMask16), 0);
  ASSERT_TRUE(dktest::WaitFor(
      [&] { return !EventLines({"\"ev\":\"moved\"", "\"mac\":\"" + MacText(fleet[2].mac) + "\""}).empty(); }, 10000))
      << "the simulator never moved it";
  EXPECT_FALSE(WaitForDevice(fleet[2].mac, 0, 2500, &rec));
  SetNetworkTimings short_wait;
  short_wait.result_wait_s = 0;
  short_wait.result_wait_us = 300000;
  SetNetworkRequest req;
  ASSERT_EQ(FillSetNetworkRequest(rec, 1, "root", "tulp", to0, kMask16, 0, 0, &req), 0);
  std::memcpy(req.mac, fleet[2].mac, 6);
  EXPECT_EQ(SendSetNetworkRequest(req, TalqPortPair(0), short_wait), kSetNetworkNoAnswer);

  // The port pair in use: the request cannot go out.
  TalqClient holder;
  ASSERT_EQ(TALQCLIENT_Open(&holder), 0);
  EXPECT_EQ(SendSetNetworkRequest(req, TalqPortPair(0), short_wait), kSetNetworkSendFailed);
  holder.Close(&holder.socket);
}

struct CliRun {
  int code = -1;
  nlohmann::json j;
};

CliRun Cli(const std::string& args) {
  const dktest::CliRun run = dktest::RunCli("set-network " + args + " --json");
  EXPECT_FALSE(run.timed_out) << args;
  CliRun r;
  r.code = run.code;
  r.j = nlohmann::json::parse(run.out, nullptr, false);
  return r;
}

TEST_F(SegmentSetNetwork, CliMovesADeviceAndReportsRefusals) {
  const std::string creds = " --user root --password tulp --verify-timeout 10";
  const CliRun moved = Cli(MacText(fleet[3].mac) + " --static 10.77.99.4 255.255.0.0 10.77.0.1 10.77.0.1" + creds);
  EXPECT_EQ(moved.code, 0);
  EXPECT_EQ(moved.j, nlohmann::json::parse(R"({"mac":")" + MacText(fleet[3].mac) +
                                           R"(","result":"accepted","verified":true,"ip":"10.77.99.4",)"
                                           R"("status":"IP address is changed."})"));
  DeviceRecord rec;
  EXPECT_TRUE(WaitForDevice(fleet[3].mac, IpFromOctets(10, 77, 99, 4), 2000, &rec));

  const CliRun refused = Cli(MacText(fleet[4].mac) + " --dhcp --user root --password nope");
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.j.value("result", ""), "authentication");
  EXPECT_EQ(refused.j.value("verified", true), false);
  EXPECT_TRUE(refused.j.contains("ip") && refused.j["ip"].is_null());
  EXPECT_EQ(refused.j.value("status", ""),
            "Invalid Athentication Information.\nCheck the Administrator ID and Password !");

  // The list's MAC form, lower case; a device that is not there.
  const CliRun missing = Cli("'02:00:00 - 0a:0b:0c' --dhcp" + creds);
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.j.value("result", ""), "not-found");
  EXPECT_EQ(missing.j.value("mac", ""), "02:00:00:0A:0B:0C");
}

// A device that goes on answering from its old address for a few seconds
// (past the first rescan) is verified only once it answers from the new one.
TEST_F(SegmentSetNetwork, CliWaitsForTheMoveOfALateMover) {
  const SimDeviceConfig& d = fleet[8];
  const std::string creds = " --user root --password tulp --verify-timeout 20";
  const CliRun moved = Cli(MacText(d.mac) + " --static 10.77.99.9 255.255.0.0 10.77.0.1 10.77.0.1" + creds);
  EXPECT_EQ(moved.code, 0);
  EXPECT_EQ(moved.j.value("ip", ""), "10.77.99.9");
  EXPECT_EQ(moved.j.value("verified", false), true);
  // It moves 4 s after accepting (--move-late-ms), so the first rescan at 3 s saw the old address.
  EXPECT_FALSE(EventLines({"\"ev\":\"moved\"", "\"mac\":\"" + MacText(d.mac) + "\""}).empty());
}

}  // namespace
