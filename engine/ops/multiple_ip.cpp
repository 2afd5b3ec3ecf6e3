#include "engine/ops/multiple_ip.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "config/assignment_file.h"

const char kNvtInvalidAddressText[] = "ip setting error 'invalid address'";
const char kNvtSettingFaultText[] = "[ERROR] NvtSettingThreadProc : NvtSettingThreadProcRun";

namespace {

std::string IpText(uint32_t ip) {
  char buf[16];
  return FormatIp(ip, buf);
}

std::string MacText(const uint8_t mac[6]) {
  char buf[18];
  return FormatMacPlain(mac, buf);
}

// The four address texts of an entry as addresses; false when one is not a
// real address (the loose line check lets 999.1.1.1 and 1..2.3 through).
bool EntryAddresses(const AssignmentEntry& e, uint32_t* ip, uint32_t* mask, uint32_t* gw, uint32_t* dns) {
  return ParseIp(e.ip.c_str(), ip) == 0 && ParseIp(e.subnet_mask.c_str(), mask) == 0 &&
         ParseIp(e.gateway.c_str(), gw) == 0 && ParseIp(e.dns_server.c_str(), dns) == 0;
}

class Run {
 public:
  Run(const NvtSettingParam& p, const dk::StopFlag& stop, MessageSink* sink)
      : p_(p), stop_(stop), sink_(sink), ports_(TalqPortPair(p.ip_setting_xflag & 1)) {}

  // One request; rec receives the writes before it is sent.
  void Send(DeviceRecord rec, int32_t type, uint32_t ip, uint32_t mask, uint32_t gw, uint32_t dns) {
    rec.network_type = static_cast<uint8_t>(type);
    rec.configured_ip = ip;
    if (p_.assignment_mode == 1) {
      rec.subnet_mask = mask;
      rec.gateway = gw;
      rec.dns_server = dns;
    }
    SetNetworkRequest req;
    int32_t result;
    if (FillSetNetworkRequest(rec, type, p_.admin_id.c_str(), p_.admin_password.c_str(), ip, mask, gw, dns, &req) !=
        0)
      result = 2;  // credentials that do not fit their fields cannot be right
    else
      result = SendSetNetworkRequest(req, ports_, p_.timings.set_network);
    if (result == 0) ++accepted_;
    Post(rec, result);
  }

  void Post(const DeviceRecord& rec, int32_t result) {
    if (!sink_) return;
    WorkerMessage m = MakeDeviceFound(rec);
    m.id = UM_IP_SETTING_RESULT;
    m.wparam = result;
    sink_->Post(std::move(m));
  }

  int32_t RangeMode() {
    if (static_cast<int32_t>(p_.devices.size()) > NvtRangeCapacity(p_.start_ip)) return -1;
    int32_t n = 0;
    for (const DeviceRecord& d : p_.devices) {
      if (stop_.IsSet()) break;
      uint32_t ip = 0;
      NvtRangeAddress(p_.start_ip, n, &ip);
      ++n;  // a device uses up its address whatever its outcome
      Send(d, p_.static_flag ? 1 : 0, ip, p_.subnet_mask, p_.gateway, p_.dns_server);
    }
    return accepted_;
  }

  int32_t FileMode() {
    std::vector<std::string> macs;
    for (const DeviceRecord& d : p_.devices) macs.push_back(MacText(d.mac));
    ReadAssignmentFile(p_.file_path, [&](const AssignmentEntry& e) {
      for (size_t i = 0; i < p_.devices.size(); ++i) {
        if (stop_.IsSet()) return;
        if (macs[i] != e.mac) continue;  // exact, case-sensitive
        uint32_t ip, mask, gw, dns;
        if (!EntryAddresses(e, &ip, &mask, &gw, &dns)) {
          Post(p_.devices[i], kNvtInvalidAddress);
          continue;
        }
        Send(p_.devices[i], AssignmentNetworkType(e), ip, mask, gw, dns);
      }
    });
    return accepted_;
  }

 private:
  const NvtSettingParam& p_;
  const dk::StopFlag& stop_;
  MessageSink* sink_;
  TalqPorts ports_;
  int32_t accepted_ = 0;
};

}  // namespace

int32_t NvtRangeCapacity(uint32_t start_ip) { return 256 - IpOctet(start_ip, 3); }

std::string NvtRangeOverflowText(uint32_t start_ip, int32_t count) {
  const int32_t fit = NvtRangeCapacity(start_ip);
  char text[200];
  std::snprintf(text, sizeof text,
                "The range from %s holds only %d device(s) before its last number passes 255; %d are selected.",
                IpText(start_ip).c_str(), fit, count);
  return text;
}

bool NvtRangeAddress(uint32_t start_ip, int32_t k, uint32_t* ip) {
  const int32_t last = IpOctet(start_ip, 3) + k;
  if (k < 0 || last > 255) return false;
  *ip = IpFromOctets(IpOctet(start_ip, 0), IpOctet(start_ip, 1), IpOctet(start_ip, 2), static_cast<uint8_t>(last));
  return true;
}

