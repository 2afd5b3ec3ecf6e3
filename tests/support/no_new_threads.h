#pragma once
// While one lives, the system gives the process no new thread: the default
// stack of a new thread is made larger than any address space, so its
// creation fails as it does when threads or memory run out. Tests use it to
// see what a run does when its worker cannot start. winpthreads (Windows) has
// no default attributes to change: there ok() is false and such tests skip.
#ifdef _WIN32
class NoNewThreads {
 public:
  bool ok() const { return false; }
};
#define DK_NO_NEW_THREADS_SKIP_REASON "winpthreads cannot be made to refuse new threads"
#else
#include <pthread.h>

#include <cstddef>

class NoNewThreads {
 public:
  NoNewThreads() {
    ok_ = pthread_getattr_default_np(&old_) == 0;
    pthread_attr_t huge;
    if (ok_ && pthread_attr_init(&huge) == 0) {
      ok_ = pthread_attr_setstacksize(&huge, size_t(1) << 46) == 0 && pthread_setattr_default_np(&huge) == 0;
      pthread_attr_destroy(&huge);
    }
  }
  ~NoNewThreads() {
    pthread_setattr_default_np(&old_);
    pthread_attr_destroy(&old_);
  }
  NoNewThreads(const NoNewThreads&) = delete;
  NoNewThreads& operator=(const NoNewThreads&) = delete;
  bool ok() const { return ok_; }

 private:
  pthread_attr_t old_;
  bool ok_ = false;
};
#endif
