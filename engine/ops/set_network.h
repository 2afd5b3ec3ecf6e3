#pragma once
// One set-network request by MAC and its result: the exchange behind "Apply",
// the multiple IP setting run, the update run's address step and the CLI.
#include <cstdint>
#include <string>

#include "engine/devices/device_record.h"
#include "engine/talq/talq_wire.h"

// The port pair a request goes out on: bind port and destination port.
struct TalqPorts {
  uint16_t bind = kTalqBindPort;  // 32153 -> 32154
  uint16_t dest = kTalqDestPort;
};
// Pair 0 is 32153 -> 32154, every other index 33001 -> 33000.
TalqPorts TalqPortPair(int index);

struct SetNetworkTimings {
  int32_t result_wait_s = 1;  // how long to wait for the device's result
  int32_t result_wait_us = 0;
};

// Results of SendSetNetworkRequest besides the device's own code (0 or more)
// and -1 for a result datagram that does not parse.
constexpr int32_t kSetNetworkNoAnswer = -2;   // nothing arrived within the wait
constexpr int32_t kSetNetworkSendFailed = -3; // socket could not be opened or the send failed

// Status texts of outcomes that have no code of their own.
extern const char kSetNetworkNoAnswerText[];  // "ip setting error 'no answer'"

enum class SetNetworkOutcome { kAccepted, kAuthentication, kConfiguration, kNoAnswer, kSendFailed };
SetNetworkOutcome SetNetworkOutcomeOf(int32_t result);
// "accepted", "authentication", "configuration", "no-answer", "send-failed".
const char* SetNetworkOutcomeName(SetNetworkOutcome o);

// Credential limits: the ID field holds 8 bytes; the password field holds
// 22, but the credential block built from it carries only its first 16, so a
// longer password would reach the device cut and be refused.
constexpr size_t kAdminIdMax = 8;
constexpr size_t kAdminPasswordMax = 16;
// "" when the text fits a request whole; otherwise the refusal, naming the
// limit ("Admin ID is too long (at most 8 bytes)", "Admin Password is too
// long (at most 16 bytes)").
std::string AdminIdProblem(const std::string& id);
std::string AdminPasswordProblem(const std::string& password);

// Fills req for the device in rec: MAC, device byte and the PPPoE fields from
// the record, the rest from the arguments. ID and password are copied as text
// and zero-padded; -1 (req untouched) when either is over its limit above,
// since a cut secret would be refused by the device. 0 otherwise.
int32_t FillSetNetworkRequest(const DeviceRecord& rec, int32_t network_type, const char* admin_id,
                              const char* admin_password, uint32_t ip, uint32_t subnet_mask, uint32_t gateway,
                              uint32_t dns_server, SetNetworkRequest* req);

// Opens a client on ports, sends req, waits for one result datagram and
// closes the client. Returns the device's result code (0 accepted, 2 bad
// credentials, anything else a refused configuration), -1 for a result that
// does not parse, kSetNetworkNoAnswer or kSetNetworkSendFailed. Bounded by the
// wait and, when the port pair is taken, about 200 ms of retries to open it.
int32_t SendSetNetworkRequest(const SetNetworkRequest& req, const TalqPorts& ports, const SetNetworkTimings& t);
