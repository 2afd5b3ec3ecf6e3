#pragma once
// What an operation's window part may ask of the window: the rows it reads,
// the messages and questions it shows, "I started" and "I ended". Operations
// never reach the window's controls or members otherwise.
#include <QString>
#include <cstdint>
#include <string>

#include "engine/devices/device_table.h"
#include "ui/command_table.h"
#include "ui/prompt.h"

class WindowBackend;
class MessageSink;

class OperationHost {
 public:
  virtual ~OperationHost() = default;
  virtual const DeviceTable& Rows() const = 0;            // the device table, keys are rows
  virtual DeviceTable* RunSelection() = 0;                // the selection list of the panel runs
  virtual void ShowText(int id, const QString& text) = 0;  // a label or field by identifier
  virtual QString TextOf(int id) const = 0;
  virtual void Tell(const std::string& text, PromptIcon icon) = 0;
  virtual bool Ask(const std::string& question) = 0;
  virtual QString Lang(int key) const = 0;
  virtual WindowBackend* Engine() = 0;
  virtual MessageSink* Sink() = 0;
  // The operation takes the window into state (its phase as given), changes its phase, or gives
  // the window back in the state its end leads to.
  virtual void Started(ActiveOp op, RunPhase phase, int32_t state) = 0;
  virtual void PhaseChanged(RunPhase phase) = 0;
  virtual void Ended(int32_t state) = 0;
  virtual int32_t State() const = 0;
  virtual ActiveOp Active() const = 0;
};
