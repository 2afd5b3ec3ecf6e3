#pragma once
// The fleet: generated devices, the fleet file, and faults given to a share.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace dksim {

// Values generated devices (and fields a fleet line leaves out) take.
struct FleetDefaults {
  uint32_t base_ip;   // first generated address
  uint32_t mask;
  uint32_t gateway;
  uint32_t dns;
  std::string user = "root";
  std::string password = "tulp";
  std::string firmware = "2.4.1";
  FleetDefaults();  // 10.77.1.1, 255.255.0.0, 10.77.0.1, 10.77.0.1
};

// Address of generated device `index`: base_ip counted up, skipping host
// octets 0 and 255.
uint32_t GeneratedIp(uint32_t base_ip, int index);
// Device `index` of a generated fleet: distinct MAC, a mix of encoders and
// decoders, web port 80, AV ports 554/555/556 on some and fewer on others.
SimDeviceConfig GenerateDevice(int index, const FleetDefaults& def);
std::vector<SimDeviceConfig> GenerateFleet(int count, const FleetDefaults& def);

// Fleet file text: one device a line of key=value fields (values may be
// double-quoted, with \" and \\ inside); '#' starts a comment; blank lines are
// skipped. Fields a line leaves out take the generated value for its position.
// 0 and the devices, or -1 with "line N: ..." in *error.
int ParseFleetText(const std::string& text, const FleetDefaults& def, std::vector<SimDeviceConfig>* out,
                   std::string* error);
int LoadFleetFile(const std::string& path, const FleetDefaults& def, std::vector<SimDeviceConfig>* out,
                  std::string* error);
// One fleet-file line that ParseFleetText reads back to the same device.
std::string FormatFleetLine(const SimDeviceConfig& d);

struct FaultShare {
  uint32_t fault;  // one Fault bit
  double share;    // 0..1 of the fleet
};
// "name=share" (share 0..1, or a percentage "10%"). 0 or -1.
int ParseFaultShare(const std::string& text, FaultShare* out);
// Gives each fault to round(share * size) devices picked by seed.
void ApplyFaultShares(std::vector<SimDeviceConfig>* fleet, const std::vector<FaultShare>& shares, uint64_t seed);
// Devices with kFaultDupIp take the address of the next device in the fleet.
void ApplyDuplicateAddresses(std::vector<SimDeviceConfig>* fleet);

// Distinct MACs, replies that fit a datagram. 0 or -1 with *error.
int ValidateFleet(const std::vector<SimDeviceConfig>& fleet, std::string* error);

// "AA:BB:CC:DD:EE:FF" (also with '-'); 0 or -1.
int ParseMac(const std::string& text, uint8_t mac[6]);

// Small deterministic generator (splitmix64).
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed) {}
  uint64_t Next();
  // Uniform in [lo, hi].
  uint64_t Range(uint64_t lo, uint64_t hi);

 private:
  uint64_t s_;
};

}  // namespace dksim
