#pragma once
// The simulated devices' behaviour, free of sockets: what each device does
// with a datagram or an HTTP request, and when. The Linux server feeds it
// and carries out what it asks through SimIo.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/sim_device.h"
#include "sim/sim_events.h"
#include "sim/sim_fleet.h"
#include "sim/sim_http.h"
#include "sim/sim_wire.h"

namespace dksim {

// Every delay of the simulation; product-like values as defaults.
struct SimTimings {
  uint32_t spread_min_ms = 0;    // discovery reply delay, uniform in [min, max]
  uint32_t spread_max_ms = 100;
  uint32_t late_ms = 800;        // "late" devices add this to their delay
  uint32_t move_delay_ms = 1000; // accepted set-network -> new address
  uint32_t move_late_ms = 4000;  // "move-late" devices take this long instead
  uint32_t reset_delay_ms = 5000;   // factory default request -> back at 192.168.1.2 (silent meanwhile)
  uint32_t restart_ms = 10000;      // finished upload -> back with the new version (silent meanwhile)
  uint32_t grace_ms = 300;          // a going-silent device keeps its address this long, so its answer leaves
  uint32_t split_gap_ms = 50;       // "http-split": pause between the parts of a reply
  uint32_t refuse_delay_ms = 12000; // "factory-refuse-late": factory default request -> its 401
  uint32_t http_idle_ms = 30000;    // a connection without progress is closed
  uint32_t http_hang_ms = 120000;   // "http-hang": connection held at most this long
  uint32_t drain_ms = 2000;         // after the reply, unread input is drained this long
};

struct SimOptions {
  SimTimings timings;
  uint32_t dhcp_first;  // pool for set-network type 0 (network byte order)
  uint32_t dhcp_last;
  uint32_t dhcp_mask;
  uint32_t dhcp_gateway;
  uint32_t dhcp_dns;
  uint64_t seed = 1;
  std::string upload_dir;            // empty: uploaded images are counted and discarded
  int video_width = 640, video_height = 360;  // picture of every device's AV stream 1
  uint32_t max_pending_replies = 8;  // discovery replies queued per device
  bool log_each_discovery = true;    // false: one summary line per discovery request
  SimOptions();  // pool 10.77.200.1-10.77.250.254, mask 255.255.0.0, gateway and DNS 10.77.0.1
};

// What the simulation asks of the outside world.
class SimIo {
 public:
  virtual ~SimIo() = default;
  virtual uint64_t NowUs() = 0;  // monotonic
  // A datagram from src_ip to 255.255.255.255:dst_port, through the socket
  // bound to local_port. 0 sent, -1 not.
  virtual int SendBroadcast(uint16_t local_port, uint32_t src_ip, uint16_t dst_port, const uint8_t* data,
                            size_t len) = 0;
  // The devices' interface must now carry (or no longer carry) ip.
  virtual void AddressUp(uint32_t ip) = 0;
  virtual void AddressDown(uint32_t ip) = 0;
};

// Timers in one min-heap, run by the event loop.
class TimerQueue {
 public:
  using Fn = std::function<void()>;
  void At(uint64_t due_us, Fn fn);
  uint64_t Next() const;  // UINT64_MAX when empty
  // Runs every timer due at now_us (at most max of them); returns how many ran.
  int RunDue(uint64_t now_us, int max = 200000);
  size_t size() const { return heap_.size(); }

