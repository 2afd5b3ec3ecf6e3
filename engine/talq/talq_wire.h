#pragma once
// TALQ datagrams, built and parsed field by field over byte buffers.
// Multi-byte header integers are little-endian; addresses are 4 bytes in
// network order; texts are a length byte and that many bytes.
#include <cstddef>
#include <cstdint>

#include "engine/devices/device_record.h"

constexpr uint16_t kTalqBindPort = 32153;
constexpr uint16_t kTalqDestPort = 32154;
constexpr uint16_t kTalqAltBindPort = 33001;
constexpr uint16_t kTalqAltDestPort = 33000;
constexpr uint16_t kTalqTracePort = 514;
constexpr size_t kTalqRecvBufferSize = 1024;
constexpr size_t kTalqTraceSize = 256;
constexpr size_t kTalqMaxRequest = 64 + 3 * 256;  // largest request we may build
constexpr int kTalqSocketRecvBuffer = 4 * 1024 * 1024;

constexpr uint8_t kTalqVersion = 2;
constexpr uint8_t kTalqCmdDiscovery = 3;
constexpr uint8_t kTalqCmdSetNetwork = 4;
constexpr uint8_t kTalqCmd5 = 5;
constexpr uint8_t kTalqCodeDiscoveryReply = 5;
constexpr uint8_t kTalqResultAccepted = 0;
constexpr uint8_t kTalqResultAuthRejected = 2;

constexpr size_t kTalqDiscoveryRequestSize = 9;
constexpr size_t kTalqSetNetworkDhcpSize = 46;
constexpr size_t kTalqSetNetworkStaticSize = 62;
constexpr size_t kTalqCredentialBlockSize = 32;
constexpr size_t kTalqCredentialSentSize = 22;
constexpr size_t kTalqCommand5Size = 69;

struct SetNetworkRequest {
  uint8_t mac[6];
  uint8_t device_byte;
  int32_t network_type;  // 0 DHCP, 1 static, 2 PPPoE
  char admin_id[8];      // zero-padded; not terminated at 8 characters
  char admin_password[22];
  uint32_t ip;
  uint32_t subnet_mask;
  uint32_t gateway;
  uint32_t dns_server;
  char pppoe_text1[32];
  char pppoe_text2[32];
  char pppoe_text3[64];
  uint32_t pppoe_value1;
  uint32_t pppoe_value2;  // 8 bits used
  uint32_t pppoe_value3;
};

struct SetNetworkType3Request {
  uint8_t mac[6];
  char admin_id[8];
  char password[22];
  char text1[64];
  char text2[64];
};

struct Command5Request {
  uint8_t mac[6];
  char admin_id[8];
  char secret1[22];
  uint8_t flag;
  char secret2[22];
};

// Credential block of a secret: r is the pseudo-random value (only its low 16
// bits are used); prefix is the 14-byte prefix (null means zeros). At most 16
// bytes of the secret are used. out receives all 32 bytes; requests carry the
// first 22.
void TalqBuildCredentialBlock(uint32_t r, const uint8_t* prefix14, const char* secret, uint8_t out[32]);
// The device's side: recovers the secret (at most 16 characters, terminated
// into secret[17]) from the 22 bytes a request carries. Works because the
// sent bytes hold the XOR key in the encrypted zero prefix. Returns the
// secret's length.
int TalqDecodeCredentialBlock(const uint8_t in22[22], char secret[17]);
// Pseudo-random value for a credential block: seeded from the current time
// in seconds, so blocks built within one second share it.
uint32_t TalqCredentialRandom();

// Builders return the datagram's length, or -1 when it cannot be built
// (unknown network type, or cap too small).
int TalqBuildDiscoveryRequest(uint8_t* out, size_t cap);
int TalqBuildSetNetwork(const SetNetworkRequest& req, uint32_t r, uint8_t* out, size_t cap);
int TalqBuildSetNetworkType3(const SetNetworkType3Request& req, uint32_t r, uint8_t* out, size_t cap);
int TalqBuildCommand5(const Command5Request& req, uint32_t r, uint8_t* out, size_t cap);

// Parses a discovery reply of `received` bytes (more than 1024 count as 1024).
// 1: parsed into *out (every field set, the sender's address as ip); -1 wrong
// magic; the code byte when it is not 5 (code 1 gives -1, so that 1 always
// means a parsed reply); -3 when the length field differs from the received
// size. *out is untouched unless the result is 1.
int TalqParseDiscoveryReply(const uint8_t* data, size_t received, uint32_t sender_ip, DeviceRecord* out);

// Result reply: the code byte (0-255) when magic and length check pass; -1 otherwise.
int TalqParseResultReply(const uint8_t* data, size_t received);

// Trace datagram: "%d\n" then zero filler up to 256 bytes. Returns 256.
int TalqBuildTrace(int32_t value, uint8_t out[256]);
