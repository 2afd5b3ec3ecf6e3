#include "tests/support/cli_runner.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/process.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <thread>

#include "tests/support/tool_path.h"

namespace dktest {

#ifdef _WIN32

namespace {

// The words of a line as /bin/sh splits them with the quoting used here
// (blanks between words, '...' and '\'').
std::vector<std::string> ShellWords(const std::string& line) {
  std::vector<std::string> words;
  std::string w;
  bool in_word = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\'') {
      const size_t end = line.find('\'', i + 1);
      w += line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      in_word = true;
      if (end == std::string::npos) break;
      i = end;
    } else if (c == '\\' && i + 1 < line.size()) {
      w += line[++i];
      in_word = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words.push_back(w);
      w.clear();
      in_word = false;
    } else {
      w += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(w);
  return words;
}

}  // namespace

// No shell on Windows: the words go to the process runner, whose time limit
// kills the CLI. The runner hands the child our standard error, so for the
// run that is a temporary file (removed when closed), read back after it.
// Not for tests that start programs from several threads at once.
CliRun RunCli(const std::vector<std::string>& args, uint32_t limit_ms) {
  CliRun r;
  std::vector<std::string> argv = {CliPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  dk::ProcessTimings t;
  t.limit_ms = limit_ms;
  t.poll_ms = 100;
  t.max_output = 16u << 20;
  char dir[MAX_PATH + 1], name[MAX_PATH + 1];
  if (::GetTempPathA(sizeof dir, dir) == 0 || ::GetTempFileNameA(dir, "dke", 0, name) == 0) return r;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  const HANDLE err = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (err == INVALID_HANDLE_VALUE) {
    ::DeleteFileA(name);
    return r;
  }
  const HANDLE ours = ::GetStdHandle(STD_ERROR_HANDLE);
  ::SetStdHandle(STD_ERROR_HANDLE, err);
  const int32_t rc = dk::ProcessRun(argv, &r.out, t);
  ::SetStdHandle(STD_ERROR_HANDLE, ours);
  // The child wrote through the same file object: read it from the start.
  ::SetFilePointer(err, 0, nullptr, FILE_BEGIN);
  char buf[4096];
  DWORD n = 0;
  while (::ReadFile(err, buf, sizeof buf, &n, nullptr) && n > 0) r.err.append(buf, n);
  ::CloseHandle(err);
  r.timed_out = rc == dk::kProcessTimedOut;
  r.code = rc >= 0 ? rc : -1;
  // A Windows console program ends its lines with CR LF.
  for (std::string* s : {&r.out, &r.err})
    for (size_t at = 0; (at = s->find("\r\n", at)) != std::string::npos;) s->erase(at, 1);
  return r;
}

CliRun RunCli(const std::string& args, uint32_t limit_ms) { return RunCli(ShellWords(args), limit_ms); }

#else

CliRun RunCli(const std::string& args, uint32_t limit_ms) {
  CliRun r;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return r;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return r;
  }
  const std::string cmd = "exec '" + CliPath() + "' " + args;
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);  // its own group: the time limit kills whatever it started
    dup2(out[1], 1);
    dup2(err[1], 2);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return r;
  }
  setpgid(pid, pid);
  // The steady clock: tests may replace the tick source the product reads.
  const auto t0 = std::chrono::steady_clock::now();
  auto expired = [&](uint32_t ms) { return std::chrono::steady_clock::now() - t0 >= std::chrono::milliseconds(ms); };
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&r.out, &r.err};
  int open_fds = 2;
  while (open_fds > 0) {
    if (expired(limit_ms)) {
      r.timed_out = true;
      kill(-pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[4096];
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        into[i]->append(buf, static_cast<size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  for (pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
  int st = 0;
  // Output closed: the CLI has ended or is about to; bounded all the same.
  while (waitpid(pid, &st, WNOHANG) == 0) {
    if (expired(limit_ms + 5000)) {
      r.timed_out = true;
      kill(-pid, SIGKILL);
      waitpid(pid, &st, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!r.timed_out && WIFEXITED(st)) r.code = WEXITSTATUS(st);
  return r;
}

CliRun RunCli(const std::vector<std::string>& args, uint32_t limit_ms) {
  std::string line;
  for (const std::string& a : args) {
    line += " '";
    for (char c : a) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += "'";
  }
  return RunCli(line, limit_ms);
}

#endif

}  // namespace dktest
