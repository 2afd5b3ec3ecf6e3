#pragma once
// Waiting on several sockets at once, so a poll loop can sleep until any of
// them has data instead of spinning.
#include <cstddef>
#include <cstdint>

namespace dk {

// select() for readability on the non-negative handles of sockets[0..count);
// negative handles are ignored. Returns the number of readable sockets, 0 on
// time-out (also when no handle is valid, after sleeping timeout_ms), -1 on error.
int SocketWaitAnyReadable(const int* sockets, size_t count, uint32_t timeout_ms);

}  // namespace dk
