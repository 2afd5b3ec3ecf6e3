// The socket layer on Winsock 2. Handles are SOCKET values, which Windows
// keeps small, so they fit the int handles of the interface (-1 for none).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <cstdio>
#include <cstring>

#include "platform/sockaddr_v4.h"
#include "platform/socket.h"

namespace dk {
namespace {

SOCKET Sock(int s) { return static_cast<SOCKET>(static_cast<unsigned>(s)); }

int Handle(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

}  // namespace

int SocketLibraryStartup() {
  // Once per process; the library stays started until the process ends.
  static const int rc = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0 ? 0 : -1;
  }();
  return rc;
}

int UdpOpen() {
  if (SocketLibraryStartup() != 0) return -1;
  // Not inherited: the ping and arp children must not hold our ports.
  SOCKET s = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return -1;
  // An ICMP "port unreachable" for an earlier datagram must not fail the
  // next receive (Windows reports it as WSAECONNRESET there).
  BOOL off = FALSE;
  DWORD got = 0;
  (void)::WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &got, nullptr, nullptr);
  return Handle(s);
}

int SocketBind(int s, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeSockAddrV4(ip, port);
  return ::bind(Sock(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : -1;
}

int UdpSetBroadcast(int s) {
  BOOL on = TRUE;
  return ::setsockopt(Sock(s), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0 ? 0
                                                                                                               : -1;
}

int SocketSetRecvBuffer(int s, int bytes) {
  return ::setsockopt(Sock(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) == 0 ? 0
                                                                                                                : -1;
}

int UdpSendTo(int s, const void* data, size_t len, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeSockAddrV4(ip, port);
  int n = ::sendto(Sock(s), static_cast<const char*>(data), static_cast<int>(len), 0, reinterpret_cast<sockaddr*>(&a),
                   sizeof a);
  return n == SOCKET_ERROR ? -1 : n;
}

int UdpSendToAdapters(int s, const BroadcastAdapters& adapters, const void* data, size_t len, uint32_t ip,
                      uint16_t port) {
  if (ip != IpBroadcast() || adapters.count < 0) {
    return UdpSendTo(s, data, len, ip, port) == static_cast<int>(len) ? 1 : 0;
  }
  // IP_UNICAST_IF picks the adapter a datagram leaves through (the index in
  // network byte order for IPv4); 0 gives the choice back to the routing table.
  int sent = 0;
  bool pinned = false;
  for (int i = 0; i < adapters.count && i < kMaxBroadcastAdapters; ++i) {
    DWORD index = htonl(adapters.index[i]);
    if (::setsockopt(Sock(s), IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index), sizeof index) != 0)
      continue;
    pinned = true;
    if (UdpSendTo(s, data, len, ip, port) == static_cast<int>(len)) ++sent;
  }
  if (pinned) {
    DWORD any = 0;
    (void)::setsockopt(Sock(s), IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&any), sizeof any);
  } else if (adapters.count > 0) {
    // The option is not there: one copy the plain way.
    return UdpSendTo(s, data, len, ip, port) == static_cast<int>(len) ? 1 : 0;
  }
  return sent;
}

int UdpRecvFrom(int s, void* buf, size_t cap, uint32_t* from_ip, uint16_t* from_port) {
  sockaddr_in a{};
  int alen = sizeof a;
  int n = ::recvfrom(Sock(s), static_cast<char*>(buf), static_cast<int>(cap), 0, reinterpret_cast<sockaddr*>(&a),
                     &alen);
  if (n == SOCKET_ERROR) {
    // A datagram longer than the buffer: the first cap bytes are there, as a
    // POSIX receive would give them.
    if (::WSAGetLastError() != WSAEMSGSIZE) return -1;
    n = static_cast<int>(cap);
  }
  if (from_ip) std::memcpy(from_ip, &a.sin_addr.s_addr, 4);
  if (from_port) *from_port = ntohs(a.sin_port);
  return n;
}

int SocketWaitReadable(int s, long seconds, long microseconds) {
  if (s < 0) {
    std::fprintf(stderr, "select: Bad file descriptor\n");
    return -1;
  }
  fd_set rd;
  FD_ZERO(&rd);
  FD_SET(Sock(s), &rd);
  timeval tv{seconds, microseconds};
  int r = ::select(0, &rd, nullptr, nullptr, &tv);
  if (r == SOCKET_ERROR) {
    std::fprintf(stderr, "select: Winsock error %d\n", ::WSAGetLastError());
    return -1;
  }
  return r > 0 ? 1 : 0;
}

int SocketClose(int s) {
  if (s >= 0) ::closesocket(Sock(s));
  return 0;
}

}  // namespace dk
