#include "engine/update/worker_messages.h"

#include <cstring>

WorkerMessage MakeDeviceFound(const DeviceRecord& rec) {
  WorkerMessage m;
  m.id = UM_DEVICE_FOUND;
  m.payload = rec;
  return m;
}

WorkerMessage MakeSignal(int32_t id) {
  WorkerMessage m;
  m.id = id;
  return m;
}

WorkerMessage MakeText(int32_t id, const char* text) {
  WorkerMessage m;
  m.id = id;
  m.payload = std::string(text ? text : "");
  return m;
}

WorkerMessage MakeStatus(int32_t id, const uint8_t mac[6], int32_t status, const char* text) {
  StatusReport r{};
  std::memcpy(r.mac, mac, 6);
  r.status = status;
  if (text) std::strncpy(r.text, text, sizeof r.text - 1);
  WorkerMessage m;
  m.id = id;
  m.payload = r;
  return m;
}

WorkerMessage MakeFactoryStatus(const uint8_t mac[6], int32_t status) {
  FactoryStatusReport r{};
  std::memcpy(r.mac, mac, 6);
  r.status = status;
  WorkerMessage m;
  m.id = UM_FACTORY_STATUS;
  m.payload = r;
  return m;
}

WorkerMessage MakePingResult(const uint8_t mac[6], uint32_t ip, bool answered) {
  PingResult r{};
  std::memcpy(r.mac, mac, 6);
  r.ip = ip;
  WorkerMessage m;
  m.id = UM_PING_RESULT;
  m.wparam = answered ? 1 : 0;
  m.payload = r;
  return m;
}

bool InventoryResult::Answered() const {
  return answered_ping && system_mode != "failed" && firmware_version != "failed" && serial_number != "failed";
}
