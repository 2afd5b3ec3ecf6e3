#pragma once
// The window's operations, made with the roles each uses, and the list the
// window loops over. The order matters where two take the same command:
// "Cancel" goes to a running panel run before the panel itself.
#include <functional>
#include <memory>
#include <vector>

#include "ui/apply_ui.h"
#include "ui/info_query_ui.h"
#include "ui/list_ops.h"
#include "ui/multiple_ip_ui.h"
#include "ui/panel_run.h"
#include "ui/scan_ui.h"

struct WindowOptions;
class DeviceRows;
class NetworkPanel;
class WindowPostBox;

struct WindowOperations {
  WindowOperations(const WindowOptions& options, StateOwner* state, DeviceRows* rows, NetworkPanel* network_panel,
                   PanelFields* fields, Operator* op, EngineAccess* engine, DeviceTable* selection,
                   std::shared_ptr<WindowPostBox> box);

  PingArpUi ping_arp;
  ScanUi scan;
  ApplyUi apply;
  MultipleIpUi multiple_ip;
  UpdatePanelUi panel;
  UpdateRunUi update;
  FactoryRunUi factory;
  InfoQueryUi info_query;
  MonitoringUi monitoring;
  ListExportUi export_list;
  InventoryUi inventory;
  VideoWallUi video_wall;
  std::vector<Operation*> all;
};
