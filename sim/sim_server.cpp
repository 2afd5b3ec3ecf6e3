#include "sim/sim_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/devices/device_record.h"

namespace dksim {
namespace {

// epoll tags: the top byte says what the rest indexes.
enum Tag : uint64_t {
  kTagUdp = 1, kTagListen = 2, kTagConn = 3, kTagTimer = 4, kTagSignal = 5, kTagPid = 6, kTagRtspListen = 7, kTagSilent = 8
};
uint64_t Key(Tag t, uint64_t v) { return (uint64_t(t) << 56) | (v & ((uint64_t(1) << 56) - 1)); }
Tag KeyTag(uint64_t k) { return static_cast<Tag>(k >> 56); }
uint64_t KeyValue(uint64_t k) { return k & ((uint64_t(1) << 56) - 1); }

constexpr int kSocketBuffer = 8 << 20;
constexpr size_t kReadChunk = 65536;
constexpr int kUdpBatch = 512;      // datagrams taken per wake-up
constexpr int kAcceptBatch = 256;
constexpr size_t kReadBudget = 1 << 20;  // bytes per connection per wake-up
constexpr uint64_t kEarlyUs = 200;       // timers run this much ahead of their time

void SetBuffers(int fd) {
  int v = kSocketBuffer;
  if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &v, sizeof v) != 0)
    (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &v, sizeof v);
  if (::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &v, sizeof v) != 0)
    (void)::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &v, sizeof v);
}

uint32_t AddrOf(const sockaddr_in& a) {
  uint32_t v;
  std::memcpy(&v, &a.sin_addr.s_addr, 4);
  return v;
}

}  // namespace

SimServer::SimServer(const ServerConfig& cfg) : cfg_(cfg) { start_us_ = cfg.start_us ? cfg.start_us : NowUs(); }

SimServer::~SimServer() {
  for (auto& [id, c] : conns_)
    if (c.fd >= 0) ::close(c.fd);
  for (int fd : udp_fds_) ::close(fd);
  for (int fd : listen_fds_) ::close(fd);
  for (int fd : {epoll_, timer_fd_, signal_fd_, pid_fd_})
    if (fd >= 0) ::close(fd);
}

uint64_t SimServer::NowUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

int SimServer::Setup(std::string* error) {
  auto fail = [&](const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    return -1;
  };
  ::signal(SIGPIPE, SIG_IGN);
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) return fail("epoll");
  auto watch = [&](int fd, uint64_t key, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = key;
    return epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
  };

  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set, s);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return fail("sigprocmask");
  signal_fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signal_fd_ < 0 || watch(signal_fd_, Key(kTagSignal, 0), EPOLLIN) != 0) return fail("signalfd");

  timer_fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (timer_fd_ < 0 || watch(timer_fd_, Key(kTagTimer, 0), EPOLLIN) != 0) return fail("timerfd");

  if (cfg_.exit_with_pid > 0) {
    pid_fd_ = static_cast<int>(::syscall(SYS_pidfd_open, cfg_.exit_with_pid, 0));
    if (pid_fd_ < 0) return fail("watching process " + std::to_string(cfg_.exit_with_pid));
    if (watch(pid_fd_, Key(kTagPid, 0), EPOLLIN) != 0) return fail("epoll pidfd");
  }

  if (!cfg_.iface.empty()) {
    if (addrs_.Open(cfg_.iface, error) != 0) return -1;
    manage_addrs_ = true;
  }

  for (size_t i = 0; i < cfg_.udp_ports.size(); ++i) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return fail("udp socket");
    udp_fds_.push_back(fd);
    udp_ports_.push_back(cfg_.udp_ports[i]);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0) return fail("SO_BROADCAST");
    if (::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one) != 0) return fail("IP_PKTINFO");
    // Replies leave from device addresses that the kernel may not hold yet
    // while an address change is in flight; freebind keeps the send legal.
    (void)::setsockopt(fd, IPPROTO_IP, IP_FREEBIND, &one, sizeof one);
    SetBuffers(fd);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(cfg_.udp_ports[i]);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
      return fail("bind udp port " + std::to_string(cfg_.udp_ports[i]));
    if (watch(fd, Key(kTagUdp, i), EPOLLIN) != 0) return fail("epoll udp");
  }

  std::set<uint16_t> ports = cfg_.web_ports;
  ports.insert(80);
  for (uint16_t port : ports) {
    if (port == 0) continue;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail("tcp socket");
    listen_fds_.push_back(fd);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return fail("bind tcp port " + std::to_string(port));
    if (::listen(fd, 4096) != 0) return fail("listen");
    if (watch(fd, Key(kTagListen, static_cast<uint64_t>(fd)), EPOLLIN) != 0) return fail("epoll listen");
  }
  for (uint16_t port : cfg_.av_ports) {
    if (port == 0 || ports.count(port)) continue;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail("tcp socket");
    listen_fds_.push_back(fd);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return fail("bind tcp port " + std::to_string(port));
    if (::listen(fd, 1024) != 0) return fail("listen");
    if (watch(fd, Key(kTagRtspListen, static_cast<uint64_t>(fd)), EPOLLIN) != 0) return fail("epoll listen");
  }
  return 0;
}

