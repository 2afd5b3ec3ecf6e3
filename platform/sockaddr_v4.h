#pragma once
// Internal to platform/: our address convention to the sockets API's.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdint>
#include <cstring>

namespace dk {

// ip in network byte order (first octet first in memory), port in host order.
inline sockaddr_in MakeSockAddrV4(uint32_t ip, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  std::memcpy(&a.sin_addr.s_addr, &ip, 4);
  return a;
}

}  // namespace dk