int32_t NvtSettingThreadProc(const NvtSettingParam& p, const dk::StopFlag& stop, MessageSink* sink) {
  int32_t r = 0;
  bool faulted = false;
  try {
    Run run(p, stop, sink);
    r = p.assignment_mode == 1 ? run.FileMode() : run.RangeMode();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s (%s)\n", kNvtSettingFaultText, e.what());
    faulted = true;
  } catch (...) {
    faulted = true;
  }
  if (sink) {
    WorkerMessage done = MakeSignal(UM_IP_CHECK_START);
    if (faulted) {
      done = MakeText(UM_IP_CHECK_START, kNvtSettingFaultText);
      done.wparam = kNvtSettingFault;
    }
    sink->Post(std::move(done));
  }
  return faulted ? -2 : r;
}

bool NvtVerificationMatches(const DeviceRecord& sent, const DeviceRecord& reply) {
  static const uint8_t kZero[6] = {};
  if (std::memcmp(sent.mac, kZero, 6) == 0 || std::memcmp(sent.mac, reply.mac, 6) != 0) return false;
  if (sent.network_type == 1) return reply.ip == sent.configured_ip;
  return reply.network_type == sent.network_type;
}

int32_t BuildNvtSettingPlan(const NvtSettingParam& p, const std::vector<DeviceRecord>& listed,
                            std::vector<NvtPlanItem>* out) {
  out->clear();
  int32_t r = 0;
  if (p.assignment_mode == 1) {
    std::vector<std::vector<AssignmentEntry>> per(p.devices.size());
    std::vector<std::string> macs;
    for (const DeviceRecord& d : p.devices) macs.push_back(MacText(d.mac));
    r = ReadAssignmentFile(p.file_path, [&](const AssignmentEntry& e) {
      for (size_t i = 0; i < macs.size(); ++i)
        if (macs[i] == e.mac) per[i].push_back(e);
    });
    for (size_t i = 0; i < p.devices.size(); ++i) {
      if (per[i].empty()) {
        NvtPlanItem item;
        item.record = p.devices[i];
        item.warnings.push_back("the file does not name this device: no request");
        out->push_back(item);
      }
      for (const AssignmentEntry& e : per[i]) {
        NvtPlanItem item;
        item.record = p.devices[i];
        item.has_entry = true;
        item.network_type = AssignmentNetworkType(e);
        item.ip_text = e.ip;
        uint32_t a, b, c, d;
        if (!EntryAddresses(e, &a, &b, &c, &d)) item.warnings.push_back("not a valid address: no request");
        out->push_back(item);
      }
    }
  } else {
    const int32_t n = static_cast<int32_t>(p.devices.size());
    if (n > NvtRangeCapacity(p.start_ip)) r = -1;
    for (int32_t k = 0; k < n; ++k) {
      NvtPlanItem item;
      item.record = p.devices[k];
      item.has_entry = true;
      item.network_type = p.static_flag ? 1 : 0;
      uint32_t ip = 0;
      if (NvtRangeAddress(p.start_ip, k, &ip))
        item.ip_text = IpText(ip);
      else
        item.warnings.push_back("past the end of the range: no request");
      out->push_back(item);
    }
  }
  // Static addresses that another listed device already answers from, or
  // that two devices of the plan would get.
  for (size_t i = 0; i < out->size(); ++i) {
    NvtPlanItem& item = (*out)[i];
    uint32_t ip;
    if (!item.has_entry || item.network_type != 1 || ParseIp(item.ip_text.c_str(), &ip) != 0) continue;
    for (const DeviceRecord& d : listed)
      if (d.ip == ip && std::memcmp(d.mac, item.record.mac, 6) != 0)
        item.warnings.push_back("address already used by " + MacText(d.mac));
    for (size_t j = 0; j < out->size(); ++j) {
      const NvtPlanItem& other = (*out)[j];
      if (j != i && other.has_entry && other.network_type == 1 && other.ip_text == item.ip_text &&
          std::memcmp(other.record.mac, item.record.mac, 6) != 0) {
        item.warnings.push_back("address also given to " + MacText(other.record.mac));
        break;
      }
    }
  }
  return r;
}

std::string NvtPlanText(const std::vector<NvtPlanItem>& plan) {
  std::string text;
  for (const NvtPlanItem& item : plan) {
    text += MacText(item.record.mac);
    if (item.has_entry) {
      text += item.network_type == 1 ? "  STATIC  " : "  DHCP  ";
      text += item.ip_text;
    } else {
      text += "  -";
    }
    for (const std::string& w : item.warnings) text += "  [" + w + "]";
    text += "\n";
  }
  return text;
}

NvtSettingRunner::~NvtSettingRunner() { Stop(); }

bool NvtSettingRunner::Start(NvtSettingParam p, MessageSink* sink) {
  Stop();
  if (thread_.Attached()) return false;  // the last run did not end in time
  stop_.Clear();
  stop_wait_ms_ = p.timings.stop_wait_ms;
  if (thread_.Start([this, param = std::move(p), sink] { NvtSettingThreadProc(param, stop_, sink); })) return true;
  // No thread: the run ends as a faulted one does (nothing was sent).
  std::fprintf(stderr, "%s\n", kNvtSettingFaultText);
  if (sink) {
    WorkerMessage done = MakeText(UM_IP_CHECK_START, kNvtSettingFaultText);
    done.wparam = kNvtSettingFault;
    sink->Post(std::move(done));
  }
  return false;
}

void NvtSettingRunner::Stop() {
  stop_.Set();
  thread_.WaitFor(stop_wait_ms_);
}

bool NvtSettingRunner::Running() const { return thread_.Running(); }
