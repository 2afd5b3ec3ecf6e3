// dravenkit-cli settings [--dir DIR]: the settings as the window loads them.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "config/settings.h"
#include "platform/exe_path.h"
#include "platform/ini.h"

namespace {

struct SettingsOptions {
  std::string dir;
};

int RunSettings(const SettingsOptions& o) {
  CNVTSettings settings;
  std::string path;
  if (!o.dir.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_directory(o.dir, ec)) {
      std::fprintf(stderr, "dravenkit-cli settings: not a directory: %s\n", o.dir.c_str());
      return kCliFailed;
    }
    path = dk::PathBesideExecutable(o.dir, kSettingsFileName);
  } else if (!SettingsFilePath(&path)) {
    std::fputs("dravenkit-cli settings: neither the program's folder nor a home folder is usable\n", stderr);
    return kCliFailed;
  }
  // A missing file leaves the built-in values; the path is printed all the
  // same, so an operator knows where to create it.
  (void)settings.LoadFrom(path);
  std::printf("%s\n", path.c_str());
  for (const auto& kv : SettingsKeyValues(settings)) std::printf("%s=%s\n", kv.first.c_str(), Printable(kv.second).c_str());
  // The file holds the administrator passwords.
  unsigned mode = 0;
  if (dk::FileReadableByOthers(path, &mode))
    std::fprintf(stderr,
                 "dravenkit-cli settings: %s is readable by other users (mode %04o) and holds passwords; "
                 "chmod 600 it\n",
                 path.c_str(), mode);
  return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
}

}  // namespace

void AddSettingsCommand(CLI::App& app, int* status) {
  auto opts = std::make_shared<SettingsOptions>();
  CLI::App* sub = app.add_subcommand("settings", "print the settings file's path, then the settings as KEY=value lines");
  sub->footer(
      "usage: dravenkit-cli settings [--dir DIR]\n"
      "Loads Dravenkit.ini from DIR (default: beside the executable, or $XDG_CONFIG_HOME/dravenkit/ "
      "(~/.config/dravenkit/) for an installed copy) and prints the file's path on the first line, "
      "then every key in file order as KEY=value. A missing file gives the built-in values.");
  sub->add_option("--dir", opts->dir, "directory holding Dravenkit.ini")->expected(1);
  sub->callback([opts, status] { *status = RunSettings(*opts); });
}
