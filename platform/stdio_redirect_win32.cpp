// The C runtime's descriptors on Windows: _dup and _dup2 as on POSIX.
#include <io.h>

#include <cstdio>

#include "platform/stdio_redirect.h"

namespace dk {

StdoutToStderr::StdoutToStderr() {
  std::fflush(stdout);
  saved_ = ::_dup(_fileno(stdout));
  if (saved_ >= 0 && ::_dup2(_fileno(stderr), _fileno(stdout)) < 0) {
    ::_close(saved_);
    saved_ = -1;
  }
}

StdoutToStderr::~StdoutToStderr() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  (void)::_dup2(saved_, _fileno(stdout));
  ::_close(saved_);
}

}  // namespace dk
