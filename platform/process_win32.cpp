// Runs a program through CreateProcess with a hidden window, its standard
// output on an anonymous pipe; standard input and error are ours.
#include <windows.h>

#include <mutex>

#include "platform/process.h"
#include "platform/ticks.h"

namespace dk {
namespace {

// One argument quoted the way the C runtime splits a command line: inside
// quotes, backslashes are literal except before a quote, where they double.
void AppendQuoted(const std::string& arg, std::string* line) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    *line += arg;
    return;
  }
  *line += '"';
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') *line += std::string(backslashes * 2 + 1, '\\');
    else *line += std::string(backslashes, '\\');
    backslashes = 0;
    *line += c;
  }
  *line += std::string(backslashes * 2, '\\');
  *line += '"';
}

// The pipe's write end is inheritable only while its child is created: with
// the creations one at a time, no other child (of another worker's run)
// inherits it and keeps the pipe open after this child ends.
std::mutex g_spawn_mu;

}  // namespace

int32_t ProcessRun(const std::vector<std::string>& argv, std::string* output, const ProcessTimings& timings) {
  if (output) output->clear();
  if (argv.empty() || argv[0].empty()) return kProcessBadArgs;
  std::string line;
  for (size_t i = 0; i < argv.size(); ++i) {
    if (i) line += ' ';
    AppendQuoted(argv[i], &line);
  }

  HANDLE rd = nullptr, wr = nullptr;
  PROCESS_INFORMATION pi{};
  {
    std::lock_guard<std::mutex> lk(g_spawn_mu);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (!::CreatePipe(&rd, &wr, &sa, 0)) return kProcessPipeFailed;
    (void)::SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = wr;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    // No application name: the program is looked up as a command line's is
    // (the executable's folder, the system folders, PATH; ".exe" added).
    const BOOL ok = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(wr);
    if (!ok) {
      ::CloseHandle(rd);
      return kProcessSpawnFailed;
    }
  }
  ::CloseHandle(pi.hThread);

  TickTimer t;
  t.Start();
  bool exited = false, timed_out = false;
  TickTimer since_exit;
  char buf[8192];
  for (;;) {
    DWORD avail = 0;
    if (!::PeekNamedPipe(rd, nullptr, 0, nullptr, &avail, nullptr)) break;  // every write end closed
    if (avail > 0) {
      DWORD n = 0;
      if (!::ReadFile(rd, buf, avail < sizeof buf ? avail : sizeof buf, &n, nullptr)) break;
      if (output && output->size() < timings.max_output) {
        size_t room = timings.max_output - output->size();
        output->append(buf, n < room ? n : room);
      }
      continue;
    }
    if (t.Expired(timings.limit_ms)) {
      timed_out = true;
      break;
    }
    if (!exited && ::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
      exited = true;
      since_exit.Start();
    }
    // A grandchild may hold the pipe open after the child ended: give it a
    // short grace, then stop reading.
    if (exited && since_exit.Expired(timings.poll_ms)) break;
    uint32_t wait = exited ? 10 : 5;
    if (!exited) {
      // Sleep in the child's handle, so its end is seen at once.
      (void)::WaitForSingleObject(pi.hProcess, wait);
    } else {
      SleepMs(wait);
    }
  }
  ::CloseHandle(rd);

  // The output has ended; the child may still run. Wait for it within the
  // same limit, then end it.
  if (!timed_out && !exited) {
    uint32_t used = t.Elapsed();
    DWORD left = used >= timings.limit_ms ? 0 : timings.limit_ms - used;
    if (::WaitForSingleObject(pi.hProcess, left) == WAIT_OBJECT_0) exited = true;
    else timed_out = true;
  }
  if (!exited) {
    ::TerminateProcess(pi.hProcess, 1);
    ::WaitForSingleObject(pi.hProcess, 5000);
  }
  DWORD code = 0;
  const BOOL have_code = ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hProcess);
  if (timed_out) return kProcessTimedOut;
  if (!have_code) return 0;
  // Exit codes above INT32_MAX (NTSTATUS values of a crash) stay non-negative.
  return static_cast<int32_t>(code & 0x7FFFFFFF);
}

}  // namespace dk
