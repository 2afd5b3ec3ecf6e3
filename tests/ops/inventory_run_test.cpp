// The inventory run against device web servers on 127.0.0.1: the bound on
// devices in flight, the texts, a hanging device held only to its deadline,
// a stop that ends the run; and the output texts of hostile replies.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices/device_csv.h"
#include "engine/ops/inventory_run.h"
#include "platform/socket_wait.h"
#include "platform/tcp_socket.h"
#include "platform/ticks.h"
#include "tests/http/local_http_server.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace {

struct DeviceReplies {
  std::string mode = "encoder", version = "1.0.0", serial = "SN";
  uint32_t delay_ms = 0;  // before each reply
  bool hang = false;      // read the request, never answer
};

// A loopback address per device (all of 127/8 reaches lo): devices at one
// address would be refused as sharing it.
uint32_t DeviceIp(size_t i) { return IpFromOctets(127, 0, static_cast<uint8_t>(i / 250), static_cast<uint8_t>(1 + i % 250)); }

// One listener per device, every connection served on a thread of its own,
// so the run's own concurrency is what shows: the largest number of devices
// with a connection open at the same time.
class Fleet {
 public:
  explicit Fleet(const std::vector<DeviceReplies>& devices) : devices_(devices), open_(devices.size(), 0) {
    for (size_t i = 0; i < devices.size(); ++i) {
      int l = dk::TcpListen(DeviceIp(i), 0, 64);
      listeners_.push_back(l);
      ports_.push_back(l >= 0 ? dk::TcpLocalPort(l) : 0);
    }
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~Fleet() {
    stop_.Set();
    acceptor_.join();
    for (auto& t : conns_) t.join();
    for (int l : listeners_) dk::TcpClose(l);
  }
  bool ok() const { return std::none_of(listeners_.begin(), listeners_.end(), [](int l) { return l < 0; }); }
  std::vector<DeviceRecord> Records() const {
    std::vector<DeviceRecord> out;
    for (size_t i = 0; i < ports_.size(); ++i) {
      DeviceRecord r;
      ZeroRecord(&r);
      r.mac[5] = static_cast<uint8_t>(i);
      r.ip = DeviceIp(i);
      r.web_port = ports_[i];
      std::snprintf(r.model_name, sizeof r.model_name, "M%zu", i);
      out.push_back(r);
    }
    return out;
  }
  int MaxDevicesOpen() const { return max_devices_.load(); }
  int Connections() const { return connections_.load(); }
  std::vector<std::string> Requests() const {
    std::lock_guard<std::mutex> lk(mu_);
    return requests_;
  }

 private:
  void Accept() {
    while (!stop_.IsSet()) {
      if (dk::SocketWaitAnyReadable(listeners_.data(), listeners_.size(), 20) <= 0) continue;
      for (size_t i = 0; i < listeners_.size(); ++i) {
        int c = dk::TcpAccept(listeners_[i], 0);  // only a connection already waiting
        if (c < 0) continue;
        ++connections_;
        Opened(i, +1);
        conns_.emplace_back([this, c, i] { Serve(c, i); });
      }
    }
  }
  void Opened(size_t i, int d) {
    std::lock_guard<std::mutex> lk(mu_);
    open_[i] += d;
    int devices = 0;
    for (int n : open_) devices += n > 0 ? 1 : 0;
    max_devices_ = std::max(max_devices_.load(), devices);
  }
  void Serve(int c, size_t i) {
    const DeviceReplies& d = devices_[i];
    std::string req;
    char buf[2048];
    dk::TickTimer t;
    t.Start();
    while (!RequestComplete(req) && !t.Expired(2000) && !stop_.IsSet()) {
      if (dk::TcpWaitReadable(c, 10000) <= 0) continue;
      int n = dk::TcpRecv(c, buf, sizeof buf);
      if (n <= 0) break;
      req.append(buf, static_cast<size_t>(n));
    }
    {
      std::lock_guard<std::mutex> lk(mu_);
      requests_.push_back(req);
    }
    const uint32_t wait = d.hang ? 30000 : d.delay_ms;
    t.Start();
    while (!t.Expired(wait) && !stop_.IsSet()) {
      // A client that gave up closes; a hanging device notices and lets go.
      if (dk::TcpWaitReadable(c, 10000) > 0 && dk::TcpRecv(c, buf, sizeof buf) == 0) break;
    }
    // The device's part ends as its answer leaves: a client may go on to its
    // next device as soon as it has read the value, before this close.
    Opened(i, -1);
    if (!d.hang) {
      std::string body = req.rfind("POST /cgi-bin/GetJsonValue.cgi", 0) == 0 ? "\"" + d.mode + "\"\r\n"
                         : req.find("ITEM=software_version") != std::string::npos ? d.version + "\r\n"
                                                                                   : d.serial + "\r\n";
      std::string reply = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
      dk::TcpSend(c, reply.data(), reply.size(), 1000);
    }
    dk::TcpClose(c);
  }

  std::vector<DeviceReplies> devices_;
  std::vector<int> listeners_;
  std::vector<uint16_t> ports_;
  mutable std::mutex mu_;
  std::vector<int> open_;
  std::vector<std::string> requests_;
  std::atomic<int> max_devices_{0}, connections_{0};
  dk::StopFlag stop_;
  std::thread acceptor_;
  std::vector<std::thread> conns_;  // touched by the acceptor only, joined after it
};

std::map<int32_t, InventoryResult> Results(RecordingSink& sink, int* done, int32_t* done_wparam) {
  std::map<int32_t, InventoryResult> out;
  *done = 0;
  for (auto& m : sink.Take()) {
    if (m.id == UM_INVENTORY_DONE) {
      ++*done;
      *done_wparam = m.wparam;
    } else if (m.id == UM_INVENTORY_RESULT) {
      EXPECT_EQ(*done, 0) << "a result after the end";
      const auto& r = std::get<InventoryResult>(m.payload);
      EXPECT_TRUE(out.emplace(r.index, r).second) << "device " << r.index << " twice";
    }
  }
  return out;
}

TEST(InventoryRunTest, BoundHonouredAndTextsAsThePanel) {
  std::vector<DeviceReplies> devs(12);
  for (size_t i = 0; i < devs.size(); ++i) {
    devs[i].delay_ms = 400;
    devs[i].version = "1.0." + std::to_string(i);
    devs[i].serial = "SN" + std::to_string(i);
    devs[i].mode = i % 2 ? "decoder" : "encoder";
  }
  devs[5].mode = "bridge";
  Fleet fleet(devs);
  ASSERT_TRUE(fleet.ok());
  InventoryConfig cfg;
  cfg.devices = fleet.Records();
  cfg.devices[7].web_port = 1;  // nothing listens there
  cfg.timings.concurrency = 3;
  RecordingSink sink;
  dk::StopFlag stop;
  std::vector<InventoryResult> results;
  EXPECT_EQ(InventoryThreadProc(cfg, stop, &sink, &results), 11);

  int done = 0;
  int32_t wparam = -1;
  auto got = Results(sink, &done, &wparam);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(wparam, 0);
  ASSERT_EQ(got.size(), 12u);
  ASSERT_EQ(results.size(), 12u);
  for (int32_t i = 0; i < 12; ++i) {
    const InventoryResult& r = got[i];
    EXPECT_EQ(results[static_cast<size_t>(i)].index, i);
    EXPECT_EQ(r.mac[5], i);
    EXPECT_TRUE(r.answered_ping);
    if (i == 7) {
      EXPECT_EQ(r.system_mode, "failed");
      EXPECT_EQ(r.firmware_version, "failed");
      EXPECT_EQ(r.serial_number, "failed");
      EXPECT_FALSE(r.Answered());
      continue;
    }
    EXPECT_EQ(r.system_mode, i == 5 ? "-" : (i % 2 ? "decoder" : "encoder")) << i;
    EXPECT_EQ(r.firmware_version, "1.0." + std::to_string(i));
    EXPECT_EQ(r.serial_number, "SN" + std::to_string(i));
    EXPECT_TRUE(r.Answered());
  }
  // At most three devices at once, and the run did overlap them.
  EXPECT_LE(fleet.MaxDevicesOpen(), 3);
  EXPECT_GE(fleet.MaxDevicesOpen(), 2);
  // The panel's requests and fixed credentials.
  int json = 0, version = 0, serial = 0;
  for (const std::string& q : fleet.Requests()) {
    if (q.rfind("POST /cgi-bin/GetJsonValue.cgi?TYPE=json", 0) == 0 &&
        RequestBody(q) == SystemModeJsonBody())
      ++json;
    if (q.rfind("GET /GetValue.asp?USER=root&PWD=tulp&CONF=general&ITEM=software_version HTTP/1.1\r\n", 0) == 0)
      ++version;
    if (q.rfind("GET /SysCommand.asp?USER=root&PWD=tulp&TYPE=serial HTTP/1.1\r\n", 0) == 0) ++serial;
  }
  EXPECT_EQ(json, 11);
  EXPECT_EQ(version, 11);
  EXPECT_EQ(serial, 11);
}

TEST(InventoryRunTest, HangingDevicesHeldOnlyToTheirDeadlines) {
  std::vector<DeviceReplies> devs(4);
  devs[1].hang = devs[2].hang = true;
  Fleet fleet(devs);
  ASSERT_TRUE(fleet.ok());
  InventoryConfig cfg;
  cfg.devices = fleet.Records();
  cfg.timings.http.deadline_ms = 500;
  cfg.timings.curl.total_timeout_ms = 500;
  RecordingSink sink;
  dk::StopFlag stop;
  dk::TickTimer t;
  t.Start();
  std::vector<InventoryResult> results;
  EXPECT_EQ(InventoryThreadProc(cfg, stop, &sink, &results), 2);
  // The hanging devices would hold a connection 30 s.
  EXPECT_LT(t.Elapsed(), 15000u);
  ASSERT_EQ(results.size(), 4u);
  for (int i : {1, 2}) {
    EXPECT_TRUE(results[i].answered_ping);
    EXPECT_EQ(results[i].system_mode, "failed");
    EXPECT_EQ(results[i].firmware_version, "failed");
    EXPECT_EQ(results[i].serial_number, "failed");
  }
  EXPECT_EQ(results[3].firmware_version, "1.0.0");
}

TEST(InventoryRunTest, StopEndsTheRunSilently) {
  std::vector<DeviceReplies> devs(6);
  for (auto& d : devs) d.hang = true;
  Fleet fleet(devs);
  ASSERT_TRUE(fleet.ok());
  InventoryConfig cfg;
  cfg.devices = fleet.Records();
  cfg.timings.concurrency = 2;  // three rounds of at least two 3 s deadlines each
  cfg.timings.stop_wait_ms = 20000;
  RecordingSink sink;
  InventoryRunner runner;
  ASSERT_TRUE(runner.Start(cfg, &sink));
  dk::TickTimer wait;
  wait.Start();
  while (fleet.Connections() < 2 && !wait.Expired(20000)) dk::SleepMs(10);
  ASSERT_GE(fleet.Connections(), 2);
  dk::TickTimer t;
  t.Start();
  runner.Stop();
  EXPECT_FALSE(runner.Running());
  EXPECT_LT(t.Elapsed(), 6000u);
  int done = 0;
  int32_t wparam = -1;
  auto got = Results(sink, &done, &wparam);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(done, 1);
  EXPECT_EQ(wparam, kInventoryStopped);
  EXPECT_LE(fleet.Connections(), 4);  // the devices after the first two were never asked
}

// Two devices that answer from one address (one of them outside the list)
// are not asked: their answers could be either's. Each fails with its text.
TEST(InventoryRunTest, DevicesSharingAnAddressAreNotRead) {
  Fleet fleet(std::vector<DeviceReplies>(4));
  ASSERT_TRUE(fleet.ok());
  InventoryConfig cfg;
  cfg.devices = fleet.Records();
  cfg.devices[1].ip = cfg.devices[0].ip;
  cfg.shared_ips = {cfg.devices[3].ip};  // a device not in the list holds it too
  RecordingSink sink;
  dk::StopFlag stop;
  std::vector<InventoryResult> results;
  EXPECT_EQ(InventoryThreadProc(cfg, stop, &sink, &results), 1);
  ASSERT_EQ(results.size(), 4u);
  for (int i : {0, 1, 3}) {
    EXPECT_TRUE(results[i].shared_address) << i;
    EXPECT_FALSE(results[i].Answered()) << i;
    EXPECT_EQ(results[i].firmware_version, kInventorySharedAddress) << i;
    EXPECT_EQ(InventoryRowFor(cfg.devices[i], &results[i], "").serial_number, "shared address") << i;
  }
  EXPECT_TRUE(results[2].Answered());
  EXPECT_EQ(fleet.Connections(), 3);  // the one device read: mode, version, serial
  EXPECT_EQ(SharedAddresses(cfg.devices), std::vector<uint32_t>{cfg.devices[0].ip});
}

TEST(InventoryTextTest, HostileRepliesKeepEveryOutputWhole) {
  DeviceRecord rec;
  ZeroRecord(&rec);
  std::memcpy(rec.model_name, "@model\x1b[2J", 11);
  rec.ip = IpFromOctets(10, 0, 0, 9);
  InventoryResult r;
  r.answered_ping = true;
  r.system_mode = "-";
  r.firmware_version = "=HYPERLINK(\"x\")\r\n,";
  r.serial_number = std::string("\xff\xfe\xc2\x9b", 4) + std::string(255, 'S');
  const InventoryRowText t = InventoryRowFor(rec, &r, "1.0");
  EXPECT_EQ(t.version_match, "no");
  for (const std::string* f : {&t.model, &t.firmware_version, &t.serial_number}) EXPECT_EQ(Utf8FromBytes(*f), *f);

  const std::string csv = InventoryCsvText({t}, true);
  // Header and one record: CR LF only at line ends and inside the quoted field.
  EXPECT_EQ(csv.rfind("MAC address,IP address,Model name,System mode,Firmware version,Serial number,Version match\r\n",
                      0),
            0u);
  EXPECT_NE(csv.find(",'@model\x1b[2J,-,\"'=HYPERLINK(\"\"x\"\")\r\n,\","), std::string::npos) << csv;
  EXPECT_EQ(csv.substr(csv.size() - 5), ",no\r\n");
  EXPECT_EQ(Utf8FromBytes(csv), csv);

  // A table cell or terminal line: no control byte left, still UTF-8.
  for (const std::string* f : {&t.model, &t.firmware_version, &t.serial_number}) {
    const std::string v = InventoryVisibleText(*f);
    EXPECT_EQ(Utf8FromBytes(v), v);
    for (size_t i = 0; i < v.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(v[i]);
      EXPECT_FALSE(c < 0x20 || c == 0x7F) << "control byte in " << v;
      if (c == 0xC2 && i + 1 < v.size()) {
        EXPECT_FALSE(static_cast<unsigned char>(v[i + 1]) <= 0x9F) << "C1 control in " << v;
      }
    }
  }
  EXPECT_EQ(InventoryVisibleText("a\x1b[2Jb"), "a\\x1B[2Jb");
}

// Only the exact version of a device that answered everything matches.
TEST(InventoryTextTest, VersionMatchIsExactAndNeedsEveryAnswer) {
  InventoryResult r;
  r.answered_ping = true;
  r.system_mode = "encoder";
  r.serial_number = "SN1";
  r.firmware_version = "2.0.1";
  EXPECT_TRUE(InventoryVersionMatches(r, "2.0.1"));
  for (const char* other : {"2.0", "2.0.1 ", "2.0.10", "2.0.1\r"}) EXPECT_FALSE(InventoryVersionMatches(r, other)) << other;
  r.serial_number = kInventoryFailed;  // one request failed: nothing is known for sure
  EXPECT_FALSE(InventoryVersionMatches(r, "2.0.1"));
  r.serial_number = "SN1";
  r.answered_ping = false;
  EXPECT_FALSE(InventoryVersionMatches(r, "2.0.1"));
}

// The export replaces a file whole, with or without the match column, and a
// path it cannot write says why.
TEST(InventoryTextTest, CsvFileIsReplacedWholeOrNotWrittenWithTheReason) {
  TempDir dir;
  InventoryRowText t;
  t.mac = "00:1C:63:10:20:05";
  t.ip = "10.0.0.5";
  t.model = "NVT-1000";
  t.system_mode = "decoder";
  t.firmware_version = "2.0.1";
  t.serial_number = "SN5";
  t.version_match = "yes";
  const std::string path = dir.File("inventory.csv");
  dir.Write("inventory.csv", std::string(10000, 'x'));
  std::string error = "stale";
  ASSERT_EQ(WriteInventoryCsv(path, {t, t}, true, &error), 0);
  EXPECT_EQ(error, "");
  const std::string row = "00:1C:63:10:20:05,10.0.0.5,NVT-1000,decoder,2.0.1,SN5";
  EXPECT_EQ(dir.Read("inventory.csv"), InventoryCsvText({t, t}, true));
  EXPECT_EQ(dir.Read("inventory.csv"),
            "MAC address,IP address,Model name,System mode,Firmware version,Serial number,Version match\r\n" + row +
                ",yes\r\n" + row + ",yes\r\n");
  ASSERT_EQ(WriteInventoryCsv(path, {t}, false, &error), 0);
  EXPECT_EQ(dir.Read("inventory.csv"),
            "MAC address,IP address,Model name,System mode,Firmware version,Serial number\r\n" + row + "\r\n");
  EXPECT_EQ(WriteInventoryCsv(dir.File("none/inventory.csv"), {t}, true, &error), -1);
  EXPECT_EQ(error, "No such file or directory");
}

}  // namespace
