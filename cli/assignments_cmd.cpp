// dravenkit-cli assignments FILE [--json]: the valid entries of an IP
// assignment file, exactly as the window's viewer shows them.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "config/assignment_file.h"

namespace {

struct AssignmentsOptions {
  std::string file;
  bool json = false;
};

int RunAssignments(const AssignmentsOptions& o) {
  int n = 0;
  bool first = true;
  if (o.json) std::fputs("[", stdout);
  else std::puts("No.\tMAC address\tType\tIP address\tSubnet mask\tGateway\tDNS");
  // Streamed: a huge file never has to fit in memory.
  const int32_t r = ReadAssignmentFile(o.file, [&](const AssignmentEntry& e) {
    ++n;
    if (o.json) {
      nlohmann::ordered_json j;
      j["no"] = n;
      j["mac"] = JsonText(e.mac);
      j["type"] = e.type;
      j["ip"] = JsonText(e.ip);
      j["mask"] = JsonText(e.subnet_mask);
      j["gateway"] = JsonText(e.gateway);
      j["dns"] = JsonText(e.dns_server);
      std::printf("%s\n  %s", first ? "" : ",", j.dump().c_str());
      first = false;
    } else {
      std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\n", AssignmentNumberText(n).c_str(), Printable(e.mac).c_str(),
                  e.type.c_str(), e.ip.c_str(), e.subnet_mask.c_str(), e.gateway.c_str(), e.dns_server.c_str());
    }
  });
  if (r < 0) {
    std::fflush(stdout);
    std::fprintf(stderr, "dravenkit-cli assignments: cannot open '%s'\n", o.file.c_str());
    if (o.json) std::puts("]");
    return kCliFailed;
  }
  if (o.json) std::puts(first ? "]" : "\n]");
  return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
}

}  // namespace

void AddAssignmentsCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<AssignmentsOptions>();
  CLI::App* sub = app.add_subcommand("assignments", "list the valid entries of an IP assignment file");
  sub->footer(
      "usage: dravenkit-cli assignments FILE [--json]\n"
      "Prints the entries the multiple IP setting would use, numbered as the window's DB Viewer shows "
      "them: a tab-separated table, or with --json an array of objects (no, mac, type, ip, mask, gateway, "
      "dns). Invalid lines are left out. Exit status 1 when the file cannot be opened.");
  sub->add_option("FILE", opts->file, "the IP assignment file")->required();
  sub->add_flag("--json", opts->json, "print a JSON array");
  sub->callback([opts, status] { *status = RunAssignments(*opts); });
}
