#pragma once
// What the window asks of the engine: the workers it starts and stops and the
// platform services it uses. The product uses EngineBackend; tests give the
// window a fake that records the calls, so no test needs a network.
#include <memory>
#include <string>
#include <vector>

#include "config/adapter_info.h"
#include "engine/devices/discovery_scan.h"
#include "engine/ops/factory_default_run.h"
#include "engine/ops/info_query.h"
#include "engine/ops/inventory_run.h"
#include "engine/ops/multiple_ip.h"
#include "engine/ops/ping_tools.h"
#include "engine/ops/set_network.h"
#include "engine/update/update_run.h"
#include "engine/update/worker_messages.h"

class WindowBackend {
 public:
  virtual ~WindowBackend() = default;
  // Keeps a window's sink until the engine is gone. The derived engine's
  // runners are destroyed (and their threads joined) before this base, so a
  // worker that outlived its bounded stop never posts into freed memory.
  void KeepSinkAlive(std::shared_ptr<MessageSink> sink) { kept_sinks_.push_back(std::move(sink)); }

  // Scan thread: Start stops a running scan first; false when none started.
  virtual bool StartScan(const ScanConfig& cfg, MessageSink* sink) = 0;
  virtual void StopScan() = 0;
  // Information query of one device.
  virtual bool StartInfoQuery(const VersionQueryParam& p, MessageSink* sink) = 0;
  virtual void StopInfoQuery() = 0;
  // "Ping response" run over a copy of the listed devices.
  virtual bool StartPing(std::vector<PingTarget> targets, MessageSink* sink) = 0;
  virtual void StopPing() = 0;
  virtual bool PingRunning() const = 0;
  // The firmware update run (false when its thread could not be started).
  virtual bool StartUpdate(const UpdateConfig& cfg, MessageSink* sink) = 0;
  virtual void StopUpdate() = 0;
  // Factory default run over the selection list; false when it did not start.
  virtual bool StartFactoryDefault(const FactoryDefaultConfig& cfg, MessageSink* sink) = 0;
  virtual void StopFactoryDefault() = 0;
  // The multiple IP setting run over its own copy of the ticked devices.
  virtual bool StartNvtSetting(NvtSettingParam p, MessageSink* sink) = 0;
  virtual void StopNvtSetting() = 0;
  // The ARP cache flush (blocks until the command has ended).
  virtual int32_t DeleteArpTable() = 0;
  virtual int32_t GetLocalAdapterInfo(LocalAdapterInfo* out) = 0;
  // The desktop's handler for a web address; false when none could be started.
  virtual bool OpenUrl(const std::string& url) = 0;
  // One set-network request on the default port pair and its result, as
  // SendSetNetworkRequest returns it; blocks for at most the result wait.
  virtual int32_t SetNetwork(const SetNetworkRequest& req, const SetNetworkTimings& t) = 0;
  // An inventory run of its own for the caller (one per inventory window);
  // nullptr when it did not start. Destroying the runner stops and joins it.
  virtual std::unique_ptr<InventoryRunner> StartInventory(InventoryConfig cfg, MessageSink* sink) {
    (void)cfg;
    (void)sink;
    return nullptr;
  }

 private:
  std::vector<std::shared_ptr<MessageSink>> kept_sinks_;
};

// The real workers and services.
class EngineBackend : public WindowBackend {
 public:
  EngineBackend();
  ~EngineBackend() override;
  bool StartScan(const ScanConfig& cfg, MessageSink* sink) override;
  void StopScan() override;
  bool StartInfoQuery(const VersionQueryParam& p, MessageSink* sink) override;
  void StopInfoQuery() override;
  bool StartPing(std::vector<PingTarget> targets, MessageSink* sink) override;
  void StopPing() override;
  bool PingRunning() const override;
  bool StartUpdate(const UpdateConfig& cfg, MessageSink* sink) override;
  void StopUpdate() override;
  bool StartFactoryDefault(const FactoryDefaultConfig& cfg, MessageSink* sink) override;
  void StopFactoryDefault() override;
  bool StartNvtSetting(NvtSettingParam p, MessageSink* sink) override;
  void StopNvtSetting() override;
  int32_t DeleteArpTable() override;
  int32_t GetLocalAdapterInfo(LocalAdapterInfo* out) override;
  bool OpenUrl(const std::string& url) override;
  int32_t SetNetwork(const SetNetworkRequest& req, const SetNetworkTimings& t) override;
  std::unique_ptr<InventoryRunner> StartInventory(InventoryConfig cfg, MessageSink* sink) override;

 private:
  DiscoveryScanner scanner_;
  InfoQueryRunner info_;
  PingRunner ping_;
  UpdateRunner update_;
  FactoryDefaultRunner factory_;
  NvtSettingRunner nvt_;
};