void SimServer::AddressUp(uint32_t ip) {
  if (manage_addrs_) addrs_.Want(ip, true);
}

void SimServer::AddressDown(uint32_t ip) {
  if (manage_addrs_) addrs_.Want(ip, false);
}

void SimServer::FlushAddresses() {
  if (!manage_addrs_ || !addrs_.dirty()) return;
  std::string err;
  const int r = addrs_.Flush(&err);
  if (r != 0) std::fprintf(stderr, "dravenkit-sim: address change: %s\n", err.c_str());
}

namespace {
// One datagram to 255.255.255.255:dst_port leaving from src_ip on ifindex.
void PrepareBroadcast(msghdr* m, sockaddr_in* to, iovec* iov, char* control, size_t control_len, int ifindex,
                      uint32_t src_ip, uint16_t dst_port, const uint8_t* data, size_t len) {
  std::memset(to, 0, sizeof *to);
  to->sin_family = AF_INET;
  to->sin_port = htons(dst_port);
  to->sin_addr.s_addr = INADDR_BROADCAST;
  iov->iov_base = const_cast<uint8_t*>(data);
  iov->iov_len = len;
  std::memset(control, 0, control_len);
  std::memset(m, 0, sizeof *m);
  m->msg_name = to;
  m->msg_namelen = sizeof *to;
  m->msg_iov = iov;
  m->msg_iovlen = 1;
  m->msg_control = control;
  m->msg_controllen = control_len;
  cmsghdr* c = CMSG_FIRSTHDR(m);
  c->cmsg_level = IPPROTO_IP;
  c->cmsg_type = IP_PKTINFO;
  c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo pi{};
  pi.ipi_ifindex = ifindex;
  std::memcpy(&pi.ipi_spec_dst.s_addr, &src_ip, 4);
  std::memcpy(CMSG_DATA(c), &pi, sizeof pi);
}
constexpr size_t kControlLen = CMSG_SPACE(sizeof(in_pktinfo));
constexpr size_t kSendBatch = 256;
}  // namespace

int SimServer::SendBroadcast(uint16_t local_port, uint32_t src_ip, uint16_t dst_port, const uint8_t* data,
                             size_t len) {
  FlushAddresses();  // a device that just moved sends from its new address
  int fd = -1;
  for (size_t i = 0; i < udp_ports_.size(); ++i)
    if (udp_ports_[i] == local_port) fd = udp_fds_[i];
  if (fd < 0 && !udp_fds_.empty()) fd = udp_fds_[0];
  if (fd < 0) return -1;
  if (batching_) {
    queued_.push_back(QueuedSend{fd, src_ip, dst_port, queued_bytes_.size(), len});
    queued_bytes_.insert(queued_bytes_.end(), data, data + len);
    if (queued_.size() >= kSendBatch) FlushSends();
    return 0;
  }
  sockaddr_in to;
  iovec iov;
  alignas(cmsghdr) char control[kControlLen];
  msghdr m;
  PrepareBroadcast(&m, &to, &iov, control, sizeof control, manage_addrs_ ? addrs_.ifindex() : 0, src_ip, dst_port,
                   data, len);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (::sendmsg(fd, &m, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(len)) return 0;
    if (errno != EAGAIN && errno != ENOBUFS && errno != EINTR) break;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 2);  // bounded: a full queue drains in microseconds on a veth
  }
  ++send_failures_;
  return -1;
}