 private:
  struct Item {
    uint64_t due;
    uint64_t seq;
    Fn fn;
  };
  std::vector<Item> heap_;
  uint64_t seq_ = 0;
};

enum class DevState : uint8_t {
  kUp,      // answering
  kSilent,  // restarting or resetting; back later
  kDead,    // "move-silent" after its move: never answers again
};

struct SimDevice {
  SimDeviceConfig cfg;    // current settings; cfg.ip is the current address
  SimDeviceConfig fleet;  // as loaded: the factory credentials and ports
  DevState state = DevState::kUp;
  uint32_t held_ip = 0;   // address held on the interface; 0 none
  uint32_t epoch = 0;     // raised by each restart, reset and move; stale timers check it
  uint32_t pending = 0;   // discovery replies queued
  uint64_t answered = 0;
};

// Where an accepted connection came in and from.
struct ConnInfo {
  uint32_t local_ip = 0;
  uint16_t local_port = 0;
  uint32_t peer_ip = 0;
  uint16_t peer_port = 0;
  uint64_t id = 0;
};

// A device's decision on an HTTP request head.
struct HttpVerdict {
  enum Kind : uint8_t { kRespond, kReadBody, kUpload, kHang } kind = kRespond;
  int status = 200;
  std::string body;
  std::string content_type = "text/plain";
  std::string upload_field;  // kUpload: the form field that carries the image
  uint32_t delay_ms = 0;     // kRespond: the answer leaves this much later
  bool reset = false;        // kRespond: no answer, the connection is reset
};

struct UploadResult {
  bool body_complete = false;  // the whole body arrived and the multipart closed
  bool field_found = false;    // a part named like the expected field
  uint64_t body_bytes = 0;     // bytes of the request body
  uint64_t file_bytes = 0;     // bytes of the image part
  bool has_header = false;
  std::string version;
  std::string filename;
  std::string saved_path;
};

class Simulator {
 public:
  Simulator(std::vector<SimDeviceConfig> fleet, const SimOptions& opt, SimIo* io, EventLog* log);

  // Brings every device up (its address onto the interface).
  void Start();
  // Takes every address off again.
  void Stop();

  // A datagram for local_port from from_ip:from_port, sent to dst_ip.
  void OnDatagram(uint16_t local_port, uint32_t from_ip, uint16_t from_port, uint32_t dst_ip, const uint8_t* data,
                  size_t len);

  TimerQueue& timers() { return timers_; }
  // Runs timers due by now + early_us; returns the next due time (UINT64_MAX none).
  uint64_t RunDue(uint64_t early_us = 0);

  // The device answering connections to local_ip:local_port, or -1.
  int DeviceAt(uint32_t local_ip, uint16_t local_port) const;
  // Should a connection to device dev be reset at once (fault or not answering)?
  bool RefusesConnection(int dev) const;

  HttpVerdict OnHttpHead(int dev, const ConnInfo& c, const HttpHead& h);
  HttpVerdict OnHttpBody(int dev, const ConnInfo& c, const HttpHead& h, const std::string& body);
  HttpVerdict OnUploadEnd(int dev, const ConnInfo& c, const UploadResult& r);
  void OnUploadCut(int dev, const ConnInfo& c, uint64_t body_bytes);
  void LogHttp(const char* event, int dev, const ConnInfo& c, const std::string& detail);

  size_t size() const { return devices_.size(); }
  const SimDevice& device(int i) const { return devices_[static_cast<size_t>(i)]; }
  int FindByMac(const uint8_t mac[6]) const;
  const SimOptions& options() const { return opt_; }
  EventLog* log() { return log_; }
  uint64_t NowUs() { return io_->NowUs(); }
  uint64_t ElapsedMs() { return (io_->NowUs() - start_us_) / 1000; }
  uint32_t RandomMs(uint32_t lo, uint32_t hi) { return static_cast<uint32_t>(rng_.Range(lo, hi)); }
  // Largest lateness of a discovery reply against its planned time, in µs.
  uint64_t max_reply_lateness_us() const { return max_late_us_; }
  uint64_t replies_sent() const { return replies_sent_; }

 private:
  struct Round {
    uint64_t start_us = 0;
    uint64_t last_us = 0;
    uint64_t max_late_us = 0;
    uint32_t pending = 0;
    uint32_t answered = 0;
    uint32_t dropped = 0;
    uint16_t port = 0;
    uint32_t from_ip = 0;
    uint16_t from_port = 0;
  };

