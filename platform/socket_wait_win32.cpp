// Winsock's select() takes up to FD_SETSIZE sockets per set; ours holds more
// than the default 64, for a poll loop over many clients.
#define FD_SETSIZE 1024
#include <winsock2.h>

#include "platform/socket_wait.h"
#include "platform/ticks.h"

namespace dk {

int SocketWaitAnyReadable(const int* sockets, size_t count, uint32_t timeout_ms) {
  fd_set rd;
  FD_ZERO(&rd);
  u_int n = 0;
  for (size_t i = 0; i < count; ++i) {
    if (sockets[i] < 0) continue;
    if (n >= FD_SETSIZE) return -1;
    FD_SET(static_cast<SOCKET>(static_cast<unsigned>(sockets[i])), &rd);
    ++n;
  }
  // Winsock refuses a select on no sockets at all.
  if (n == 0) {
    SleepMs(timeout_ms);
    return 0;
  }
  timeval tv{};
  tv.tv_sec = static_cast<long>(timeout_ms / 1000);
  tv.tv_usec = static_cast<long>((timeout_ms % 1000) * 1000);
  const int r = ::select(0, &rd, nullptr, nullptr, &tv);
  return r == SOCKET_ERROR ? -1 : r;
}

}  // namespace dk
