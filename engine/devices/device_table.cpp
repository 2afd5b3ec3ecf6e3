#include "engine/devices/device_table.h"

#include <cstring>
#include <unordered_map>

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
  // Records in key order 0 .. n-1 (the first entry of each key).
  const int32_t n = table->Count();
  std::vector<const DeviceTableEntry*> by_key(static_cast<size_t>(n), nullptr);
  for (const auto& e : *table)
    if (e->key >= 0 && e->key < n && !by_key[static_cast<size_t>(e->key)]) by_key[static_cast<size_t>(e->key)] = e.get();
  std::vector<DeviceRecord> temp;
  temp.reserve(static_cast<size_t>(n));
  for (const DeviceTableEntry* e : by_key)
    if (e) temp.push_back(e->record);
  table->Clear();
  // Every list-form MAC has the same length, so "matches the cell from its
  // start" is equality with the cell's first characters: one hash lookup per
  // row instead of a walk over the table (sorting thousands of rows stays fast).
  std::unordered_map<std::string, std::vector<size_t>> by_mac;
  char mac[24];
  for (size_t i = temp.size(); i-- > 0;) by_mac[FormatMacList(temp[i].mac, mac)].push_back(i);
  static const uint8_t kAnyMac[6] = {};
  const size_t mac_len = std::strlen(FormatMacList(kAnyMac, mac));
  int32_t next = 0;
  for (const std::string& cell : mac_cells) {
    if (cell.size() < mac_len) continue;
    auto it = by_mac.find(cell.substr(0, mac_len));
    if (it == by_mac.end() || it->second.empty()) continue;
    table->Append(next++, temp[it->second.back()]);  // the first remaining one in key order
    it->second.pop_back();
  }
}
