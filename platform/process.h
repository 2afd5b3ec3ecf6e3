#pragma once
// Runs a program with an argument vector (no shell), its standard output on a
// pipe that is read until it ends. Standard input and error are ours.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dk {

struct ProcessTimings {
  uint32_t poll_ms = 500;        // longest single wait for output or the end
  uint32_t limit_ms = 30000;     // a child still running then is killed
  size_t max_output = 65536;     // output kept; the rest is read and dropped
};

// Failure codes of ProcessRun (exit statuses are >= 0).
constexpr int32_t kProcessPipeFailed = -1;
constexpr int32_t kProcessSpawnFailed = -2;  // includes a program not found
constexpr int32_t kProcessTimedOut = -3;     // killed at limit_ms
constexpr int32_t kProcessBadArgs = -4;      // empty argument vector

// argv[0] is looked up on PATH. Returns the exit status (128 + signal number
// for a child ended by a signal) or one of the failure codes. output (may be
// null) receives what the child wrote to standard output.
int32_t ProcessRun(const std::vector<std::string>& argv, std::string* output, const ProcessTimings& timings = {});

}  // namespace dk
