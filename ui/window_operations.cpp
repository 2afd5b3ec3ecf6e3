#include "ui/window_operations.h"

#include "ui/device_rows.h"
#include "ui/network_panel.h"
#include "ui/post_box.h"
#include "ui/window_options.h"

WindowOperations::WindowOperations(const WindowOptions& o, StateOwner* state, DeviceRows* rows,
                                   NetworkPanel* network_panel, PanelFields* fields, Operator* op,
                                   EngineAccess* engine, DeviceTable* selection, std::shared_ptr<WindowPostBox> box)
    : ping_arp(rows, rows, op, engine),
      scan(state, rows, rows, rows, op, engine, o.scan_timings, o.scan_ports, o.timings.rescan_ms),
      apply(state, rows, rows, rows, network_panel, op, engine, &scan, o.set_network_timings, o.run_authentication),
      multiple_ip(state, rows, rows, rows, op, engine, &scan, o.nvt_timings),
      panel(state, rows, fields, op, engine),
      update({state, rows, rows, rows, fields, op, engine, &panel, selection}),
      factory({state, rows, rows, rows, fields, op, engine, &panel, selection}, o.factory_timings),
      info_query(rows, fields, engine, std::move(box), o.info_timings),
      monitoring(rows, rows, op, o.make_viewer),
      export_list(rows, op),
      inventory(rows, op, engine, o.inventory_timings),
      video_wall(rows, op, o.make_viewer),
      all{&ping_arp, &scan, &apply, &multiple_ip, &update, &factory, &panel,
          &info_query, &monitoring, &export_list, &inventory, &video_wall} {}
