#include "platform/icmp.h"

#include <linux/filter.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>

namespace dk {

namespace {

constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kEchoReply = 0;
constexpr size_t kEchoSize = 16;  // 8 bytes of header, 8 of payload

uint16_t Checksum(const uint8_t* p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < n; i += 2) sum += static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
  if (n & 1) sum += static_cast<uint32_t>(p[n - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

// A raw ICMP socket sees every ICMP packet the host receives; this filter
// keeps only echo replies carrying our identifier, so many sockets at once
// do not each wake for all the others' replies.
bool AttachReplyFilter(int fd, uint16_t id) {
  sock_filter code[] = {
      BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),              // X = IP header length
      BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),               // ICMP type
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kEchoReply, 0, 3),
      BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),               // identifier
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, id, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
      BPF_STMT(BPF_RET | BPF_K, 0),
  };
  sock_fprog prog{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &prog, sizeof prog) == 0;
}

uint16_t NextRawId() {
  static std::atomic<uint32_t> counter{0};
  const uint32_t c = counter.fetch_add(1);
  return static_cast<uint16_t>((static_cast<uint32_t>(::getpid()) * 2654435761u + c * 40503u) & 0xFFFF);
}

}  // namespace

IcmpEchoSocket::~IcmpEchoSocket() { Close(); }

void IcmpEchoSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  kind_ = IcmpKind::kNone;
}

bool IcmpEchoSocket::Open() {
  Close();
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
  if (fd >= 0) {
    fd_ = fd;
    kind_ = IcmpKind::kDatagram;
    return true;
  }
  fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
  if (fd < 0) return false;
  id_ = NextRawId();
  if (!AttachReplyFilter(fd, id_)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  kind_ = IcmpKind::kRaw;
  return true;
}

int32_t IcmpEchoSocket::Echo(uint32_t ip, int count, int timeout_ms, const StopFlag* stop) {
  if (fd_ < 0) return -1;
  if (count < 1) count = 1;
  if (timeout_ms < 1) timeout_ms = 1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = ip;
  for (int i = 0; i < count; ++i) {
    if (stop && stop->IsSet()) return 0;
    const uint16_t seq = ++seq_;
    uint8_t req[kEchoSize] = {kEchoRequest, 0, 0, 0, static_cast<uint8_t>(id_ >> 8), static_cast<uint8_t>(id_),
                              static_cast<uint8_t>(seq >> 8), static_cast<uint8_t>(seq)};
    std::memcpy(req + 8, "dravenkt", 8);
    // The datagram socket's kernel sets the identifier and the checksum.
    if (kind_ == IcmpKind::kRaw) {
      const uint16_t sum = Checksum(req, sizeof req);
      req[2] = static_cast<uint8_t>(sum >> 8);
      req[3] = static_cast<uint8_t>(sum);
    }
    ssize_t sent;
    do {
      sent = ::sendto(fd_, req, sizeof req, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(sizeof req)) {
      // No route or no neighbour: the address cannot be reached, an answer of no.
      if (sent < 0 && (errno == EHOSTUNREACH || errno == ENETUNREACH || errno == EHOSTDOWN)) return 0;
      return -1;
    }
    // Our own clock, not the tick count tests may replace: the wait is a
    // few milliseconds of real time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    bool answered = false;
    while (!answered) {
      const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
      // Past the deadline the socket is still read once without waiting: a
      // thread that was not scheduled for a while must not miss a reply that
      // came in time and is queued.
      const bool late = left.count() <= 0;
      pollfd pfd{fd_, POLLIN, 0};
      const int pr = ::poll(&pfd, 1, late ? 0 : static_cast<int>((left.count() + 999) / 1000));
      if (pr < 0 && errno == EINTR) continue;
      if (pr <= 0) break;
      for (;;) {
        uint8_t buf[256];
        sockaddr_in from{};
        socklen_t fl = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
        if (n < 0) break;  // drained (or an error queued for the socket)
        size_t off = 0;
        if (kind_ == IcmpKind::kRaw) {
          if (n < 20) continue;
          off = static_cast<size_t>(buf[0] & 0x0F) * 4;
        }
        if (static_cast<size_t>(n) < off + 8 || from.sin_addr.s_addr != ip) continue;
        const uint8_t* icmp = buf + off;
        const uint16_t rid = static_cast<uint16_t>(icmp[4] << 8 | icmp[5]);
        const uint16_t rseq = static_cast<uint16_t>(icmp[6] << 8 | icmp[7]);
        if (icmp[0] != kEchoReply || rseq != seq || (kind_ == IcmpKind::kRaw && rid != id_)) continue;
        answered = true;
        break;
      }
      if (late) break;  // what was queued has been read
    }
    if (!answered) return 0;
  }
  return 1;
}

}  // namespace dk
