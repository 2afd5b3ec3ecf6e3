// Any bytes as a received result reply.
#include <cstdint>

#include "engine/talq/talq_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int res = TalqParseResultReply(data, size);
  if (res < -1 || res > 255) __builtin_trap();
  if (res >= 0 && size < 8) __builtin_trap();  // a cut datagram never counts as a result
  return 0;
}
