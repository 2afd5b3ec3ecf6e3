#pragma once
// The per-thread TALQ client: one UDP socket, the last parsed discovery reply
// and eight operations called through slots filled by the initialisers.
#include <cstdint>

#include "engine/devices/device_record.h"
#include "engine/talq/talq_wire.h"
#include "platform/socket.h"

struct TalqClient {
  int32_t socket;       // -1 when no socket is open; must stay the first field
  DeviceRecord parse;   // last successfully parsed discovery reply
  uint16_t bind_port;   // host order
  uint16_t dest_port;   // host order; 0 means 32154
  int32_t (*Close)(int32_t* socket);
  int32_t (*Wait)(TalqClient* c, int32_t seconds, int32_t microseconds);
  int32_t (*RecvDiscovery)(TalqClient* c);
  int32_t (*RecvResult)(int32_t* socket);
  int32_t (*Broadcast)(TalqClient* c);
  int32_t (*SetNetwork)(TalqClient* c, const SetNetworkRequest* req);
  int32_t (*SetNetworkType3)(TalqClient* c, const SetNetworkType3Request* req);
  int32_t (*Command5)(TalqClient* c, const Command5Request* req);
  // Adapters every request leaves through, read when the client opens.
  dk::BroadcastAdapters adapters;
};

// Every request goes out of each IPv4 adapter that is up (see
// dk::UdpSendToAdapters); a send succeeds when at least one copy left.
// Opens on 0.0.0.0:32153, requests to 32154. 0 or -1.
int32_t TALQCLIENT_Open(TalqClient* c);
// Opens on 0.0.0.0:bind_port, requests to dest_port (0 means 32154). 0 or -1.
int32_t TALQCLIENT_OpenPorts(TalqClient* c, uint16_t bind_port, uint16_t dest_port);

int32_t TALQCLIENT_Close(int32_t* socket);
int32_t TALQCLIENT_Wait(TalqClient* c, int32_t seconds, int32_t microseconds);
int32_t TALQCLIENT_RecvDiscovery(TalqClient* c);
int32_t TALQCLIENT_RecvResult(int32_t* socket);
int32_t TALQCLIENT_Broadcast(TalqClient* c);
int32_t TALQCLIENT_SetNetwork(TalqClient* c, const SetNetworkRequest* req);
int32_t TALQCLIENT_SetNetworkType3(TalqClient* c, const SetNetworkType3Request* req);
int32_t TALQCLIENT_Command5(TalqClient* c, const Command5Request* req);

// Trace datagrams to 255.255.255.255:514, sent only while tracing is on
// (off by default; the window turns it on when XDEBUG_SERVER_ENABLE is 1).
void TalqSetTraceEnabled(bool on);
bool TalqTraceEnabled();
void TalqTrace(int32_t value);

// Where requests and traces go. Always 255.255.255.255 in the product; tests
// on a single loopback namespace point it at 127.0.0.1.
void TalqSetRequestAddress(uint32_t ip);
uint32_t TalqRequestAddress();