void SimServer::FlushSends() {
  const int ifindex = manage_addrs_ ? addrs_.ifindex() : 0;
  size_t i = 0;
  while (i < queued_.size()) {
    // One sendmmsg per run of datagrams on the same socket.
    const int fd = queued_[i].fd;
    size_t n = 0;
    mmsghdr msgs[kSendBatch];
    sockaddr_in tos[kSendBatch];
    iovec iovs[kSendBatch];
    alignas(cmsghdr) static char controls[kSendBatch][kControlLen];
    while (i + n < queued_.size() && n < kSendBatch && queued_[i + n].fd == fd) {
      const QueuedSend& q = queued_[i + n];
      PrepareBroadcast(&msgs[n].msg_hdr, &tos[n], &iovs[n], controls[n], kControlLen, ifindex, q.src_ip, q.dst_port,
                       queued_bytes_.data() + q.offset, q.len);
      msgs[n].msg_len = 0;
      ++n;
    }
    size_t done = 0;
    int stalls = 0;
    while (done < n) {
      const int r = ::sendmmsg(fd, msgs + done, static_cast<unsigned>(n - done), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (r > 0) {
        done += static_cast<size_t>(r);
        continue;
      }
      if (r < 0 && (errno == EAGAIN || errno == ENOBUFS || errno == EINTR) && ++stalls < 3) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 2);
        continue;
      }
      if (r < 0 && errno != EAGAIN && errno != ENOBUFS && errno != EINTR) {
        // One refused datagram (its source address gone, say): skip it, keep the rest.
        ++send_failures_;
        ++done;
        stalls = 0;
        continue;
      }
      break;
    }
    send_failures_ += n - done;
    i += n;
  }
  queued_.clear();
  queued_bytes_.clear();
}

void SimServer::OnUdp(size_t index) {
  const int fd = udp_fds_[index];
  uint8_t buf[2048];
  for (int k = 0; k < kUdpBatch; ++k) {
    sockaddr_in from{};
    iovec iov{buf, sizeof buf};
    alignas(cmsghdr) char control[256];
    msghdr m{};
    m.msg_name = &from;
    m.msg_namelen = sizeof from;
    m.msg_iov = &iov;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &m, MSG_DONTWAIT);
    if (n < 0) return;
    uint32_t dst = INADDR_BROADCAST;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
        in_pktinfo pi;
        std::memcpy(&pi, CMSG_DATA(c), sizeof pi);
        std::memcpy(&dst, &pi.ipi_addr.s_addr, 4);
      }
    }
    // Oversized datagrams arrive truncated; their length field then disagrees.
    const size_t len = (m.msg_flags & MSG_TRUNC) ? sizeof buf + 1 : static_cast<size_t>(n);
    sim_->OnDatagram(udp_ports_[index], AddrOf(from), ntohs(from.sin_port), dst, buf,
                     len > sizeof buf ? sizeof buf : len);
  }
}

void SimServer::OnAccept(int listen_fd) {
  for (int k = 0; k < kAcceptBatch; ++k) {
    sockaddr_in peer{};
    socklen_t pl = sizeof peer;
    const int fd = ::accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &pl, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    sockaddr_in local{};
    socklen_t ll = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &ll);
    ConnInfo info;
    info.local_ip = AddrOf(local);
    info.local_port = ntohs(local.sin_port);
    info.peer_ip = AddrOf(peer);
    info.peer_port = ntohs(peer.sin_port);
    info.id = next_conn_++;
    const int dev = sim_->DeviceAt(info.local_ip, info.local_port);
    const char* refuse = nullptr;
    if (dev < 0) refuse = "no device at this address and port";
    else if (sim_->RefusesConnection(dev)) refuse = (sim_->device(dev).cfg.faults & kFaultHttpRefuse) ? "http-refuse fault" : "device not answering";
    else if (conns_.size() >= cfg_.max_conns) refuse = "too many connections";
    if (refuse) {
      sim_->LogHttp("http_refused", dev, info, refuse);
      linger lg{1, 0};  // RST instead of an orderly close
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
      ::close(fd);
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (sim_->device(dev).cfg.faults & (kFaultUploadCut | kFaultUploadStall)) {
      // A device's small buffer, not the kernel's tens of megabytes: when the
      // upload is cut or stalls half-way, the client cannot have written its
      // last byte yet, as on a real device (its window closes instead).
      int small = 64 * 1024;
      ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    Conn c;
    c.fd = fd;
    c.session = std::make_unique<HttpSession>(sim_, dev, info);
    c.opened_us = c.last_activity_us = NowUs();
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP;
    ev.data.u64 = Key(kTagConn, info.id);
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
      ::close(fd);
      continue;
    }
    const uint64_t id = info.id;
    conns_.emplace(id, std::move(c));
    sim_->LogHttp("http_accepted", dev, info, "");
    sim_->timers().At(NowUs() + 1000000, [this, id] { CheckConn(id); });
  }
}

