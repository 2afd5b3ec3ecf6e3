#pragma once
// Owning ordered list of DeviceRecord copies under integer keys.
// Keys need not be unique; lookups return the first match in list order.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"

struct DeviceTableEntry {
  int32_t key = 0;
  int32_t progress = 0;  // per-device step counter of the factory default run
  int32_t row = 0;       // in selection lists: the device's row in the device list
  int32_t reserved = 0;
  DeviceRecord record{};
};

class DeviceTable {
 public:
  void Append(int32_t key, const DeviceRecord& rec);
  void AppendWithRow(int32_t key, int32_t row, const DeviceRecord& rec);
  void Clear();
  // First entry with this key, or nullptr. Valid until the table changes.
  DeviceTableEntry* FindByKey(int32_t key);
  const DeviceTableEntry* FindByKey(int32_t key) const;
  // Key of the first entry with the same 6 MAC bytes, or -1.
  int32_t FindKeyByMac(const DeviceRecord& rec) const;
  int32_t FindKeyByMac(const uint8_t mac[6]) const;
  // Key of the first entry with this IP address, or -1.
  int32_t FindKeyByIp(uint32_t ip) const;
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }

  // Entries in list order.
  std::vector<std::unique_ptr<DeviceTableEntry>>::const_iterator begin() const { return entries_.begin(); }
  std::vector<std::unique_ptr<DeviceTableEntry>>::const_iterator end() const { return entries_.end(); }

 private:
  // Entries are individually allocated so pointers stay valid across appends.
  std::vector<std::unique_ptr<DeviceTableEntry>> entries_;
};

// Rebuilds the table after the list was sorted so that keys again equal rows:
// mac_cells holds each row's "MAC address" cell text in the new row order.
// Row c receives the first remaining record whose list-form MAC matches the
// cell text from its start, under key c. Records matching no row are dropped.
void RekeyAfterSort(DeviceTable* table, const std::vector<std::string>& mac_cells);
