// Dravenkit: the application start. The window runs until it is closed.
#include <QApplication>
#include <cstdio>

#include "engine/ops/http_requests.h"
#include "ui/app.h"
#include "ui/backend.h"
#include "ui/main_window.h"
#include "ui/prompt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ApplyDravenkitLook(&app);
  QtPrompt prompt;
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