void SimServer::OnRtspAccept(int listen_fd) {
  for (int k = 0; k < kAcceptBatch; ++k) {
    sockaddr_in peer{};
    socklen_t pl = sizeof peer;
    const int fd = ::accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &pl, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    sockaddr_in local{};
    socklen_t ll = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &ll);
    ConnInfo info;
    info.local_ip = AddrOf(local);
    info.local_port = ntohs(local.sin_port);
    info.peer_ip = AddrOf(peer);
    info.peer_port = ntohs(peer.sin_port);
    info.id = next_conn_++;
    int stream = 0;
    const int dev = AvDeviceAt(*sim_, info.local_ip, info.local_port, &stream);
    const char* refuse = nullptr;
    if (dev < 0) refuse = "no device at this address and port";
    else if (sim_->device(dev).state != DevState::kUp) refuse = "device not answering";
    else if (conns_.size() + silent_.size() >= cfg_.max_conns) refuse = "too many connections";
    if (refuse) {
      sim_->LogHttp("rtsp_refused", dev, info, refuse);
      linger lg{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
      ::close(fd);
      continue;
    }
    const SimDeviceConfig& cfg = sim_->device(dev).cfg;
    if (cfg.faults & kFaultRtspSilent) {
      epoll_event ev{};
      ev.events = EPOLLIN | EPOLLRDHUP;
      ev.data.u64 = Key(kTagSilent, info.id);
      if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
        ::close(fd);
        continue;
      }
      const uint64_t id = info.id;
      silent_.emplace(id, SilentConn{fd, info, dev});
      sim_->LogHttp("rtsp_silent", dev, info, "");
      sim_->timers().At(NowUs() + uint64_t(sim_->options().timings.http_hang_ms) * 1000, [this, id] { CloseSilent(id); });
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    RtspHandOver h;
    h.fd = fd;
    h.peer_ip = info.peer_ip;
    h.peer_port = info.peer_port;
    char mac[18];
    h.mac = FormatMacPlain(cfg.mac, mac);
    h.stream = stream;
    h.picture = PictureOfStream(stream, sim_->options().video_width, sim_->options().video_height);
    h.user = cfg.user;
    h.password = cfg.password;
    h.busy = (cfg.faults & kFaultRtspBusy) != 0;
    h.resize = (cfg.faults & kFaultRtspResize) != 0;
    h.refuse_auth = (cfg.faults & kFaultAuthRefuse) != 0;
    sim_->LogHttp("rtsp_accepted", dev, info, "stream " + std::to_string(stream));
    rtsp_.Hand(std::move(h));
  }
}

void SimServer::OnSilent(uint64_t id) {
  auto it = silent_.find(id);
  if (it == silent_.end()) return;
  uint8_t buf[4096];
  for (;;) {
    const ssize_t n = ::recv(it->second.fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n < 0 && errno == EINTR) continue;
    return CloseSilent(id);  // the viewer gave up
  }
}

void SimServer::CloseSilent(uint64_t id) {
  auto it = silent_.find(id);
  if (it == silent_.end()) return;
  sim_->LogHttp("rtsp_closed", it->second.dev, it->second.info, "");
  epoll_ctl(epoll_, EPOLL_CTL_DEL, it->second.fd, nullptr);
  ::close(it->second.fd);
  silent_.erase(it);
}

void SimServer::OnConn(uint64_t id, uint32_t events) {
  auto it = conns_.find(id);
  if (it == conns_.end()) return;
  Conn& c = it->second;
  if (c.stalled) {
    if (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) CloseConn(id, false);
    return;
  }
  if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
    uint8_t buf[kReadChunk];
    size_t budget = kReadBudget;
    while (budget > 0 && !c.read_closed) {
      const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        c.last_activity_us = NowUs();
        budget -= std::min(budget, static_cast<size_t>(n));
        if (!c.draining) c.session->OnBytes(buf, static_cast<size_t>(n));
        if (c.session->after() == HttpSession::After::kReset) break;
        if (c.session->stalled()) {
          // Leave the data in the socket, so the sender's window fills and
          // it sees a transfer that stands still.
          c.stalled = true;
          epoll_event ev{};
          ev.events = EPOLLRDHUP;
          ev.data.u64 = Key(kTagConn, id);
          epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
          return;
        }
      } else if (n == 0) {
        c.read_closed = true;
        if (!c.draining) c.session->OnPeerClosed();
      } else {
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        if (errno == EINTR) continue;
        CloseConn(id, false);  // reset by the peer or similar
        return;
      }
    }
  }
  Pump(id);
}

