#pragma once
// The device's side of TALQ: parses the requests a device receives and builds
// the replies it sends, field by field. Mirror image of engine/talq.
#include <cstddef>
#include <cstdint>

#include "sim/sim_device.h"

namespace dksim {

enum class RequestKind : uint8_t { kDiscovery, kSetNetwork, kCommand5 };

// Parse failures (negative results of ParseRequest).
enum ParseError : int {
  kParseTooShort = -1,        // fewer than 8 bytes
  kParseBadMagic = -2,        // not "ADCT"
  kParseBadLength = -3,       // length field differs from the datagram size
  kParseUnknownCommand = -4,  // command byte not 3, 4 or 5
  kParseBadSize = -5,         // size does not fit the command's layout
  kParseTextOverrun = -6,     // a length-prefixed text runs past the end
};
const char* ParseErrorText(int code);

struct ParsedRequest {
  RequestKind kind = RequestKind::kDiscovery;
  uint8_t version = 0;      // byte 4
  uint8_t device_byte = 0;  // byte 8
  uint8_t mac[6] = {};      // bytes 9..14 (not in discovery)
  uint8_t network_type = 0; // byte 15; command 5 carries 3
  uint8_t admin_id[8] = {}; // bytes 16..23, as sent
  char password[17] = {};   // decoded from the block at 24; command 5: first secret
  int password_len = 0;
  // Type 1 (network byte order).
  uint32_t ip = 0, mask = 0, gateway = 0, dns = 0;
  // Type 2. Texts are at most 255 bytes on the wire.
  char pppoe1[256] = {}, pppoe2[256] = {}, pppoe3[256] = {};
  uint32_t pppoe_value1 = 0;
  uint8_t pppoe_value2 = 0;
  uint32_t pppoe_value3 = 0;
  // Type 3 texts.
  char text1[256] = {}, text2[256] = {};
  // Command 5.
  uint8_t flag = 0;
  char secret2[17] = {};
  // Set-network of a type other than 0..3: only bytes 0..45 were read.
  bool unknown_type = false;
};

// 0 when data holds a well-formed request (filled into *out), else a
// ParseError. A set-network request of an unknown network type parses with
// unknown_type set, so the device can refuse it by MAC.
int ParseRequest(const uint8_t* data, size_t len, ParsedRequest* out);

// The 8-byte ID field as text (stops at the first zero; at most 8 chars).
void AdminIdText(const uint8_t id[8], char out[9]);

// Discovery reply of device d; length_adjust is added to the length field
// (the bad-length fault). Returns the size, or -1 when it does not fit cap
// or a text is longer than 255 bytes.
int BuildDiscoveryReply(const SimDeviceConfig& d, int length_adjust, uint8_t* out, size_t cap);
// Size of d's discovery reply (-1 when it cannot be built).
int DiscoveryReplySize(const SimDeviceConfig& d);

// Result reply of 8 bytes: "TALQ", version, length, code.
int BuildResultReply(uint8_t version, uint8_t code, int length_adjust, uint8_t* out, size_t cap);

constexpr size_t kMaxReply = 1024;
// Result codes a device answers.
constexpr uint8_t kResultOk = 0;
constexpr uint8_t kResultAuth = 2;
constexpr uint8_t kResultInvalid = 1;      // a value the device cannot take
constexpr uint8_t kResultUnsupported = 3;  // a request form the device does not act on

// Checks of set-network values.
bool MaskIsContiguous(uint32_t mask);  // 1...10...0 and not all zero
bool IpUsableForHost(uint32_t ip);     // not 0, not 255.255.255.255, not loopback, multicast or reserved

}  // namespace dksim