  void HandleDiscovery(uint16_t local_port, uint32_t from_ip, uint16_t from_port, uint32_t dst_ip);
  void SendDiscoveryReply(int dev, uint16_t local_port, uint16_t dst_port, uint64_t round, uint64_t planned_us);
  void FinishRoundReply(uint64_t round, bool answered, uint64_t now_us, uint64_t late_us);
  void HandleAddressed(uint16_t local_port, uint32_t from_ip, uint16_t from_port, const ParsedRequest& r);
  void HandleSetNetwork(int dev, uint16_t local_port, uint32_t from_ip, uint16_t from_port, const ParsedRequest& r);
  void SendResult(int dev, uint16_t local_port, uint16_t dst_port, uint8_t code);
  void SendGarbage(int dev, uint16_t local_port, uint16_t dst_port, const uint8_t* reply, size_t len);
  bool CredentialsOk(const SimDevice& d, const uint8_t id[8], const char* password) const;
  bool HttpCredentialsOk(const SimDevice& d, const std::string& user, const std::string& password) const;
  void ApplySetNetwork(int dev, const ParsedRequest& r);
  uint32_t LeaseAddress(int dev);
  void MoveTo(int dev, uint32_t ip);
  void HoldAddress(int dev);
  void ReleaseAddress(int dev);
  // Silent now, address gone after the grace time, `back` run after duration_ms.
  void GoSilent(int dev, uint32_t duration_ms, const char* why, std::function<void(SimDevice&)> back);
  JsonLine Line(const char* event) { return JsonLine(ElapsedMs(), event); }

  std::vector<SimDevice> devices_;
  SimOptions opt_;
  SimIo* io_;
  EventLog* log_;
  EventLog null_log_;
  TimerQueue timers_;
  Rng rng_;
  uint64_t start_us_ = 0;
  std::unordered_map<uint64_t, int> by_mac_;
  std::unordered_map<uint32_t, std::vector<int>> by_ip_;  // devices holding each address
  std::unordered_map<uint32_t, int> addr_refs_;
  std::unordered_map<uint64_t, Round> rounds_;
  uint64_t next_round_ = 1;
  uint32_t dhcp_cursor_ = 0;
  uint64_t max_late_us_ = 0;
  uint64_t replies_sent_ = 0;
  uint64_t upload_seq_ = 0;
  friend class HttpSession;
};

// One HTTP connection's protocol, fed with received bytes. Produces the bytes
// to send (with pauses between them) and what to do with the connection.
class HttpSession : public MultipartParser::Sink {
 public:
  struct Out {
    uint32_t delay_ms;  // pause before these bytes
    std::string bytes;
  };
  enum class After : uint8_t {
    kNone,   // keep reading
    kClose,  // send what is queued, then close gracefully
    kReset,  // abort now (RST)
    kHang,   // read and discard, never answer
  };

  HttpSession(Simulator* sim, int dev, const ConnInfo& info);
  ~HttpSession() override;
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  void OnBytes(const uint8_t* data, size_t len);
  void OnPeerClosed();  // end of the client's data

  std::deque<Out>& out() { return out_; }
  After after() const { return after_; }
  // "upload-stall": the connection is no longer read.
  bool stalled() const { return stalled_; }
  const ConnInfo& info() const { return info_; }
  int device() const { return dev_; }

 private:
  enum class Phase : uint8_t { kHead, kSmallBody, kUpload, kDone };
  void OnHead();
  void BodyBytes(const uint8_t* data, size_t len);  // raw body bytes (before chunk decoding)
  void BodyDecoded(const uint8_t* data, size_t len);
  void BodyEnded();
  void Respond(const HttpVerdict& v);
  void Fail(int status, const char* why);
  void OnPartBegin(const std::string& name, const std::string& filename) override;
  void OnPartData(const uint8_t* data, size_t len) override;
  void OnPartEnd() override;

  Simulator* sim_;
  int dev_;
  ConnInfo info_;
  Phase phase_ = Phase::kHead;
  After after_ = After::kNone;
  std::string head_buf_;
  HttpHead head_;
  std::deque<Out> out_;
  // Body
  bool chunked_ = false;
  int64_t body_left_ = -1;  // -1: until the peer closes
  uint64_t body_bytes_ = 0;
  ChunkedDecoder chunks_;
  std::string decoded_;
  std::string small_body_;
  // Upload
  std::unique_ptr<MultipartParser> multipart_;
  std::string upload_field_;
  bool in_field_ = false;
  UploadResult upload_;
  FirmwareSniffer sniffer_;
  int file_fd_ = -1;
  uint64_t cut_at_ = 0;  // "upload-cut": reset when the body reaches this many bytes
  uint64_t stall_at_ = 0;  // "upload-stall": stop taking the body at this many bytes
  bool stalled_ = false;
};

}  // namespace dksim
