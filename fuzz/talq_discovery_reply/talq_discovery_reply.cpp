// Any bytes as a received discovery reply: the parser must stay inside the
// input and either reject it or fill every field.
#include <cstdint>
#include <cstring>

#include "engine/talq/talq_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DeviceRecord r;
  std::memset(&r, 0xA5, sizeof r);
  int res = TalqParseDiscoveryReply(data, size, IpFromOctets(10, 0, 0, 1), &r);
  if (res == 1) {
    // Texts must come back terminated within their fields.
    if (!std::memchr(r.model_name, 0, sizeof r.model_name) || !std::memchr(r.text2, 0, sizeof r.text2) ||
        !std::memchr(r.text3, 0, sizeof r.text3) || !std::memchr(r.pppoe_text1, 0, sizeof r.pppoe_text1) ||
        !std::memchr(r.pppoe_text2, 0, sizeof r.pppoe_text2) || !std::memchr(r.pppoe_text3, 0, sizeof r.pppoe_text3))
      __builtin_trap();
  } else if (res != -1 && res != -3 && (res < 0 || res > 255 || res == 5 || res == 1)) {
    __builtin_trap();
  }
  return 0;
}
