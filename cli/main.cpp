// dravenkit-cli: dispatches to one sub-command.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "platform/socket.h"

namespace {

const char kVersionText[] = "dravenkit-cli 1.0.1.2";

const char kSynopsis[] =
    "usage: dravenkit-cli <command> [options]\n"
    "\n"
    "commands:\n"
    "  discover [--json | --csv [-o FILE]]\n"
    "                          one discovery scan; list the devices that answered\n"
    "  settings [--dir DIR]    print the settings (Dravenkit.ini in DIR or beside\n"
    "                          the executable) as KEY=value lines\n"
    "  info IP [--port N] [--json]\n"
    "                          read a device's system mode, firmware version and\n"
    "                          serial number\n"
    "  ping                    check which devices answer ping\n"
    "  update --file PATH --version TEXT (--mac MAC ... | --all) [options]\n"
    "                          update the firmware of devices\n"
    "  factory-default (--mac MAC ... | --all) [--user ID] [--password PW] [--json]\n"
    "                          reset devices to their factory settings and wait\n"
    "                          until they answer from 192.168.1.2\n"
    "  snapshot IP --out FILE.png [--port N] [--channel C] [--user ID]\n"
    "           [--password PW] [--timeout S]\n"
    "                          save one picture of a device's live video\n"
    "  set-network MAC (--static IP MASK GATEWAY DNS | --dhcp) --user ID --password PW\n"
    "                          [--verify-timeout SECONDS] [--json]\n"
    "                          change one device's address and wait until it answers\n"
    "  assignments FILE [--json]\n"
    "                          list the valid entries of an IP assignment file\n"
    "  assign (--start IP | --file PATH) (--mac MAC ... | --all) [--dry-run] [--json]\n"
    "                          give many devices new addresses, then verify them\n"
    "  inventory [--mac MAC ... | --all] [--expect-version TEXT] [--concurrency N]\n"
    "            [--json | --csv [-o FILE]]\n"
    "                          read system mode, firmware version and serial\n"
    "                          number of many devices at once\n"
    "  help                    show this text\n"
    "\n"
    "Every command has its own --help.\n"
    "A password given with --password is visible to other users of this machine\n"
    "(process list, shell history): every command that takes one also takes\n"
    "--password-file FILE (its first line) and DRAVENKIT_PASSWORD, in that order.\n"
    "exit status: 0 ok, 1 the operation failed, 2 usage error\n";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Administers network video encoders and decoders on one Ethernet segment.", "dravenkit-cli"};
  app.set_version_flag("--version", kVersionText);
  app.require_subcommand(1);
  app.footer(
      "Passwords: an argument such as --password PW is visible to every user of this machine (in the process "
      "list) and stays in the shell history. Every command that takes a password also takes --password-file "
      "FILE (the file's first line) and the environment variable DRAVENKIT_PASSWORD; the argument comes "
      "first, then the file, then the environment.");
  int status = kCliOk;
  AddDiscoverCommand(app, &status);
  AddSettingsCommand(app, &status);
  AddInfoCommand(app, &status);
  AddPingCommand(app, &status);
  AddUpdateCommand(app, &status);
  AddFactoryDefaultCommand(app, &status);
  AddSnapshotCommand(app, &status);
  AddSetNetworkCommand(app, &status);
  AddAssignmentsCommand(app, &status);
  AddAssignCommand(app, &status);
  AddInventoryCommand(app, &status);

  if (argc < 2) {
    std::fputs(kSynopsis, stderr);
    return kCliUsage;
  }
  // The socket library first (WSAStartup on Windows): without it no command works.
  if (dk::SocketLibraryStartup() != 0) {
    std::fputs("dravenkit-cli: the socket library could not be initialised\n", stderr);
    return kCliFailed;
  }
  const std::string first = argv[1];
  if (first == "help") {
    std::fputs(kSynopsis, stdout);
    return kCliOk;
  }
  if (first[0] != '-') {
    bool known = false;
    for (const CLI::App* sub : app.get_subcommands({}))
      if (sub->get_name() == first) known = true;
    if (!known) {
      std::fprintf(stderr, "dravenkit-cli: unknown command '%s'\n\n", first.c_str());
      std::fputs(kSynopsis, stderr);
      return kCliUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and version end well; every other parse problem is a usage error.
    return app.exit(e) == 0 ? kCliOk : kCliUsage;
  }
  return status;
}
