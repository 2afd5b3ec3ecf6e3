#pragma once
// dravenkit-sim's command line.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_core.h"
#include "sim/sim_fleet.h"
#include "sim/sim_server.h"

namespace dksim {

struct SimArgs {
  int devices = -1;            // --devices N
  std::string fleet_file;      // --fleet FILE
  FleetDefaults defaults;
  SimOptions sim;
  ServerConfig server;
  std::vector<FaultShare> fault_shares;
  std::string event_log;
  bool seed_given = false;
  bool dump_fleet = false;     // print the fleet as fleet-file lines and exit
  bool no_addresses = false;
  bool help = false;
};

// 0 parsed; -1 with *error on a usage fault.
int ParseSimArgs(int argc, const char* const* argv, SimArgs* out, std::string* error);
// Builds the fleet the arguments describe (file or generated, then faults). 0 or -1.
int BuildFleet(const SimArgs& args, std::vector<SimDeviceConfig>* fleet, std::string* error);
const char* SimUsage();

}  // namespace dksim
