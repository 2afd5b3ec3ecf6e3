// The parts of the socket layer that are the same on every system.
#include <vector>

#include "platform/adapters.h"
#include "platform/socket.h"

namespace dk {

uint32_t IpBroadcast() { return 0xFFFFFFFFu; }

int ReadBroadcastAdapters(BroadcastAdapters* out) {
  out->count = -1;
  std::vector<NetInterface> interfaces;
  if (ListInterfaces(&interfaces) < 0) return -1;
  int n = 0;
  for (const auto& ni : interfaces)
    if (IsDeviceAdapter(ni) && ni.index != 0 && n < kMaxBroadcastAdapters) out->index[n++] = ni.index;
  out->count = n;
  return n;
}

}  // namespace dk
