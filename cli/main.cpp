// dravenkit-cli: dispatches to one sub-command.
#include <cstdio>
#include <cstring>

#include "cli/commands.h"

namespace {

const char kUsage[] =
    "usage: dravenkit-cli <command> [options]\n"
    "\n"
    "commands:\n"
    "  discover [--json]       one discovery scan; list the devices that answered\n"
    "  settings [--dir DIR]    print the settings (Dravenkit.ini in DIR or beside\n"
    "                          the executable) as KEY=value lines\n"
    "  info ...                read a device's system mode, firmware version and\n"
    "                          serial number (dravenkit-cli info --help)\n"
    "  ping ...                check which devices answer ping (dravenkit-cli ping --help)\n"
    "  help                    show this text\n"
    "\n"
    "exit status: 0 ok, 1 the operation failed, 2 usage error\n";

struct Command {
  const char* name;
  int (*run)(int, char**);
};

const Command kCommands[] = {
    {"discover", CliDiscover},
    {"settings", CliSettings},
    {"info", CliInfo},
    {"ping", CliPing},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kCliUsage;
  }
  const char* name = argv[1];
  if (!std::strcmp(name, "help") || !std::strcmp(name, "--help") || !std::strcmp(name, "-h")) {
    std::fputs(kUsage, stdout);
    return kCliOk;
  }
  for (const Command& c : kCommands)
    if (!std::strcmp(name, c.name)) return c.run(argc - 1, argv + 1);
  std::fprintf(stderr, "dravenkit-cli: unknown command '%s'\n\n", name);
  std::fputs(kUsage, stderr);
  return kCliUsage;
}