void SimServer::Pump(uint64_t id) {
  auto it = conns_.find(id);
  if (it == conns_.end()) return;
  Conn& c = it->second;
  HttpSession& s = *c.session;
  if (s.after() == HttpSession::After::kReset) return CloseConn(id, true);
  while (!c.waiting_delay) {
    if (c.pending_off >= c.pending.size()) {
      c.pending.clear();
      c.pending_off = 0;
      if (s.out().empty()) break;
      HttpSession::Out& o = s.out().front();
      if (o.delay_ms > 0) {
        const uint64_t delay_us = uint64_t(o.delay_ms) * 1000;
        o.delay_ms = 0;
        c.waiting_delay = true;
        sim_->timers().At(NowUs() + delay_us, [this, id] {
                            auto i2 = conns_.find(id);
                            if (i2 == conns_.end()) return;
                            i2->second.waiting_delay = false;
                            Pump(id);
                          });
        return;
      }
      c.pending = std::move(o.bytes);
      s.out().pop_front();
    }
    const ssize_t n = ::send(c.fd, c.pending.data() + c.pending_off, c.pending.size() - c.pending_off,
                             MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      c.pending_off += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!c.want_out) {
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP | EPOLLOUT;
        ev.data.u64 = Key(kTagConn, id);
        epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
        c.want_out = true;
      }
      return;
    }
    if (n < 0 && errno == EINTR) continue;
    return CloseConn(id, false);
  }
  if (c.waiting_delay) return;
  if (c.want_out) {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP;
    ev.data.u64 = Key(kTagConn, id);
    epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
    c.want_out = false;
  }
  if (s.after() == HttpSession::After::kClose && s.out().empty()) {
    if (c.read_closed) return CloseConn(id, false);
    if (!c.draining) {
      // Shut our side and read what the client still sends, so the close
      // does not turn into a reset that could eat the reply.
      ::shutdown(c.fd, SHUT_WR);
      c.draining = true;
      c.last_activity_us = NowUs();
    }
  }
}

void SimServer::CheckConn(uint64_t id) {
  auto it = conns_.find(id);
  if (it == conns_.end()) return;
  Conn& c = it->second;
  const uint64_t now = NowUs();
  const SimTimings& t = sim_->options().timings;
  const auto after = c.session->after();
  bool expired;
  if (c.draining) expired = now - c.last_activity_us >= uint64_t(t.drain_ms) * 1000;
  else if (after == HttpSession::After::kHang) expired = now - c.opened_us >= uint64_t(t.http_hang_ms) * 1000;
  else expired = now - c.last_activity_us >= uint64_t(t.http_idle_ms) * 1000;
  if (expired) {
    if (!c.draining) sim_->LogHttp("http_timeout", c.session->device(), c.session->info(), "");
    return CloseConn(id, false);
  }
  sim_->timers().At(now + 250000, [this, id] { CheckConn(id); });
}

void SimServer::CloseConn(uint64_t id, bool reset) {
  auto it = conns_.find(id);
  if (it == conns_.end()) return;
  Conn& c = it->second;
  if (reset) {
    linger lg{1, 0};
    ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  }
  epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
  ::close(c.fd);
  sim_->LogHttp(reset ? "http_reset" : "http_closed", c.session->device(), c.session->info(), "");
  conns_.erase(it);
}

void SimServer::ArmTimer(uint64_t due_us) {
  if (due_us == armed_us_) return;
  armed_us_ = due_us;
  itimerspec its{};
  if (due_us != UINT64_MAX) {
    // Zero would disarm; a timer already due fires at once.
    const uint64_t d = due_us == 0 ? 1 : due_us;
    its.it_value.tv_sec = static_cast<time_t>(d / 1000000u);
    its.it_value.tv_nsec = static_cast<long>((d % 1000000u) * 1000u);
  }
  timerfd_settime(timer_fd_, TFD_TIMER_ABSTIME, &its, nullptr);
}

