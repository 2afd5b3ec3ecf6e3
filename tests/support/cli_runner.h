#pragma once
// Runs the dravenkit-cli of this build as a child process with a time limit:
// a CLI that hangs is killed (with the shell around it) and the run reported
// as timed out, so no test waits on it for ever.
#include <cstdint>
#include <string>
#include <vector>

namespace dktest {

struct CliRun {
  int code = -1;          // exit status; -1 when it did not exit normally
  bool timed_out = false;
  std::string out, err;   // standard output and standard error
};

// args go through /bin/sh after the CLI's path; callers quote what needs it.
// On Windows (no shell) the line is split into words as sh would split it,
// and out and err have LF line ends.
CliRun RunCli(const std::string& args, uint32_t limit_ms = 60000);
// Each argument exactly as given (quoted for the shell here).
CliRun RunCli(const std::vector<std::string>& args, uint32_t limit_ms = 60000);

}  // namespace dktest
