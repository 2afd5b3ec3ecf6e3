#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/ticks.h"

extern char** environ;

namespace dk {
namespace {
int32_t StatusCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 0;
}

// The child's environment: ours with LC_ALL=C, so that the output we search
// (ping's summary) is never translated.
std::vector<char*> ChildEnv(std::vector<std::string>* store) {
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, "LC_ALL=", 7) == 0) continue;
    store->emplace_back(*e);
  }
  store->emplace_back("LC_ALL=C");
  std::vector<char*> out;
  for (auto& s : *store) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}
}  // namespace

int32_t ProcessRun(const std::vector<std::string>& argv, std::string* output, const ProcessTimings& timings) {
  if (output) output->clear();
  if (argv.empty() || argv[0].empty()) return kProcessBadArgs;

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return kProcessPipeFailed;

  posix_spawn_file_actions_t fa;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&fa);
  posix_spawnattr_init(&attr);
  // dup2 onto 1 clears close-on-exec for the child's copy only.
  posix_spawn_file_actions_adddup2(&fa, fds[1], STDOUT_FILENO);
  // We ignore SIGPIPE; the child must start with default dispositions and an
  // empty mask, since ignored signals survive exec.
  sigset_t def, mask;
  sigemptyset(&def);
  sigaddset(&def, SIGPIPE);
  sigemptyset(&mask);
  posix_spawnattr_setsigdefault(&attr, &def);
  posix_spawnattr_setsigmask(&attr, &mask);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> args_store(argv.begin(), argv.end());
  std::vector<char*> args;
  for (auto& a : args_store) args.push_back(a.data());
  args.push_back(nullptr);
  std::vector<std::string> env_store;
  std::vector<char*> env = ChildEnv(&env_store);

  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, args[0], &fa, &attr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    return kProcessSpawnFailed;
  }

  int rd = fds[0];
  (void)::fcntl(rd, F_SETFL, ::fcntl(rd, F_GETFL) | O_NONBLOCK);
  TickTimer t;
  t.Start();
  bool eof = false, exited = false, timed_out = false;
  int status = 0;
  TickTimer since_exit;
  char buf[8192];
  while (!eof) {
    uint32_t used = t.Elapsed();
    if (used >= timings.limit_ms) {
      timed_out = true;
      break;
    }
    uint32_t wait = timings.limit_ms - used;
    if (wait > timings.poll_ms) wait = timings.poll_ms;
    // A grandchild may hold the pipe open after the child ended: give it a
    // short grace, then stop reading.
    if (exited) {
      if (since_exit.Expired(timings.poll_ms)) break;
      wait = 10;
    }
    pollfd p{rd, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(wait));
    if (r < 0 && errno != EINTR) break;
    if (r > 0) {
      for (;;) {
        ssize_t n = ::read(rd, buf, sizeof buf);
        if (n > 0) {
          if (output && output->size() < timings.max_output) {
            size_t room = timings.max_output - output->size();
            output->append(buf, static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room);
          }
          continue;
        }
        if (n == 0) eof = true;
        else if (errno == EINTR) continue;
        else if (errno != EAGAIN && errno != EWOULDBLOCK) eof = true;
        break;
      }
    }
    if (!exited) {
      pid_t w = ::waitpid(pid, &status, WNOHANG);
      if (w == pid) {
        exited = true;
        since_exit.Start();
      } else if (w < 0 && errno != EINTR) {
        exited = true;  // not our child any more; nothing left to wait for
        status = 0;
        since_exit.Start();
      }
    }
  }
  ::close(rd);

  // The output has ended; the child may still run (it can close its standard
  // output early). Wait for it within the same limit, then kill it.
  while (!exited && !timed_out) {
    pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid || (w < 0 && errno != EINTR)) {
      exited = true;
      break;
    }
    if (t.Expired(timings.limit_ms)) {
      timed_out = true;
      break;
    }
    SleepMs(2);
  }
  if (!exited) {
    ::kill(pid, SIGKILL);
    pid_t w;
    do {
      w = ::waitpid(pid, &status, 0);  // SIGKILL cannot be caught: this is short
    } while (w < 0 && errno == EINTR);
  }
  if (timed_out) return kProcessTimedOut;
  return StatusCode(status);
}

}  // namespace dk
