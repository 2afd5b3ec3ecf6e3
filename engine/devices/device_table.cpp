#include "engine/devices/device_table.h"

#include <cstring>

void DeviceTable::Append(int32_t key, const DeviceRecord& rec) { AppendWithRow(key, 0, rec); }

void DeviceTable::AppendWithRow(int32_t key, int32_t row, const DeviceRecord& rec) {
  auto e = std::make_unique<DeviceTableEntry>();
  e->key = key;
  e->row = row;
  e->record = rec;
  entries_.push_back(std::move(e));
}

void DeviceTable::Clear() { entries_.clear(); }

DeviceTableEntry* DeviceTable::FindByKey(int32_t key) {
  for (auto& e : entries_)
    if (e->key == key) return e.get();
  return nullptr;
}

const DeviceTableEntry* DeviceTable::FindByKey(int32_t key) const {
  for (const auto& e : entries_)
    if (e->key == key) return e.get();
  return nullptr;
}

int32_t DeviceTable::FindKeyByMac(const DeviceRecord& rec) const { return FindKeyByMac(rec.mac); }

int32_t DeviceTable::FindKeyByMac(const uint8_t mac[6]) const {
  for (const auto& e : entries_)
    if (std::memcmp(e->record.mac, mac, 6) == 0) return e->key;
  return -1;
}

int32_t DeviceTable::FindKeyByIp(uint32_t ip) const {
  // Equal 32-bit values are exactly the addresses with equal dotted texts.
  for (const auto& e : entries_)
    if (e->record.ip == ip) return e->key;
  return -1;
}

void RekeyAfterSort(DeviceTable* table, const std::vector<std::string>& mac_cells) {
  DeviceTable temp;
  const int32_t n = table->Count();
  for (int32_t k = 0; k < n; ++k) {
    const DeviceTableEntry* e = table->FindByKey(k);
    if (e) temp.AppendWithRow(e->key, e->row, e->record);
  }
  table->Clear();
  int32_t next = 0;
  char mac[24];
  for (const std::string& cell : mac_cells) {
    for (const auto& e : temp) {
      FormatMacList(e->record.mac, mac);
      if (cell.compare(0, std::strlen(mac), mac) == 0) {
        table->Append(next++, e->record);
        break;
      }
    }
  }
}
