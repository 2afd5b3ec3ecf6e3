#pragma once
// Sends what is written to standard output to standard error for a while, so
// a command can keep its own output clean of lower layers' diagnostics.
namespace dk {

class StdoutToStderr {
 public:
  StdoutToStderr();
  ~StdoutToStderr();  // restores standard output
  StdoutToStderr(const StdoutToStderr&) = delete;
  StdoutToStderr& operator=(const StdoutToStderr&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace dk
