#pragma once
// One simulated device: what it reports and how it misbehaves.
#include <cstdint>
#include <string>

namespace dksim {

// Fault bits; names are the fleet-file and --fault spellings.
enum Fault : uint32_t {
  kFaultNoDiscovery = 1u << 0,    // "no-discovery": never answers discovery
  kFaultLate = 1u << 1,           // "late": answers after the scan window
  kFaultAuthRefuse = 1u << 2,     // "auth-refuse": every credential is wrong
  kFaultNoMove = 1u << 3,         // "no-move": accepts set-network, stays put
  kFaultMoveSilent = 1u << 4,     // "move-silent": moves, then never answers again
  kFaultHttpRefuse = 1u << 5,     // "http-refuse": connections are reset at once
  kFaultHttpHang = 1u << 6,       // "http-hang": accepts, reads, never answers
  kFaultHttpSplit = 1u << 7,      // "http-split": status+headers, blank line, body apart
  kFaultUploadCut = 1u << 8,      // "upload-cut": upload connection reset halfway
  kFaultDupIp = 1u << 9,          // "dup-ip": takes another device's address
  kFaultBadLength = 1u << 10,     // "bad-length": reply length field off by one
  kFaultGarbage = 1u << 11,       // "garbage": sends junk datagrams with its replies
  kFaultResetIgnore = 1u << 12,   // "reset-ignore": answers a factory default, does not reset
  kFaultResetKeepIp = 1u << 13,   // "reset-keep-ip": resets but comes back at its old address
  kFaultRtspBusy = 1u << 14,      // "rtsp-busy": 453 to every video viewer
  kFaultRtspSilent = 1u << 15,    // "rtsp-silent": video connections accepted, never answered
  kFaultUploadStall = 1u << 16,   // "upload-stall": stops reading the upload halfway, never answers
  kFaultNoReturn = 1u << 17,      // "no-return": never comes back after an upload
  kFaultWrongVersion = 1u << 18,  // "wrong-version": comes back with its old version after an upload
  kFaultRtspResize = 1u << 19,    // "rtsp-resize": the video's picture size changes every second
  kFaultUploadRefuse = 1u << 20,  // "upload-refuse": takes the upload, answers 500, no restart
  kFaultMoveLate = 1u << 21,      // "move-late": moves --move-late-ms after accepting, answering from the old address meanwhile
  kFaultResultLost = 1u << 22,    // "result-lost": takes set-network like any device, its result datagram never arrives
  kFaultUploadReset = 1u << 23,   // "upload-reset": takes the whole upload, resets instead of answering, restarts
  kFaultFactoryRefuseLate = 1u << 24,  // "factory-refuse-late": 401 to the factory default, --refuse-delay-ms late
};
constexpr int kFaultCount = 25;

// Name of fault bit i (0..kFaultCount-1).
const char* FaultName(int i);
// Bit of a fault name, or 0 when unknown.
uint32_t FaultFromName(const std::string& name);
// "late,http-split" form of a mask ("" for none).
std::string FaultList(uint32_t mask);

enum class SystemMode : uint8_t { kEncoder, kDecoder };

// Item types a discovery reply may carry.
constexpr uint8_t kItemMaskWeb = 1u << 0;   // item 8
constexpr uint8_t kItemMaskAv1 = 1u << 1;   // item 9
constexpr uint8_t kItemMaskAv2 = 1u << 2;   // item 10
constexpr uint8_t kItemMaskAv3 = 1u << 3;   // item 11
constexpr uint8_t kItemMaskAll = 0x0F;

struct SimDeviceConfig {
  uint8_t mac[6] = {};
  uint8_t device_byte = 0;
  std::string model;
  std::string text2;
  std::string text3;
  uint8_t network_type = 1;  // 0 DHCP, 1 static, 2 PPPoE
  // Network byte order, as on the wire. ip is also the device's current address.
  uint32_t ip = 0;
  uint32_t mask = 0;
  uint32_t gateway = 0;
  uint32_t dns = 0;
  std::string pppoe1, pppoe2, pppoe3;
  uint32_t pppoe_value1 = 0;
  uint8_t pppoe_value2 = 0;
  uint32_t pppoe_value3 = 0;
  uint8_t trailing = 0;
  uint8_t reply_version = 3;
  uint8_t items = kItemMaskAll;  // which of items 8..11 are sent
  bool has_item2 = false;
  uint8_t item2 = 0;
  uint16_t web_port = 80;
  uint16_t av_port1 = 0, av_port2 = 0, av_port3 = 0;
  std::string firmware;
  std::string serial;
  SystemMode mode = SystemMode::kEncoder;
  std::string user = "root";
  std::string password = "tulp";
  uint32_t faults = 0;
};

// The address every device takes on a factory reset.
uint32_t FactoryIp();  // 192.168.1.2

}  // namespace dksim
