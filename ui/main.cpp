// Dravenkit: the application start. The window runs until it is closed.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "engine/ops/http_requests.h"
#include "platform/socket.h"
#include "ui/app.h"
#include "ui/backend.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

namespace {

const char kHelp[] =
    "Usage: Dravenkit [--help] [--version] [Qt options]\n"
    "Administers network video encoders and decoders on the local Ethernet segment:\n"
    "finds them by UDP broadcast, lists them, changes their network settings by MAC\n"
    "address, reads their firmware version, serial number and mode, restores factory\n"
    "defaults, updates their firmware and pings them.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Discovery broadcasts to 255.255.255.255: run it on the devices' segment only.\n"
    "\n"
    "Files:\n"
    "  Dravenkit.ini          the settings (written with every key on the first start)\n"
    "  DravenkitLanguage.ini  optional replacement texts, section Language, keys 1 to 65\n"
    "Both live beside the program when its folder is the user's (a built or copied\n"
    "program), else, as for an installed one in /usr/bin, in\n"
    "$XDG_CONFIG_HOME/dravenkit/ (default ~/.config/dravenkit/), which is created on\n"
    "the first save. 'dravenkit-cli settings' prints the path on its first line.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt starts, so they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("Dravenkit %s\n", BuildVersion());
      return 0;
    }
  }
  QApplication app(argc, argv);
  // Lets the desktop match the window with its menu entry and icon.
  QApplication::setDesktopFileName(QStringLiteral("dravenkit"));
  ApplyDravenkitLook(&app);
  QtPrompt prompt;
  // The socket library (WSAStartup on Windows) before any window.
  if (dk::SocketLibraryStartup() != 0) {
    std::fprintf(stderr, "Dravenkit: the socket library could not be initialised\n");
    prompt.Info("Failed to initialise Windows sockets.", PromptIcon::kError);
    return 1;
  }
  if (HttpGlobalInit() < 0) {
    std::fprintf(stderr, "Dravenkit: the network support could not be initialised\n");
    prompt.Info("The network support could not be initialised.", PromptIcon::kError);
    return 1;
  }
  EngineBackend backend;
  WindowOptions options;
  options.backend = &backend;
  options.prompt = &prompt;
  CDravenkitDlg window(options);
  prompt.SetParent(&window);
  if (!window.Initialize()) return 1;
  window.show();
  return app.exec();
}
