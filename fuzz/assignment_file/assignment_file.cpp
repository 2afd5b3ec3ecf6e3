// The IP assignment file reader on arbitrary bytes, fed from memory through
// the same splitter and line parser the file reader uses. Besides
// memory safety it checks what must hold for any input: every entry passes
// the line check, no field is longer than 63 characters or holds white
// space, and the file reader agrees with the line parser run over the pieces.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/assignment_file.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "assignment_file: %s\n", what);
    abort();
  }
}

bool FieldOk(const std::string& f) {
  if (f.empty() || f.size() > kAssignmentFieldMax) return false;
  for (char c : f)
    if (c == 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t seen = 0;
  const int32_t n = ParseAssignmentText(reinterpret_cast<const char*>(data), size, [&](const AssignmentEntry& e) {
    ++seen;
    for (const std::string* s : {&e.mac, &e.type, &e.ip, &e.subnet_mask, &e.gateway, &e.dns_server})
      Check(FieldOk(*s), "field");
    Check(e.type == "STATIC" || e.type == "DHCP", "type");
    for (const std::string* s : {&e.ip, &e.subnet_mask, &e.gateway, &e.dns_server})
      Check(IsDottedQuadText(s->data(), s->size()) == 1, "address text");
  });
  Check(n == seen && n >= 0, "count");

  // The same pieces through the line parser.
  int32_t direct = 0;
  size_t start = 0;
  AssignmentEntry e;
  const char* text = reinterpret_cast<const char*>(data);
  while (start < size) {
    size_t len = std::min(size - start, kAssignmentLineSize - 1);
    if (const void* lf = std::memchr(text + start, '\n', len))
      len = static_cast<size_t>(static_cast<const char*>(lf) - (text + start)) + 1;
    direct += ParseAssignmentLine(text + start, len, &e) == 0;
    start += len;
  }
  Check(direct == n, "file reader and line parser agree");
  return 0;
}
