#include "config/assignment_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

int32_t IsDottedQuadText(const char* text, size_t length) {
  if (text == nullptr || length == 0) return 0;
  int digits = 0, dots = 0, groups = 1;
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      if (++digits >= 4) return 0;
    } else if (c == '.') {
      digits = 0;
      ++dots;
      ++groups;
    } else {
      return 0;
    }
  }
  return dots == 3 && groups == 4 ? 1 : 0;
}

int32_t ParseAssignmentLine(const char* line, size_t length, AssignmentEntry* out) {
  const char* end = static_cast<const char*>(std::memchr(line, 0, length));
  if (end) length = static_cast<size_t>(end - line);
  std::string fields[6];
  size_t p = 0;
  for (int f = 0; f < 6; ++f) {
    while (p < length && IsSpace(static_cast<unsigned char>(line[p]))) ++p;
    if (p == length) return -1;  // fewer than six fields
    const size_t start = p;
    while (p < length && !IsSpace(static_cast<unsigned char>(line[p]))) ++p;
    if (p - start > kAssignmentFieldMax) return -1;
    fields[f].assign(line + start, p - start);
  }
  if (!IsDottedQuadText(fields[2].data(), fields[2].size())) return -1;
  for (char& c : fields[1])
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (fields[1] != "STATIC" && fields[1] != "DHCP") return -1;
  for (int f = 3; f < 6; ++f)
    if (!IsDottedQuadText(fields[f].data(), fields[f].size())) return -1;
  out->mac = std::move(fields[0]);
  out->type = std::move(fields[1]);
  out->ip = std::move(fields[2]);
  out->subnet_mask = std::move(fields[3]);
  out->gateway = std::move(fields[4]);
  out->dns_server = std::move(fields[5]);
  return 0;
}

int32_t ReadAssignmentFile(const std::string& path, const std::function<void(const AssignmentEntry&)>& each) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return -1;
  int32_t count = 0;
  char piece[kAssignmentLineSize];
  size_t n = 0;
  AssignmentEntry entry;
  auto flush = [&] {
    if (n > 0 && ParseAssignmentLine(piece, n, &entry) == 0) {
      ++count;
      if (each) each(entry);
    }
    n = 0;
  };
  int c;
  while ((c = std::getc(f.get())) != EOF) {
    piece[n++] = static_cast<char>(c);
    if (c == '\n' || n == kAssignmentLineSize - 1) flush();
  }
  flush();
  return count;
}

int32_t LoadAssignmentFile(const std::string& path, std::vector<AssignmentEntry>* out) {
  out->clear();
  return ReadAssignmentFile(path, [out](const AssignmentEntry& e) { out->push_back(e); });
}

int32_t AssignmentNetworkType(const AssignmentEntry& e) { return e.type == "STATIC" ? 1 : 0; }

std::string AssignmentNumberText(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%4d", n);
  return buf;
}
