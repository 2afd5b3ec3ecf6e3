// dravenkit-cli settings [--dir DIR]: the settings as the window loads them.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "config/settings.h"

namespace {

struct SettingsOptions {
  std::string dir;
};

int RunSettings(const SettingsOptions& o) {
  CNVTSettings settings;
  if (!o.dir.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(o.dir, ec)) {
      std::fprintf(stderr, "dravenkit-cli settings: not a directory: %s\n", o.dir.c_str());
      return kCliFailed;
    }
    (void)settings.LoadFrom(o.dir + "/" + kSettingsFileName);
  } else if (settings.Load() == -1) {
    std::fputs("dravenkit-cli settings: the executable's directory is unknown\n", stderr);
    return kCliFailed;
  }
  for (const auto& kv : SettingsKeyValues(settings)) std::printf("%s=%s\n", kv.first.c_str(), kv.second.c_str());
  return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
}

}  // namespace

void AddSettingsCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<SettingsOptions>();
  CLI::App* sub = app.add_subcommand("settings", "print the settings as KEY=value lines");
  sub->footer(
      "usage: dravenkit-cli settings [--dir DIR]\n"
      "Loads Dravenkit.ini from DIR (default: beside the executable) and prints every key in file order "
      "as KEY=value. A missing file gives the built-in values.");
  sub->add_option("--dir", opts->dir, "directory holding Dravenkit.ini")->expected(1);
  sub->callback([opts, status] { *status = RunSettings(*opts); });
}
