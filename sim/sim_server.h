#pragma once
// The simulator's Linux side: one epoll loop with the TALQ sockets, one
// wildcard listener per web port, a timerfd driven by the simulation's timer
// queue, signals and the parent watch. Devices' addresses via netlink.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/sim_core.h"
#include "sim/sim_netlink.h"
#include "sim/sim_rtsp.h"

namespace dksim {

struct ServerConfig {
  std::string iface;                        // carries the device addresses; "" leaves addresses alone
  std::vector<uint16_t> udp_ports = {32154, 33000};
  std::set<uint16_t> web_ports;             // listeners (80 is always added)
  std::set<uint16_t> av_ports;              // RTSP listeners (a port that is also a web port stays web)
  std::string ready_file;                   // written once everything is up
  int exit_with_pid = 0;                    // end when this process ends
  uint32_t max_conns = 4096;
  uint64_t start_us = 0;                    // process start on the monotonic clock (0: construction)
};

class SimServer : public SimIo {
 public:
  explicit SimServer(const ServerConfig& cfg);
  ~SimServer() override;
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Sockets, signals, netlink. 0 or -1 with *error.
  int Setup(std::string* error);
  // Brings the simulation's devices up, writes the ready file, runs until a
  // stop signal (or the watched process ends), then takes the addresses off.
  // Returns the process exit code.
  int Run(Simulator* sim);

  // SimIo
  uint64_t NowUs() override;
  int SendBroadcast(uint16_t local_port, uint32_t src_ip, uint16_t dst_port, const uint8_t* data,
                    size_t len) override;
  void AddressUp(uint32_t ip) override;
  void AddressDown(uint32_t ip) override;

  uint64_t send_failures() const { return send_failures_; }

 private:
  struct Conn {
    int fd = -1;
    std::unique_ptr<HttpSession> session;
    std::string pending;       // bytes being written
    size_t pending_off = 0;
    bool waiting_delay = false;  // a pause of a split reply is running
    bool want_out = false;       // EPOLLOUT registered
    bool read_closed = false;
    bool draining = false;       // reply sent, write side shut
    bool stalled = false;        // no longer read ("upload-stall")
    uint64_t last_activity_us = 0;
    uint64_t opened_us = 0;
  };

  void FlushAddresses();
  void FlushSends();
  void OnUdp(size_t index);
  void OnAccept(int listen_fd);
  void OnRtspAccept(int listen_fd);
  void OnSilent(uint64_t id);
  void CloseSilent(uint64_t id);
  void OnConn(uint64_t id, uint32_t events);
  void Pump(uint64_t id);
  void CloseConn(uint64_t id, bool reset);
  void CheckConn(uint64_t id);
  void ArmTimer(uint64_t due_us);
  int WriteReady(std::string* error);

  ServerConfig cfg_;
  Simulator* sim_ = nullptr;
  AddressManager addrs_;
  bool manage_addrs_ = false;
  int epoll_ = -1;
  int timer_fd_ = -1;
  int signal_fd_ = -1;
  int pid_fd_ = -1;
  std::vector<int> udp_fds_;
  std::vector<uint16_t> udp_ports_;
  std::vector<int> listen_fds_;
  // "rtsp-silent" connections: held open and read, never answered.
  struct SilentConn {
    int fd;
    ConnInfo info;
    int dev;
  };
  std::unordered_map<uint64_t, SilentConn> silent_;
  RtspService rtsp_;
  std::unordered_map<uint64_t, Conn> conns_;
  uint64_t next_conn_ = 1;
  uint64_t armed_us_ = 0;
  bool stop_ = false;
  uint64_t send_failures_ = 0;
  // Replies of one timer run, sent together with sendmmsg.
  struct QueuedSend {
    int fd;
    uint32_t src_ip;
    uint16_t dst_port;
    size_t offset, len;
  };
  bool batching_ = false;
  std::vector<QueuedSend> queued_;
  std::vector<uint8_t> queued_bytes_;
  uint64_t start_us_ = 0;
};

}  // namespace dksim
