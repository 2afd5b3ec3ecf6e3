#include "sim/sim_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/devices/device_record.h"

namespace dksim {
namespace {

bool ToU64(const std::string& s, uint64_t max, uint64_t* out) {
  if (s.empty() || s[0] == '-') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(s.c_str(), &end, 10);
  if (errno != 0 || *end != 0 || v > max) return false;
  *out = v;
  return true;
}

bool ToU32(const std::string& s, uint32_t* out) {
  uint64_t v;
  if (!ToU64(s, 0xFFFFFFFFu, &v)) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

bool ToRange(const std::string& s, uint32_t* lo, uint32_t* hi) {
  const size_t dash = s.find('-');
  if (dash == std::string::npos) {
    if (!ToU32(s, hi)) return false;
    *lo = 0;
    return true;
  }
  return ToU32(s.substr(0, dash), lo) && ToU32(s.substr(dash + 1), hi) && *lo <= *hi;
}

bool ToIpRange(const std::string& s, uint32_t* first, uint32_t* last) {
  const size_t dash = s.find('-');
  if (dash == std::string::npos) return false;
  return ParseIp(s.substr(0, dash).c_str(), first) == 0 && ParseIp(s.substr(dash + 1).c_str(), last) == 0 &&
         IpToHostOrder(*first) <= IpToHostOrder(*last);
}

}  // namespace

const char* SimUsage() {
  return "usage: dravenkit-sim (--devices N | --fleet FILE) [options]\n"
         "  --iface NAME           interface that carries the devices' addresses (/32 aliases)\n"
         "  --no-addresses         leave addresses alone (they must exist already)\n"
         "  --ports P[,P]          TALQ request ports (default 32154,33000)\n"
         "  --base-ip A            first generated address (default 10.77.1.1)\n"
         "  --mask M --gateway G --dns D   for generated devices (255.255.0.0, 10.77.0.1, 10.77.0.1)\n"
         "  --user U --password P  administrator of generated devices (root, tulp)\n"
         "  --firmware V           firmware version of generated devices (2.4.1)\n"
         "  --spread MIN-MAX       discovery reply delay in ms (0-100)\n"
         "  --late-ms N            extra delay of 'late' devices (800)\n"
         "  --move-delay-ms N      set-network accepted -> moved (1000)\n"
         "  --move-late-ms N       the same for 'move-late' devices (4000)\n"
         "  --reset-delay-ms N     factory default -> back at 192.168.1.2 (5000)\n"
         "  --restart-ms N         upload done -> back with the new version (10000)\n"
         "  --split-gap-ms N       pause between the parts of a split reply (50)\n"
         "  --refuse-delay-ms N    'factory-refuse-late' request -> its 401 (12000)\n"
         "  --video-size WxH       picture of every device's AV stream 1 (640x360; even, 16x16-3840x2160)\n"
         "  --http-idle-ms N       idle connections closed after (30000)\n"
         "  --http-hang-ms N       'http-hang' connections held at most (120000)\n"
         "  --dhcp-pool A-B        addresses for DHCP (10.77.200.1-10.77.250.254)\n"
         "  --dhcp-mask M --dhcp-gateway G --dhcp-dns D\n"
         "  --fault NAME=SHARE     give a fault to a share of the fleet (0.1 or 10%); repeatable\n"
         "  --seed N               random seed (delays, fault choice)\n"
         "  --event-log FILE       JSON lines of everything the devices received and did\n"
         "  --log-discovery each|summary   per-device discovery lines, or one per request\n"
         "  --ready-file FILE      written when every address is up and every socket bound\n"
         "  --upload-dir DIR       keep uploaded images there (default: counted and discarded)\n"
         "  --max-conns N          concurrent HTTP connections (4096)\n"
         "  --exit-with PID        end when process PID ends\n"
         "  --dump-fleet           print the fleet as fleet-file lines and exit\n"
         "faults: no-discovery late auth-refuse no-move move-silent move-late http-refuse\n"
         "        http-hang http-split upload-cut upload-stall upload-refuse no-return\n"
         "        wrong-version dup-ip bad-length garbage reset-ignore reset-keep-ip\n"
         "        rtsp-busy rtsp-silent rtsp-resize result-lost upload-reset\n"
         "        factory-refuse-late\n";
}

int ParseSimArgs(int argc, const char* const* argv, SimArgs* out, std::string* error) {
  SimArgs a;
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= argc) {
        *error = opt + " needs a value";
        return false;
      }
      *v = argv[++i];
      return true;
    };
    auto bad = [&](const std::string& v) {
      *error = "bad value for " + opt + ": '" + v + "'";
      return -1;
    };
    std::string v;
    auto ms = [&](uint32_t* dst) {
      if (!value(&v)) return -1;
      return ToU32(v, dst) ? 0 : bad(v);
    };
    auto ip = [&](uint32_t* dst) {
      if (!value(&v)) return -1;
      return ParseIp(v.c_str(), dst) == 0 ? 0 : bad(v);
    };
    int rc = 0;
    if (opt == "-h" || opt == "--help") {
      a.help = true;
    } else if (opt == "--devices") {
      uint64_t n;
      if (!value(&v)) return -1;
      if (!ToU64(v, 60000, &n) || n == 0) return bad(v);
      a.devices = static_cast<int>(n);
    } else if (opt == "--fleet") {
      if (!value(&a.fleet_file)) return -1;
    } else if (opt == "--iface") {
      if (!value(&a.server.iface)) return -1;
    } else if (opt == "--no-addresses") {
      a.no_addresses = true;
    } else if (opt == "--ports") {
      if (!value(&v)) return -1;
      a.server.udp_ports.clear();
      size_t pos = 0;
      while (pos <= v.size()) {
        size_t comma = v.find(',', pos);
        if (comma == std::string::npos) comma = v.size();
        uint64_t p;
        if (!ToU64(v.substr(pos, comma - pos), 65535, &p) || p == 0) return bad(v);
        a.server.udp_ports.push_back(static_cast<uint16_t>(p));
        pos = comma + 1;
      }
    } else if (opt == "--base-ip") {
      rc = ip(&a.defaults.base_ip);
    } else if (opt == "--mask") {
      rc = ip(&a.defaults.mask);
    } else if (opt == "--gateway") {
      rc = ip(&a.defaults.gateway);
    } else if (opt == "--dns") {
      rc = ip(&a.defaults.dns);
    } else if (opt == "--user") {
      if (!value(&a.defaults.user)) return -1;
    } else if (opt == "--password") {
      if (!value(&a.defaults.password)) return -1;
    } else if (opt == "--firmware") {
      if (!value(&a.defaults.firmware)) return -1;
    } else if (opt == "--spread") {
      if (!value(&v)) return -1;
      if (!ToRange(v, &a.sim.timings.spread_min_ms, &a.sim.timings.spread_max_ms) || a.sim.timings.spread_max_ms > 600000)
        return bad(v);
    } else if (opt == "--late-ms") {
      rc = ms(&a.sim.timings.late_ms);
    } else if (opt == "--move-delay-ms") {
      rc = ms(&a.sim.timings.move_delay_ms);
    } else if (opt == "--move-late-ms") {
      rc = ms(&a.sim.timings.move_late_ms);
    } else if (opt == "--reset-delay-ms") {
      rc = ms(&a.sim.timings.reset_delay_ms);
    } else if (opt == "--restart-ms") {
      rc = ms(&a.sim.timings.restart_ms);
    } else if (opt == "--split-gap-ms") {
      rc = ms(&a.sim.timings.split_gap_ms);
    } else if (opt == "--video-size") {
      if (!value(&v)) return -1;
      int w = 0, h = 0;
      char tail = 0;
      // Even sides, as the encoder's 4:2:0 picture needs.
      if (std::sscanf(v.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 3840 || h > 2160 ||
          w % 2 != 0 || h % 2 != 0)
        return bad(v);
      a.sim.video_width = w;
      a.sim.video_height = h;
    } else if (opt == "--refuse-delay-ms") {
      rc = ms(&a.sim.timings.refuse_delay_ms);
    } else if (opt == "--http-idle-ms") {
      rc = ms(&a.sim.timings.http_idle_ms);
    } else if (opt == "--http-hang-ms") {
      rc = ms(&a.sim.timings.http_hang_ms);
    } else if (opt == "--dhcp-pool") {
      if (!value(&v)) return -1;
      if (!ToIpRange(v, &a.sim.dhcp_first, &a.sim.dhcp_last)) return bad(v);
    } else if (opt == "--dhcp-mask") {
      rc = ip(&a.sim.dhcp_mask);
    } else if (opt == "--dhcp-gateway") {
      rc = ip(&a.sim.dhcp_gateway);
    } else if (opt == "--dhcp-dns") {
      rc = ip(&a.sim.dhcp_dns);
    } else if (opt == "--fault") {
      if (!value(&v)) return -1;
      FaultShare fs;
      if (ParseFaultShare(v, &fs) != 0) return bad(v);
      a.fault_shares.push_back(fs);
    } else if (opt == "--seed") {
      if (!value(&v)) return -1;
      if (!ToU64(v, UINT64_MAX, &a.sim.seed)) return bad(v);
      a.seed_given = true;
    } else if (opt == "--event-log") {
      if (!value(&a.event_log)) return -1;
    } else if (opt == "--log-discovery") {
      if (!value(&v)) return -1;
      if (v == "each") a.sim.log_each_discovery = true;
      else if (v == "summary") a.sim.log_each_discovery = false;
      else return bad(v);
    } else if (opt == "--ready-file") {
      if (!value(&a.server.ready_file)) return -1;
    } else if (opt == "--upload-dir") {
      if (!value(&a.sim.upload_dir)) return -1;
    } else if (opt == "--max-conns") {
      rc = ms(&a.server.max_conns);
    } else if (opt == "--exit-with") {
      uint64_t pid;
      if (!value(&v)) return -1;
      if (!ToU64(v, 0x7FFFFFFF, &pid) || pid == 0) return bad(v);
      a.server.exit_with_pid = static_cast<int>(pid);
    } else if (opt == "--dump-fleet") {
      a.dump_fleet = true;
    } else {
      *error = "unknown option " + opt;
      return -1;
    }
    if (rc != 0) return -1;
  }
  if (!a.help) {
    if ((a.devices > 0) == !a.fleet_file.empty()) {
      *error = "give exactly one of --devices N and --fleet FILE";
      return -1;
    }
    if (a.server.iface.empty() && !a.no_addresses && !a.dump_fleet) {
      *error = "give --iface NAME (or --no-addresses)";
      return -1;
    }
    if (a.server.udp_ports.empty()) {
      *error = "no TALQ ports";
      return -1;
    }
  }
  *out = std::move(a);
  return 0;
}

int BuildFleet(const SimArgs& args, std::vector<SimDeviceConfig>* fleet, std::string* error) {
  std::vector<SimDeviceConfig> f;
  if (!args.fleet_file.empty()) {
    if (LoadFleetFile(args.fleet_file, args.defaults, &f, error) != 0) return -1;
  } else {
    f = GenerateFleet(args.devices, args.defaults);
    if (ValidateFleet(f, error) != 0) return -1;
  }
  ApplyFaultShares(&f, args.fault_shares, args.sim.seed);
  ApplyDuplicateAddresses(&f);
  *fleet = std::move(f);
  return 0;
}

}  // namespace dksim
