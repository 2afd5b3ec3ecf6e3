#include "config/assignment_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// White space by table: one load per byte instead of six comparisons.
struct SpaceTable {
  bool is[256] = {};
  constexpr SpaceTable() {
    for (unsigned char c : {' ', '\t', '\n', '\r', '\v', '\f'}) is[c] = true;
  }
};
constexpr SpaceTable kSpace;

bool IsSpace(unsigned char c) { return kSpace.is[c]; }

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

namespace {

// Cuts the bytes into lines (or pieces of at most kAssignmentLineSize - 1
// bytes) and parses each; the file reader and the in-memory entry share it.
class AssignmentSplitter {
 public:
  explicit AssignmentSplitter(const std::function<void(const AssignmentEntry&)>& each) : each_(each) {}

  void Feed(const char* data, size_t len) {
    while (len > 0) {
      size_t take = std::min(len, kAssignmentLineSize - 1 - n_);
      const void* lf = std::memchr(data, '\n', take);
      if (lf) take = static_cast<size_t>(static_cast<const char*>(lf) - data) + 1;
      std::memcpy(piece_ + n_, data, take);
      n_ += take;
      data += take;
      len -= take;
      if (lf || n_ == kAssignmentLineSize - 1) Flush();
    }
  }
  int32_t Finish() {
    Flush();
    return count_;
  }

 private:
  void Flush() {
    if (n_ > 0 && ParseAssignmentLine(piece_, n_, &entry_) == 0) {
      ++count_;
      if (each_) each_(entry_);
    }
    n_ = 0;
  }

  const std::function<void(const AssignmentEntry&)>& each_;
  char piece_[kAssignmentLineSize];
  size_t n_ = 0;
  int32_t count_ = 0;
  AssignmentEntry entry_;
};

}  // namespace

int32_t ParseAssignmentText(const char* data, size_t length, const std::function<void(const AssignmentEntry&)>& each) {
  AssignmentSplitter split(each);
  split.Feed(data, length);
  return split.Finish();
}

int32_t ReadAssignmentFile(const std::string& path, const std::function<void(const AssignmentEntry&)>& each) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return -1;
  AssignmentSplitter split(each);
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) split.Feed(buf, n);
  return split.Finish();
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
