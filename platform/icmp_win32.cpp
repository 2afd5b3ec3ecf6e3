#include "platform/icmp.h"

namespace dk {

// Windows has no unprivileged ICMP socket of this kind. The inventory takes
// the system "ping" through the process runner instead, which Wine and every
// Windows version answer the same way.
IcmpEchoSocket::~IcmpEchoSocket() { Close(); }

void IcmpEchoSocket::Close() {
  fd_ = -1;
  kind_ = IcmpKind::kNone;
}

bool IcmpEchoSocket::Open() {
  Close();
  return false;
}

int32_t IcmpEchoSocket::Echo(uint32_t, int, int, const StopFlag*) { return -1; }

}  // namespace dk
