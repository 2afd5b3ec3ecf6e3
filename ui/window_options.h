#pragma once
// What the window is made with: its engine and prompt, and the timings of its
// runs (the product values are the defaults; tests shorten them).
#include <cstdint>
#include <functional>

#include "engine/devices/discovery_scan.h"
#include "engine/ops/factory_default_run.h"
#include "engine/ops/info_query.h"
#include "engine/ops/inventory_run.h"
#include "engine/ops/multiple_ip.h"
#include "engine/ops/set_network.h"

class Authentication;
class CViewerControl;
class Prompt;
class QWidget;
class WindowBackend;

// Timing of the window's own waits; the product values are the defaults.
struct WindowTimings {
  uint32_t rescan_ms = 3000;  // timer 0 while a network change is verified
};

struct WindowOptions {
  WindowBackend* backend = nullptr;  // not owned; must outlive the window
  Prompt* prompt = nullptr;          // not owned; must outlive the window
  WindowTimings timings;
  ScanTimings scan_timings;
  ScanPorts scan_ports;
  InfoQueryTimings info_timings;
  FactoryDefaultTimings factory_timings;
  // The monitoring window's viewer control; empty: the real one.
  std::function<CViewerControl*(QWidget* parent)> make_viewer;
  SetNetworkTimings set_network_timings;
  // Runs the Authentication dialog of "Apply" (tests answer it); empty: exec().
  std::function<int(Authentication&)> run_authentication;
  NvtSettingTimings nvt_timings;
  InventoryTimings inventory_timings;
};
