#pragma once
// Thin socket layer over POSIX sockets or Winsock 2. Addresses are IPv4 in network byte order (the
// first octet is the first byte in memory); ports are in host order.
#include <cstddef>
#include <cstdint>

namespace dk {

constexpr uint32_t kIpAny = 0;

// Starts the socket library once per process (WSAStartup on Windows; nothing
// to do elsewhere). 0, or -1 when sockets cannot be used at all.
int SocketLibraryStartup();
uint32_t IpBroadcast();  // 255.255.255.255

// UDP
int UdpOpen();  // socket handle, or -1
int SocketBind(int s, uint32_t ip, uint16_t port);  // 0 or -1
int UdpSetBroadcast(int s);                         // 0 or -1
int SocketSetRecvBuffer(int s, int bytes);          // 0 or -1
// Bytes sent, or -1.
int UdpSendTo(int s, const void* data, size_t len, uint32_t ip, uint16_t port);

// The adapters a limited broadcast leaves through, read when a client opens:
// every IPv4 adapter that is up and not loopback (IsDeviceAdapter), by index.
constexpr int kMaxBroadcastAdapters = 32;
struct BroadcastAdapters {  // plain data: a TalqClient holds one
  int32_t count;             // -1: the list could not be read, send the plain way
  uint32_t index[kMaxBroadcastAdapters];
};
// Reads the system's adapters into out; their count, or -1 (count stays -1).
int ReadBroadcastAdapters(BroadcastAdapters* out);
// For the limited broadcast with a readable list: one copy out of each adapter
// (IP_PKTINFO names the interface, so no route for 255.255.255.255 is
// needed); otherwise one plain sendto. Returns how many whole copies left.
int UdpSendToAdapters(int s, const BroadcastAdapters& adapters, const void* data, size_t len, uint32_t ip,
                      uint16_t port);
// Bytes received, or -1; from_ip / from_port may be null.
int UdpRecvFrom(int s, void* buf, size_t cap, uint32_t* from_ip, uint16_t* from_port);

// select() for readability on one socket: 1 readable, 0 time-out, -1 error
// (after a "select: ..." line on standard error).
int SocketWaitReadable(int s, long seconds, long microseconds);

int SocketClose(int s);  // 0

}  // namespace dk
