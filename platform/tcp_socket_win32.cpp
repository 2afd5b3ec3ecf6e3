// The TCP client layer on Winsock 2: non-blocking sockets, every wait a
// bounded select(). A failed connect shows in the exception set on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/sockaddr_v4.h"
#include "platform/socket.h"
#include "platform/tcp_socket.h"
#include "platform/ticks.h"

namespace dk {
namespace {

SOCKET Sock(int s) { return static_cast<SOCKET>(static_cast<unsigned>(s)); }

int Handle(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

enum Wait { kRead = 1, kWrite = 2 };

// 1 ready (or failed: the next call tells), 0 time-out, -1 error.
int SelectOne(int s, int what, uint64_t timeout_us) {
  fd_set rd, wr, ex;
  FD_ZERO(&rd);
  FD_ZERO(&wr);
  FD_ZERO(&ex);
  if (what & kRead) FD_SET(Sock(s), &rd);
  if (what & kWrite) FD_SET(Sock(s), &wr);
  FD_SET(Sock(s), &ex);
  timeval tv{static_cast<long>(timeout_us / 1000000u), static_cast<long>(timeout_us % 1000000u)};
  int r = ::select(0, &rd, &wr, &ex, &tv);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

SOCKET NewStream() {
  if (SocketLibraryStartup() != 0) return INVALID_SOCKET;
  SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return s;
  u_long on = 1;
  if (::ioctlsocket(s, FIONBIO, &on) != 0) {
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

}  // namespace

int TcpOpen() { return Handle(NewStream()); }

int TcpConnect(int s, uint32_t ip, uint16_t port, uint32_t timeout_ms) {
  if (s < 0) return -1;
  sockaddr_in a = MakeSockAddrV4(ip, port);
  if (::connect(Sock(s), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return 0;
  const int err = ::WSAGetLastError();
  if (err != WSAEWOULDBLOCK && err != WSAEINPROGRESS && err != WSAEALREADY) return -1;
  fd_set wr, ex;
  FD_ZERO(&wr);
  FD_ZERO(&ex);
  FD_SET(Sock(s), &wr);
  FD_SET(Sock(s), &ex);
  timeval tv{static_cast<long>(timeout_ms / 1000u), static_cast<long>((timeout_ms % 1000u) * 1000u)};
  if (::select(0, nullptr, &wr, &ex, &tv) <= 0) return -1;
  if (FD_ISSET(Sock(s), &ex)) return -1;
  int so_error = 0;
  int len = sizeof so_error;
  if (::getsockopt(Sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &len) != 0 || so_error != 0)
    return -1;
  return 0;
}

int TcpSend(int s, const void* data, size_t len, uint32_t timeout_ms) {
  if (s < 0) return -1;
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  TickTimer t;
  t.Start();
  while (done < len) {
    const size_t chunk = len - done > 1u << 30 ? 1u << 30 : len - done;
    int n = ::send(Sock(s), p + done, static_cast<int>(chunk), 0);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      uint32_t used = t.Elapsed();
      if (used >= timeout_ms) return -1;
      if (SelectOne(s, kWrite, static_cast<uint64_t>(timeout_ms - used) * 1000u) < 0) return -1;
      continue;
    }
    return -1;
  }
  return static_cast<int>(done);
}

int TcpRecv(int s, void* buf, size_t cap) {
  if (s < 0) return -1;
  const int want = cap > 1u << 30 ? 1 << 30 : static_cast<int>(cap);
  int n = ::recv(Sock(s), static_cast<char*>(buf), want, 0);
  if (n == SOCKET_ERROR) return ::WSAGetLastError() == WSAEWOULDBLOCK ? -2 : -1;
  return n;
}

int TcpWaitReadable(int s, uint32_t timeout_us) {
  if (s < 0) return -1;
  return SelectOne(s, kRead, timeout_us);
}

uint16_t TcpLocalPort(int s) {
  sockaddr_in a{};
  int len = sizeof a;
  if (s < 0 || ::getsockname(Sock(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

int TcpListen(uint32_t ip, uint16_t port, int backlog) {
  SOCKET s = NewStream();
  if (s == INVALID_SOCKET) return -1;
  // No SO_REUSEADDR: on Windows it would let another program take the port.
  sockaddr_in a = MakeSockAddrV4(ip, port);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, backlog) != 0) {
    ::closesocket(s);
    return -1;
  }
  return Handle(s);
}

int TcpAccept(int listener, uint32_t timeout_ms) {
  if (listener < 0) return -1;
  if (SelectOne(listener, kRead, static_cast<uint64_t>(timeout_ms) * 1000u) != 1) return -1;
  SOCKET c = ::accept(Sock(listener), nullptr, nullptr);
  if (c == INVALID_SOCKET) return -1;
  // The accepted socket takes the listener's non-blocking mode; inheritance
  // is switched off by hand.
  (void)::SetHandleInformation(reinterpret_cast<HANDLE>(c), HANDLE_FLAG_INHERIT, 0);
  u_long on = 1;
  (void)::ioctlsocket(c, FIONBIO, &on);
  return Handle(c);
}

int TcpClose(int s) {
  if (s >= 0) ::closesocket(Sock(s));
  return 0;
}

}  // namespace dk
