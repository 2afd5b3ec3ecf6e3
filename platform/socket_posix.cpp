#include "platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/sockaddr_v4.h"

namespace dk {

int SocketLibraryStartup() { return 0; }

int UdpOpen() {
  int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  return s < 0 ? -1 : s;
}

int SocketBind(int s, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeSockAddrV4(ip, port);
  return ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : -1;
}

int UdpSetBroadcast(int s) {
  // Linux refuses option values shorter than an int.
  int on = 1;
  return ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 ? 0 : -1;
}

int SocketSetRecvBuffer(int s, int bytes) {
  if (::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return -1;
#ifdef SO_RCVBUFFORCE
  // As root the system limit can be lifted; without the right this just fails.
  (void)::setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes);
#endif
  return 0;
}

int UdpSendTo(int s, const void* data, size_t len, uint32_t ip, uint16_t port) {
  sockaddr_in a = MakeSockAddrV4(ip, port);
  ssize_t n;
  do {
    n = ::sendto(s, data, len, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int>(n);
}

namespace {

int SendOutOf(int s, uint32_t if_index, const void* data, size_t len, const sockaddr_in& to) {
  iovec iov{const_cast<void*>(data), len};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr msg{};
  msg.msg_name = const_cast<sockaddr_in*>(&to);
  msg.msg_namelen = sizeof to;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  cmsghdr* cm = CMSG_FIRSTHDR(&msg);
  cm->cmsg_level = IPPROTO_IP;
  cm->cmsg_type = IP_PKTINFO;
  cm->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_ifindex = static_cast<int>(if_index);  // source address: the kernel's choice for that interface
  std::memcpy(CMSG_DATA(cm), &info, sizeof info);
  ssize_t n;
  do {
    n = ::sendmsg(s, &msg, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int>(n);
}

}  // namespace

int UdpSendToAdapters(int s, const BroadcastAdapters& adapters, const void* data, size_t len, uint32_t ip,
                      uint16_t port) {
  if (ip != IpBroadcast() || adapters.count < 0) {
    return UdpSendTo(s, data, len, ip, port) == static_cast<int>(len) ? 1 : 0;
  }
  const sockaddr_in to = MakeSockAddrV4(ip, port);
  int sent = 0;
  for (int i = 0; i < adapters.count && i < kMaxBroadcastAdapters; ++i)
    if (SendOutOf(s, adapters.index[i], data, len, to) == static_cast<int>(len)) ++sent;
  return sent;
}

int UdpRecvFrom(int s, void* buf, size_t cap, uint32_t* from_ip, uint16_t* from_port) {
  sockaddr_in a{};
  socklen_t alen = sizeof a;
  ssize_t n;
  do {
    n = ::recvfrom(s, buf, cap, 0, reinterpret_cast<sockaddr*>(&a), &alen);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -1;
  if (from_ip) std::memcpy(from_ip, &a.sin_addr.s_addr, 4);
  if (from_port) *from_port = ntohs(a.sin_port);
  return static_cast<int>(n);
}

int SocketWaitReadable(int s, long seconds, long microseconds) {
  if (s < 0 || s >= FD_SETSIZE) {
    errno = EBADF;
    std::perror("select");
    return -1;
  }
  fd_set rd;
  FD_ZERO(&rd);
  FD_SET(s, &rd);
  timeval tv{seconds, microseconds};
  int r = ::select(s + 1, &rd, nullptr, nullptr, &tv);
  if (r < 0) {
    std::perror("select");
    return -1;
  }
  return r > 0 ? 1 : 0;
}

int SocketClose(int s) {
  if (s >= 0) ::close(s);
  return 0;
}

}  // namespace dk
