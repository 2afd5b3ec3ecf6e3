#include "platform/tcp_socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/sockaddr_v4.h"
#include "platform/ticks.h"

namespace dk {
namespace {

// poll() for one event with a millisecond bound, restarted after signals
// with the time that is left. 1 ready, 0 time-out, -1 error.
int PollOne(int s, short events, uint32_t timeout_ms, short* revents) {
  TickTimer t;
  t.Start();
  for (;;) {
    uint32_t used = t.Elapsed();
    int left = used >= timeout_ms ? 0 : static_cast<int>(timeout_ms - used);
    pollfd p{s, events, 0};
    int r = ::poll(&p, 1, left);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (revents) *revents = p.revents;
    return r > 0 ? 1 : 0;
  }
}
}  // namespace

int TcpOpen() {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  return s < 0 ? -1 : s;
}

int TcpConnect(int s, uint32_t ip, uint16_t port, uint32_t timeout_ms) {
  if (s < 0) return -1;
  sockaddr_in a = MakeSockAddrV4(ip, port);
  int r;
  do {
    r = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return 0;
  if (errno != EINPROGRESS && errno != EALREADY) return -1;
  short rev = 0;
  if (PollOne(s, POLLOUT, timeout_ms, &rev) != 1) return -1;
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return -1;
  return 0;
}

int TcpSend(int s, const void* data, size_t len, uint32_t timeout_ms) {
  if (s < 0) return -1;
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  TickTimer t;
  t.Start();
  while (done < len) {
    ssize_t n = ::send(s, p + done, len - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      uint32_t used = t.Elapsed();
      if (used >= timeout_ms) return -1;
      if (PollOne(s, POLLOUT, timeout_ms - used, nullptr) < 0) return -1;
      continue;
    }
    return -1;
  }
  return static_cast<int>(done);
}

int TcpRecv(int s, void* buf, size_t cap) {
  if (s < 0) return -1;
  ssize_t n;
  do {
    n = ::recv(s, buf, cap, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? -2 : -1;
  return static_cast<int>(n);
}

int TcpWaitReadable(int s, uint32_t timeout_us) {
  if (s < 0) return -1;
  // poll has millisecond resolution; round a positive wait up so a 1000 us
  // wait is 1 ms, never a busy spin.
  uint32_t ms = (timeout_us + 999) / 1000;
  short rev = 0;
  int r = PollOne(s, POLLIN, ms, &rev);
  if (r <= 0) return r;
  if (rev & POLLNVAL) return -1;
  return 1;  // POLLIN, POLLHUP and POLLERR all make the next recv return
}

uint16_t TcpLocalPort(int s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (s < 0 || ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

int TcpListen(uint32_t ip, uint16_t port, int backlog) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (s < 0) return -1;
  int on = 1;
  (void)::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = MakeSockAddrV4(ip, port);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, backlog) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

int TcpAccept(int listener, uint32_t timeout_ms) {
  if (listener < 0) return -1;
  if (PollOne(listener, POLLIN, timeout_ms, nullptr) != 1) return -1;
  int c;
  do {
    c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  } while (c < 0 && errno == EINTR);
  return c < 0 ? -1 : c;
}

int TcpClose(int s) {
  if (s >= 0) ::close(s);
  return 0;
}

}  // namespace dk
