#include "sim/sim_netlink.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dksim {
namespace {

constexpr uint32_t kBatch = 256;         // requests per send
constexpr int kAckWaitMs = 3000;         // per batch
constexpr int kSocketBuffer = 4 << 20;

void PutU8(std::vector<uint8_t>* o, uint8_t v) { o->push_back(v); }
// Netlink is a host-order kernel interface.
void PutU16(std::vector<uint8_t>* o, uint16_t v) {
  uint8_t b[2];
  std::memcpy(b, &v, 2);
  o->insert(o->end(), b, b + 2);
}
void PutU32(std::vector<uint8_t>* o, uint32_t v) {
  uint8_t b[4];
  std::memcpy(b, &v, 4);
  o->insert(o->end(), b, b + 4);
}
uint32_t GetU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
uint16_t GetU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

void PutAddrAttr(std::vector<uint8_t>* o, uint16_t type, uint32_t ip) {
  PutU16(o, 8);  // rtattr header + 4 bytes, already aligned
  PutU16(o, type);
  uint8_t b[4];
  std::memcpy(b, &ip, 4);  // network order as held
  o->insert(o->end(), b, b + 4);
}

}  // namespace

size_t BuildAddressRequest(bool add, int ifindex, uint32_t ip, uint32_t seq, std::vector<uint8_t>* out) {
  const size_t start = out->size();
  const uint16_t flags = add ? (NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_REPLACE) : (NLM_F_REQUEST | NLM_F_ACK);
  PutU32(out, 0);  // length, patched below
  PutU16(out, add ? RTM_NEWADDR : RTM_DELADDR);
  PutU16(out, flags);
  PutU32(out, seq);
  PutU32(out, 0);  // port id: the kernel fills it
  // ifaddrmsg
  PutU8(out, AF_INET);
  PutU8(out, 32);
  PutU8(out, 0);
  PutU8(out, RT_SCOPE_UNIVERSE);
  PutU32(out, static_cast<uint32_t>(ifindex));
  PutAddrAttr(out, IFA_LOCAL, ip);
  PutAddrAttr(out, IFA_ADDRESS, ip);
  const uint32_t len = static_cast<uint32_t>(out->size() - start);
  std::memcpy(out->data() + start, &len, 4);
  return len;
}

AddressManager::~AddressManager() {
  if (fd_ >= 0) ::close(fd_);
}

int AddressManager::Open(const std::string& ifname, std::string* error) {
  ifindex_ = static_cast<int>(if_nametoindex(ifname.c_str()));
  if (ifindex_ == 0) {
    *error = "no interface " + ifname;
    return -1;
  }
  fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd_ < 0) {
    *error = std::string("netlink socket: ") + std::strerror(errno);
    return -1;
  }
  sockaddr_nl sa{};
  sa.nl_family = AF_NETLINK;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    *error = std::string("netlink bind: ") + std::strerror(errno);
    return -1;
  }
  int one = 1;
  (void)::setsockopt(fd_, SOL_NETLINK, NETLINK_CAP_ACK, &one, sizeof one);
  int buf = kSocketBuffer;
  if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &buf, sizeof buf) != 0)
    (void)::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buf, sizeof buf);
  if (::setsockopt(fd_, SOL_SOCKET, SO_SNDBUFFORCE, &buf, sizeof buf) != 0)
    (void)::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &buf, sizeof buf);
  return 0;
}

void AddressManager::Want(uint32_t ip, bool add) { wanted_[ip] = add; }

int AddressManager::Flush(std::string* error) {
  if (fd_ < 0) {
    wanted_.clear();
    return 0;
  }
  std::vector<uint8_t> buf;
  buf.reserve(kBatch * 40);
  std::vector<std::pair<uint32_t, bool>> batch;
  int refused = 0;
  auto send = [&]() -> int {
    if (batch.empty()) return 0;
    const uint32_t first = seq_;
    seq_ += static_cast<uint32_t>(batch.size());
    const int r = SendBatch(buf, first, static_cast<uint32_t>(batch.size()), error);
    if (r < 0) return -1;
    refused += r;
    for (const auto& [ip, add] : batch) {
      if (add) present_.insert(ip);
      else present_.erase(ip);
    }
    buf.clear();
    batch.clear();
    return 0;
  };
  for (const auto& [ip, add] : wanted_) {
    if (add == (present_.count(ip) != 0)) continue;
    BuildAddressRequest(add, ifindex_, ip, seq_ + static_cast<uint32_t>(batch.size()), &buf);
    batch.emplace_back(ip, add);
    if (batch.size() >= kBatch && send() < 0) return -1;
  }
  if (send() < 0) return -1;
  wanted_.clear();
  return refused;
}

int AddressManager::SendBatch(const std::vector<uint8_t>& buf, uint32_t first_seq, uint32_t count,
                              std::string* error) {
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
      static_cast<ssize_t>(buf.size())) {
    *error = std::string("netlink send: ") + std::strerror(errno);
    return -1;
  }
  uint32_t acked = 0;
  int refused = 0;
  alignas(4) uint8_t rx[65536];
  int waits = 0;
  while (acked < count) {
    pollfd p{fd_, POLLIN, 0};
    const int pr = ::poll(&p, 1, kAckWaitMs);
    if (pr <= 0) {
      if (pr < 0 && errno == EINTR && ++waits < 8) continue;
      *error = "netlink: no answer from the kernel";
      return -1;
    }
    const ssize_t n = ::recv(fd_, rx, sizeof rx, 0);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      *error = std::string("netlink recv: ") + std::strerror(errno);
      return -1;
    }
    size_t off = 0;
    while (off + 16 <= static_cast<size_t>(n)) {
      const uint32_t len = GetU32(rx + off);
      const uint16_t type = GetU16(rx + off + 4);
      const uint32_t seq = GetU32(rx + off + 8);
      if (len < 16 || off + len > static_cast<size_t>(n)) break;
      if (type == NLMSG_ERROR && len >= 20 && seq >= first_seq && seq < first_seq + count) {
        int32_t err;
        std::memcpy(&err, rx + off + 16, 4);
        ++acked;
        // Already there / already gone is what we wanted anyway.
        if (err != 0 && err != -EEXIST && err != -EADDRNOTAVAIL) {
          ++refused;
          if (error->empty()) *error = std::string("netlink: ") + std::strerror(-err);
        }
      }
      off += (len + 3u) & ~3u;
    }
  }
  return refused;
}

}  // namespace dksim