int SimServer::WriteReady(std::string* error) {
  if (cfg_.ready_file.empty()) return 0;
  const std::string tmp = cfg_.ready_file + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) {
    *error = "cannot write " + tmp;
    return -1;
  }
  std::fprintf(f, "devices=%zu\naddresses=%zu\nsetup_ms=%llu\n", sim_->size(), addrs_.present(),
               static_cast<unsigned long long>((NowUs() - start_us_) / 1000));
  std::fclose(f);
  if (std::rename(tmp.c_str(), cfg_.ready_file.c_str()) != 0) {
    *error = "cannot rename " + tmp;
    return -1;
  }
  return 0;
}

int SimServer::Run(Simulator* sim) {
  sim_ = sim;
  sim_->Start();
  std::string err;
  if (manage_addrs_) {
    const int r = addrs_.Flush(&err);
    if (r != 0) {
      std::fprintf(stderr, "dravenkit-sim: adding device addresses: %s\n", err.c_str());
      return 1;
    }
  }
  const uint64_t setup_ms = (NowUs() - start_us_) / 1000;
  if (WriteReady(&err) != 0) {
    std::fprintf(stderr, "dravenkit-sim: %s\n", err.c_str());
    return 1;
  }
  if (sim_->log()->enabled())
    sim_->log()->Write(JsonLine(sim_->ElapsedMs(), "ready")
                           .Num("devices", static_cast<int64_t>(sim_->size()))
                           .Num("addresses", static_cast<int64_t>(addrs_.present()))
                           .Num("setup_ms", static_cast<int64_t>(setup_ms))
                           .Finish());
  std::printf("dravenkit-sim: ready: %zu devices, %zu addresses%s%s, %llu ms\n", sim_->size(), addrs_.present(),
              cfg_.iface.empty() ? "" : " on ", cfg_.iface.c_str(), static_cast<unsigned long long>(setup_ms));
  std::fflush(stdout);

  if (!cfg_.av_ports.empty()) rtsp_.Warm();
  epoll_event evs[256];
  int code = 0;
  while (!stop_) {
    FlushAddresses();
    ArmTimer(sim_->timers().Next());
    const int n = epoll_wait(epoll_, evs, 256, 1000);
    if (n < 0 && errno != EINTR) {
      std::perror("dravenkit-sim: epoll_wait");
      code = 1;
      break;
    }
    for (int i = 0; i < n; ++i) {
      const uint64_t key = evs[i].data.u64;
      switch (KeyTag(key)) {
        case kTagUdp:
          OnUdp(static_cast<size_t>(KeyValue(key)));
          break;
        case kTagListen:
          OnAccept(static_cast<int>(KeyValue(key)));
          break;
        case kTagConn:
          OnConn(KeyValue(key), evs[i].events);
          break;
        case kTagRtspListen:
          OnRtspAccept(static_cast<int>(KeyValue(key)));
          break;
        case kTagSilent:
          OnSilent(KeyValue(key));
          break;
        case kTagTimer: {
          uint64_t ticks;
          while (::read(timer_fd_, &ticks, sizeof ticks) > 0) {
          }
          armed_us_ = 0;
          break;
        }
        case kTagSignal: {
          signalfd_siginfo si;
          while (::read(signal_fd_, &si, sizeof si) == static_cast<ssize_t>(sizeof si)) stop_ = true;
          break;
        }
        case kTagPid:
          stop_ = true;
          break;
      }
    }
    // Timers a little ahead are run now: the replies of a burst go out together.
    batching_ = true;
    sim_->RunDue(kEarlyUs);
    batching_ = false;
    FlushSends();
  }

  for (auto it = conns_.begin(); it != conns_.end(); it = conns_.begin()) CloseConn(it->first, false);
  while (!silent_.empty()) CloseSilent(silent_.begin()->first);
  rtsp_.Stop();
  sim_->Stop();
  if (manage_addrs_) {
    const int r = addrs_.Flush(&err);
    if (r != 0) std::fprintf(stderr, "dravenkit-sim: removing device addresses: %s\n", err.c_str());
  }
  if (sim_->log()->enabled())
    sim_->log()->Write(JsonLine(sim_->ElapsedMs(), "stopped")
                           .Num("replies", static_cast<int64_t>(sim_->replies_sent()))
                           .Num("send_failures", static_cast<int64_t>(send_failures_))
                           .Num("max_late_us", static_cast<int64_t>(sim_->max_reply_lateness_us()))
                           .Finish());
  if (!cfg_.ready_file.empty()) std::remove(cfg_.ready_file.c_str());
  return code;
}

}  // namespace dksim
