#include "platform/socket_wait.h"

#include <sys/select.h>

#include <cerrno>

#include "platform/ticks.h"

namespace dk {

int SocketWaitAnyReadable(const int* sockets, size_t count, uint32_t timeout_ms) {
  fd_set rd;
  FD_ZERO(&rd);
  int maxfd = -1;
  for (size_t i = 0; i < count; ++i) {
    const int s = sockets[i];
    if (s < 0) continue;
    if (s >= FD_SETSIZE) return -1;
    FD_SET(s, &rd);
    if (s > maxfd) maxfd = s;
  }
  if (maxfd < 0) {
    SleepMs(timeout_ms);
    return 0;
  }
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout_ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((timeout_ms % 1000) * 1000);
  const int r = ::select(maxfd + 1, &rd, nullptr, nullptr, &tv);
  if (r < 0) return errno == EINTR ? 0 : -1;
  return r;
}

}  // namespace dk
