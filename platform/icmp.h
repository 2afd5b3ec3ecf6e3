#pragma once
// ICMP echo ("ping") from our own socket, without a child process: an
// unprivileged datagram socket where the system allows one (Linux:
// net.ipv4.ping_group_range holds our group), else a raw socket when we are
// privileged. Where neither can be had, Open fails and the caller falls back
// to the system "ping" command.
#include <cstdint>

#include "platform/thread.h"

namespace dk {

enum class IcmpKind { kNone, kDatagram, kRaw };

class IcmpEchoSocket {
 public:
  IcmpEchoSocket() = default;
  ~IcmpEchoSocket();
  IcmpEchoSocket(const IcmpEchoSocket&) = delete;
  IcmpEchoSocket& operator=(const IcmpEchoSocket&) = delete;

  // Opens a socket of the first kind the system allows; false when none.
  bool Open();
  void Close();
  IcmpKind kind() const { return kind_; }

  // count echo requests to ip (network order), one after another, each
  // waiting at most timeout_ms for its own reply (replies to other sockets,
  // other addresses and earlier requests are skipped). 1 when every request
  // was answered, 0 when one was not (or stop was set), -1 when the socket
  // is not open or a request could not be sent.
  int32_t Echo(uint32_t ip, int count, int timeout_ms, const StopFlag* stop = nullptr);

 private:
  int fd_ = -1;
  IcmpKind kind_ = IcmpKind::kNone;
  uint16_t id_ = 0;   // the raw socket's echo identifier (the kernel's for datagram)
  uint16_t seq_ = 0;
};

}  // namespace dk
