#pragma once
// Messages by which workers report to the window. Payloads travel by value:
// nothing in a message points into a table or a buffer another worker owns.
#include <cstdint>
#include <string>
#include <variant>

#include "engine/devices/device_record.h"

enum WorkerMessageId : int32_t {
  UM_DEVICE_FOUND = 1025,
  UM_SCAN_DONE = 1026,
  UM_IP_CHECK_START = 1027,
  UM_UPDATE_STATUS = 1028,
  UM_UPDATE_DONE = 1029,
  UM_FACTORY_STATUS = 1030,
  UM_FACTORY_DONE = 1031,
  UM_PING_RESULT = 1032,
  UM_FIRMWARE_VERSION_TEXT = 1033,
  UM_SERIAL_TEXT = 1034,
  UM_SYSTEM_MODE_TEXT = 1035,
  // One device of the multiple IP setting run: the record as written for its
  // request (DeviceRecord payload), wparam the set-network result.
  UM_IP_SETTING_RESULT = 1036,
  // One device of the inventory run read (InventoryResult payload).
  UM_INVENTORY_RESULT = 1037,
  // The inventory run has ended; wparam 1 when it was stopped.
  UM_INVENTORY_DONE = 1038,
};

struct StatusReport {
  uint8_t mac[6];
  int32_t status;
  char text[64];  // zero-filled, at most 63 characters
};

struct FactoryStatusReport {
  uint8_t mac[6];
  int32_t status;
};

// UM_PING_RESULT names its device by MAC (and carries the address it pinged).
struct PingResult {
  uint8_t mac[6];
  uint32_t ip;
};

// One device of the inventory run: the information query's three texts.
struct InventoryResult {
  int32_t index = 0;  // position in the run's device list
  uint8_t mac[6] = {};
  uint32_t ip = 0;
  bool answered_ping = false;
  bool shared_address = false;  // another device answers from the same address: not read
  std::string system_mode, firmware_version, serial_number;
  // Ping and all three requests answered.
  bool Answered() const;
};

struct WorkerMessage {
  int32_t id = 0;
  int32_t wparam = 0;  // UM_PING_RESULT: non-zero when the device answered
  std::variant<std::monostate, DeviceRecord, StatusReport, FactoryStatusReport, PingResult, std::string,
               InventoryResult>
      payload;
};

// Every worker reports through one sink. Post may be called from any thread
// and must not block for long; the receiver owns what it is given.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Post(WorkerMessage msg) = 0;
};

// Convenience constructors.
WorkerMessage MakeDeviceFound(const DeviceRecord& rec);
WorkerMessage MakeSignal(int32_t id);
WorkerMessage MakeText(int32_t id, const char* text);
WorkerMessage MakeStatus(int32_t id, const uint8_t mac[6], int32_t status, const char* text);
WorkerMessage MakeFactoryStatus(const uint8_t mac[6], int32_t status);
WorkerMessage MakePingResult(const uint8_t mac[6], uint32_t ip, bool answered);
