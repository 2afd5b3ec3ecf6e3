// The IP assignment file reader on arbitrary bytes, read as a file. Besides
// memory safety it checks what must hold for any input: every entry passes
// the line check, no field is longer than 63 characters or holds white
// space, and the file reader agrees with the line parser run over the pieces.
#include <stdlib.h>
#include <unistd.h>

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

std::string g_file;

void RemoveFile() { unlink(g_file.c_str()); }

bool FieldOk(const std::string& f) {
  if (f.empty() || f.size() > kAssignmentFieldMax) return false;
  for (char c : f)
    if (c == 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_file.empty()) {
    char tmpl[] = "/tmp/dk_fuzz_assign_XXXXXX";
    const int fd = mkstemp(tmpl);
    Check(fd >= 0, "temporary file");
    close(fd);
    g_file = tmpl;
    atexit(RemoveFile);
  }
  FILE* f = std::fopen(g_file.c_str(), "wb");
  Check(f != nullptr, "open for writing");
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  int32_t seen = 0;
  const int32_t n = ReadAssignmentFile(g_file, [&](const AssignmentEntry& e) {
    ++seen;
    for (const std::string* s : {&e.mac, &e.type, &e.ip, &e.subnet_mask, &e.gateway, &e.dns_server})
      Check(FieldOk(*s), "field");
    Check(e.type == "STATIC" || e.type == "DHCP", "type");
    for (const std::string* s : {&e.ip, &e.subnet_mask, &e.gateway, &e.dns_server})
      Check(IsDottedQuadText(s->data(), s->size()) == 1, "address text");
  });
  Check(n == seen, "count");

  // The same pieces through the line parser.
  int32_t direct = 0;
  size_t start = 0;
  AssignmentEntry e;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' || i + 1 - start == kAssignmentLineSize - 1) {
      direct += ParseAssignmentLine(reinterpret_cast<const char*>(data) + start, i + 1 - start, &e) == 0;
      start = i + 1;
    }
  }
  if (start < size) direct += ParseAssignmentLine(reinterpret_cast<const char*>(data) + start, size - start, &e) == 0;
  Check(direct == n, "file reader and line parser agree");
  return 0;
}
