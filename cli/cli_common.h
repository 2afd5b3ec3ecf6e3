#pragma once
// Pieces the commands share: argument texts, one discovery scan as the
// window runs it, the choice of devices by MAC, JSON forms of device texts.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/devices/device_record.h"
#include "engine/update/worker_messages.h"

namespace CLI {
class App;
}

// Keeps every message; for runs that post from the calling thread only.
class CollectingSink : public MessageSink {
 public:
  void Post(WorkerMessage msg) override { msgs.push_back(std::move(msg)); }
  std::vector<WorkerMessage> msgs;
};

// "00:1A:2B:3C:4D:5E", "00-1A-2B-3C-4D-5E" or the list's "00:1A:2B - 3C:4D:5E",
// any letter case. 0 and mac, or -1.
int ParseMacText(const std::string& text, uint8_t mac[6]);
// Strict dotted quad; 0 and ip (network order), or -1.
int ParseIpText(const std::string& text, uint32_t* ip);

// One discovery scan with XFLAG from the settings (as the window does):
// every device once, at its first reply, in arrival order. Protocol
// diagnostics go to standard error. 0, or -1 after a scan fault (reported).
int ScanOnce(int32_t xflag, std::vector<DeviceRecord>* devices);

// The device choice of a command: --mac MAC ... (each a MAC address) or
// --all, not both. 0, or -1 after saying why on standard error.
int CheckDeviceChoice(const char* me, const std::vector<std::string>& macs, bool all);

// The devices to work on: those named by macs in the order given, or with
// all every device found. -1 with *error naming the first MAC that did not
// answer (or a text that is not a MAC).
int SelectDevices(const std::vector<DeviceRecord>& found, const std::vector<std::string>& macs, bool all,
                  std::vector<DeviceRecord>* out, std::string* error);

// ScanOnce, then SelectDevices: the devices chosen, at least one. 0, or -1
// after saying why on standard error (scan fault, a MAC that did not answer,
// no device at all). found (may be null) receives every device the scan found.
int ScanAndChoose(const char* me, int32_t xflag, const std::vector<std::string>& macs, bool all,
                  std::vector<DeviceRecord>* chosen, std::vector<DeviceRecord>* found = nullptr);

// Device bytes as a JSON string value: valid UTF-8 as it is, every other
// byte read as Latin-1, so nothing is dropped.
std::string JsonText(const char* bytes, size_t n);
inline std::string JsonText(const std::string& s) { return JsonText(s.data(), s.size()); }
// One device with every record field under its key, in record order.
nlohmann::ordered_json DeviceJson(const DeviceRecord& rec);
// Prints j followed by a line feed; false when standard output failed.
bool PrintJson(const nlohmann::ordered_json& j, int indent = -1);

// "%02X:%02X:%02X:%02X:%02X:%02X" and dotted decimal, as the CLI prints them.
std::string MacText(const uint8_t mac[6]);
std::string IpText(uint32_t ip);

// Device texts go to a terminal: VisibleText (C0, C1 and DEL as \xNN).
std::string Printable(const std::string& s);

// A command's password from one of three sources, in this order: --password
// PW (seen by every user of the machine in the process list, and kept in the
// shell history), --password-file FILE (its first line, without the line
// end), the environment variable DRAVENKIT_PASSWORD (unset or empty: none).
extern const char kPasswordEnv[];  // "DRAVENKIT_PASSWORD"
struct PasswordChoice {
  std::string arg, file;
  bool arg_given = false, file_given = false;
};
// Adds --password and --password-file to sub; what describes the password
// and its default, as in "administrator password (default: ...)".
void AddPasswordOptions(CLI::App* sub, PasswordChoice* choice, const std::string& what);
// 1 with *out from the first source that gives one, 0 when none does (the
// command's default applies), -1 after saying on standard error why the
// file could not be read.
int ResolvePassword(const char* me, const PasswordChoice& choice, std::string* out);
// The first line of text without its line end (LF or CR LF).
std::string FirstLineOf(const std::string& text);
