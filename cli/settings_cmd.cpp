// dravenkit-cli settings [--dir DIR]: the settings as the window loads them.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "config/settings.h"

namespace {

const char kSettingsUsage[] =
    "usage: dravenkit-cli settings [--dir DIR]\n"
    "  Loads Dravenkit.ini from DIR (default: beside the executable) and prints\n"
    "  every key in file order as KEY=value. A missing file gives the built-in values.\n";

int Usage(const char* problem, const char* arg) {
  std::fprintf(stderr, "dravenkit-cli settings: %s%s%s\n", problem, arg ? " " : "", arg ? arg : "");
  std::fputs(kSettingsUsage, stderr);
  return kCliUsage;
}

}  // namespace

int CliSettings(int argc, char** argv) {
  const char* dir = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--dir")) {
      if (i + 1 >= argc) return Usage("--dir needs a directory", nullptr);
      if (dir) return Usage("--dir given twice", nullptr);
      dir = argv[++i];
    } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kSettingsUsage, stdout);
      return kCliOk;
    } else {
      return Usage("unexpected argument", argv[i]);
    }
  }

  CNVTSettings settings;
  if (dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
      std::fprintf(stderr, "dravenkit-cli settings: not a directory: %s\n", dir);
      return kCliFailed;
    }
    (void)settings.LoadFrom(std::string(dir) + "/" + kSettingsFileName);
  } else if (settings.Load() == -1) {
    std::fputs("dravenkit-cli settings: the executable's directory is unknown\n", stderr);
    return kCliFailed;
  }
  for (const auto& kv : SettingsKeyValues(settings)) std::printf("%s=%s\n", kv.first.c_str(), kv.second.c_str());
  return std::fflush(stdout) == 0 ? kCliOk : kCliFailed;
}
