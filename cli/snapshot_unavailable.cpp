// dravenkit-cli snapshot in a build without the video client (the Windows
// build of the test command leaves FFmpeg out): the command is listed and
// says where it is, instead of being an unknown command.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/commands.h"

void AddSnapshotCommand(CLI::App& app, int* status) {
  CLI::App* sub = app.add_subcommand("snapshot", "save one picture of a device's live video as PNG");
  sub->allow_extras();
  sub->footer("This build has no video client (FFmpeg); the Windows package and the Linux build have it.");
  sub->callback([status] {
    std::fprintf(stderr,
                 "dravenkit-cli snapshot: not part of this build (it has no video client, FFmpeg); "
                 "use the dravenkit-cli of the Windows package or of the Linux build\n");
    *status = kCliFailed;
  });
}
