#include "engine/talq/talq_client.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/socket.h"

namespace {

std::atomic<bool> g_trace_enabled{false};
std::atomic<uint32_t> g_request_ip{0xFFFFFFFFu};

const char kNotValidSocket[] =
    "TALQCLIENT_SetNetwork : Not valid socket, initialize TALQ before use this function.\n";

uint16_t DestPort(const TalqClient* c) { return c->dest_port ? c->dest_port : kTalqDestPort; }

// Copies that left whole (see dk::UdpSendToAdapters).
int SendEverywhere(TalqClient* c, const uint8_t* data, int len) {
  return dk::UdpSendToAdapters(c->socket, c->adapters, data, static_cast<size_t>(len), g_request_ip.load(),
                               DestPort(c));
}

int32_t SendRequest(TalqClient* c, const uint8_t* data, int len) { return SendEverywhere(c, data, len) > 0 ? 0 : -1; }

void FillSlots(TalqClient* c) {
  c->Close = &TALQCLIENT_Close;
  c->Wait = &TALQCLIENT_Wait;
  c->RecvDiscovery = &TALQCLIENT_RecvDiscovery;
  c->RecvResult = &TALQCLIENT_RecvResult;
  c->Broadcast = &TALQCLIENT_Broadcast;
  c->SetNetwork = &TALQCLIENT_SetNetwork;
  c->SetNetworkType3 = &TALQCLIENT_SetNetworkType3;
  c->Command5 = &TALQCLIENT_Command5;
}

int32_t OpenClient(TalqClient* c, uint16_t stored_bind, uint16_t stored_dest, uint16_t bind_port) {
  c->socket = -1;
  ZeroRecord(&c->parse);
  c->bind_port = stored_bind;
  c->dest_port = stored_dest;
  FillSlots(c);
  // Read per client, so an adapter that came up since the last run is used.
  (void)dk::ReadBroadcastAdapters(&c->adapters);
  int s = dk::UdpOpen();
  if (s < 0) return -1;
  c->socket = s;
  // A burst of replies from a large segment overflows the default buffer.
  (void)dk::SocketSetRecvBuffer(s, kTalqSocketRecvBuffer);
  if (dk::SocketBind(s, dk::kIpAny, bind_port) != 0) return -1;
  return dk::UdpSetBroadcast(s) == 0 ? 0 : -1;
}

}  // namespace

int32_t TALQCLIENT_OpenPorts(TalqClient* c, uint16_t bind_port, uint16_t dest_port) {
  return OpenClient(c, bind_port, dest_port, bind_port);
}

int32_t TALQCLIENT_Open(TalqClient* c) { return OpenClient(c, 0, 0, kTalqBindPort); }

int32_t TALQCLIENT_Close(int32_t* socket) {
  if (*socket > 0) dk::SocketClose(*socket);
  *socket = -1;
  return 0;
}

int32_t TALQCLIENT_Wait(TalqClient* c, int32_t seconds, int32_t microseconds) {
  int32_t r = dk::SocketWaitReadable(c->socket, seconds, microseconds);
  TalqTrace(r);
  TalqTrace(77);
  return r;
}

int32_t TALQCLIENT_RecvDiscovery(TalqClient* c) {
  uint8_t buf[kTalqRecvBufferSize] = {};
  uint32_t from = 0;
  int n = dk::UdpRecvFrom(c->socket, buf, sizeof buf, &from, nullptr);
  if (n < 0) return -1;
  return TalqParseDiscoveryReply(buf, static_cast<size_t>(n), from, &c->parse);
}

int32_t TALQCLIENT_RecvResult(int32_t* socket) {
  uint8_t buf[kTalqRecvBufferSize] = {};
  int n = dk::UdpRecvFrom(*socket, buf, sizeof buf, nullptr, nullptr);
  if (n < 0) return -1;
  return TalqParseResultReply(buf, static_cast<size_t>(n));
}

int32_t TALQCLIENT_Broadcast(TalqClient* c) {
  uint8_t req[kTalqDiscoveryRequestSize];
  int len = TalqBuildDiscoveryRequest(req, sizeof req);
  const bool sent = SendEverywhere(c, req, len) > 0;
  TalqTrace(sent ? len : -1);
  if (!sent) {
    std::fputs("broadcast error\n", stdout);
    return -1;
  }
  return 0;
}

int32_t TALQCLIENT_SetNetwork(TalqClient* c, const SetNetworkRequest* req) {
  if (c->socket < 0) {
    std::fputs(kNotValidSocket, stdout);
    return -1;
  }
  uint8_t buf[kTalqMaxRequest];
  int len = TalqBuildSetNetwork(*req, TalqCredentialRandom(), buf, sizeof buf);
  if (len < 0) {
    std::fputs("TALQCLIENT_SetNetwork : Invalid network type.\n", stdout);
    return -1;
  }
  return SendRequest(c, buf, len);
}

int32_t TALQCLIENT_SetNetworkType3(TalqClient* c, const SetNetworkType3Request* req) {
  if (c->socket < 0) {
    std::fputs(kNotValidSocket, stdout);
    return -1;
  }
  uint8_t buf[kTalqMaxRequest];
  int len = TalqBuildSetNetworkType3(*req, TalqCredentialRandom(), buf, sizeof buf);
  return len < 0 ? -1 : SendRequest(c, buf, len);
}

int32_t TALQCLIENT_Command5(TalqClient* c, const Command5Request* req) {
  if (c->socket < 0) {
    std::fputs(kNotValidSocket, stdout);
    return -1;
  }
  uint8_t buf[kTalqMaxRequest];
  int len = TalqBuildCommand5(*req, TalqCredentialRandom(), buf, sizeof buf);
  return len < 0 ? -1 : SendRequest(c, buf, len);
}

void TalqSetTraceEnabled(bool on) { g_trace_enabled.store(on); }
bool TalqTraceEnabled() { return g_trace_enabled.load(); }

void TalqTrace(int32_t value) {
  if (!g_trace_enabled.load(std::memory_order_relaxed)) return;
  int s = dk::UdpOpen();
  if (s < 0) return;
  uint8_t buf[kTalqTraceSize];
  TalqBuildTrace(value, buf);
  if (dk::UdpSetBroadcast(s) == 0) dk::UdpSendTo(s, buf, sizeof buf, g_request_ip.load(), kTalqTracePort);
  dk::SocketClose(s);
}

void TalqSetRequestAddress(uint32_t ip) { g_request_ip.store(ip); }
uint32_t TalqRequestAddress() { return g_request_ip.load(); }
