#include "platform/stdio_redirect.h"

#include <unistd.h>

#include <cstdio>

namespace dk {

StdoutToStderr::StdoutToStderr() {
  std::fflush(stdout);
  saved_ = ::dup(STDOUT_FILENO);
  if (saved_ >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    ::close(saved_);
    saved_ = -1;
  }
}

StdoutToStderr::~StdoutToStderr() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  (void)::dup2(saved_, STDOUT_FILENO);
  ::close(saved_);
}

}  // namespace dk
