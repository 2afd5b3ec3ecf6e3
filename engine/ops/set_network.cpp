#include "engine/ops/set_network.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "engine/talq/talq_client.h"

const char kSetNetworkNoAnswerText[] = "ip setting error 'no answer'";

std::string AdminIdProblem(const std::string& id) {
  if (id.size() <= kAdminIdMax) return "";
  return "Admin ID is too long (at most " + std::to_string(kAdminIdMax) + " bytes)";
}

std::string AdminPasswordProblem(const std::string& password) {
  if (password.size() <= kAdminPasswordMax) return "";
  return "Admin Password is too long (at most " + std::to_string(kAdminPasswordMax) + " bytes)";
}

namespace {
constexpr int kOpenAttempts = 10;
constexpr int kOpenRetryMs = 20;
}  // namespace

TalqPorts TalqPortPair(int index) {
  TalqPorts p;
  if (index != 0) {
    p.bind = kTalqAltBindPort;
    p.dest = kTalqAltDestPort;
  }
  return p;
}

SetNetworkOutcome SetNetworkOutcomeOf(int32_t result) {
  if (result == 0) return SetNetworkOutcome::kAccepted;
  if (result == 2) return SetNetworkOutcome::kAuthentication;
  if (result == kSetNetworkNoAnswer) return SetNetworkOutcome::kNoAnswer;
  if (result == kSetNetworkSendFailed) return SetNetworkOutcome::kSendFailed;
  return SetNetworkOutcome::kConfiguration;
}

const char* SetNetworkOutcomeName(SetNetworkOutcome o) {
  switch (o) {
    case SetNetworkOutcome::kAccepted: return "accepted";
    case SetNetworkOutcome::kAuthentication: return "authentication";
    case SetNetworkOutcome::kConfiguration: return "configuration";
    case SetNetworkOutcome::kNoAnswer: return "no-answer";
    case SetNetworkOutcome::kSendFailed: return "send-failed";
  }
  return "configuration";
}

int32_t FillSetNetworkRequest(const DeviceRecord& rec, int32_t network_type, const char* admin_id,
                              const char* admin_password, uint32_t ip, uint32_t subnet_mask, uint32_t gateway,
                              uint32_t dns_server, SetNetworkRequest* req) {
  const char* id = admin_id ? admin_id : "";
  const char* pw = admin_password ? admin_password : "";
  if (std::strlen(id) > kAdminIdMax || std::strlen(pw) > kAdminPasswordMax) return -1;
  std::memset(req, 0, sizeof *req);
  std::memcpy(req->mac, rec.mac, 6);
  req->device_byte = rec.device_byte;
  req->network_type = network_type;
  std::memcpy(req->admin_id, id, std::strlen(id));
  std::memcpy(req->admin_password, pw, std::strlen(pw));
  req->ip = ip;
  req->subnet_mask = subnet_mask;
  req->gateway = gateway;
  req->dns_server = dns_server;
  static_assert(sizeof req->pppoe_text1 == sizeof rec.pppoe_text1);
  static_assert(sizeof req->pppoe_text2 == sizeof rec.pppoe_text2);
  static_assert(sizeof req->pppoe_text3 == sizeof rec.pppoe_text3);
  std::memcpy(req->pppoe_text1, rec.pppoe_text1, sizeof req->pppoe_text1);
  std::memcpy(req->pppoe_text2, rec.pppoe_text2, sizeof req->pppoe_text2);
  std::memcpy(req->pppoe_text3, rec.pppoe_text3, sizeof req->pppoe_text3);
  req->pppoe_value1 = rec.pppoe_value1;
  req->pppoe_value2 = rec.pppoe_value2;
  req->pppoe_value3 = rec.pppoe_value3;
  return 0;
}

int32_t SendSetNetworkRequest(const SetNetworkRequest& req, const TalqPorts& ports, const SetNetworkTimings& t) {
  TalqClient client{};
  const TalqPorts defaults;
  const bool default_pair = ports.bind == defaults.bind && ports.dest == defaults.dest;
  // A process started from another thread in the meantime (ping) holds a
  // copy of a just-closed socket on the port until its exec; a few short
  // retries ride that out.
  int32_t r = -1;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kOpenRetryMs));
    r = default_pair ? TALQCLIENT_Open(&client) : TALQCLIENT_OpenPorts(&client, ports.bind, ports.dest);
    if (r == 0) break;
    TALQCLIENT_Close(&client.socket);
  }
  if (r != 0) return kSetNetworkSendFailed;
  if (client.SetNetwork(&client, &req) != 0) {
    client.Close(&client.socket);
    return kSetNetworkSendFailed;
  }
  int32_t result = kSetNetworkNoAnswer;
  if (client.Wait(&client, t.result_wait_s, t.result_wait_us) > 0) result = client.RecvResult(&client.socket);
  client.Close(&client.socket);
  return result;
}
