#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#include <iphlpapi.h>
#else
#include <net/if.h>
#include <sys/stat.h>
#endif

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <cstring>
#include <vector>

#include "platform/adapters.h"
#include "platform/exe_path.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "platform/ticks.h"
#include "tests/support/fake_clock.h"
#include "tests/support/no_new_threads.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(TickTimer, WrapOfTheTickCountDoesNoHarm) {
  FakeClock clock(0xFFFFFF00u);
  dk::TickTimer t;
  t.Start();
  FakeClock::Advance(0x80);
  EXPECT_FALSE(t.Expired(500));
  FakeClock::Advance(0x100 + 500);  // past the wrap
  EXPECT_TRUE(t.Expired(500));
  EXPECT_EQ(t.Elapsed(), 0x180u + 500u);
}

TEST(TickTimer, RealClockMoves) {
  dk::TickTimer t;
  t.Start();
  dk::SleepMs(20);
  EXPECT_GE(t.Elapsed(), 19u);
}

TEST(WorkerThread, BoundedWaitAndCooperativeStop) {
  dk::StopFlag stop;
  std::atomic<int> passes{0};
  dk::WorkerThread w;
  ASSERT_TRUE(w.Start([&] {
    while (!stop.IsSet()) {
      ++passes;
      dk::SleepMs(1);
    }
  }));
  EXPECT_TRUE(w.Running());
  EXPECT_FALSE(w.Start([] {})) << "one body at a time";
  EXPECT_FALSE(w.WaitFor(20)) << "still running: the wait gives up, nothing is killed";
  stop.Set();
  EXPECT_TRUE(w.WaitFor(2000));
  EXPECT_FALSE(w.Running());
  EXPECT_GT(passes.load(), 0);
  // A finished thread can be restarted.
  std::atomic<bool> ran{false};
  ASSERT_TRUE(w.Start([&] { ran = true; }));
  EXPECT_TRUE(w.WaitFor(2000));
  EXPECT_TRUE(ran);
}

// No thread from the system is a false start, not an exception; a fault
// inside a body ends only its thread.
TEST(WorkerThread, NoThreadIsAFalseStartAndAFaultEndsOnlyItsThread) {
  dk::WorkerThread w;
  dk::WorkerGroup g;
  bool ran = false;
#ifndef _WIN32  // DK_NO_NEW_THREADS_SKIP_REASON there; the fault part still runs
  {
    NoNewThreads none;
    ASSERT_TRUE(none.ok());
    EXPECT_FALSE(w.Start([&] { ran = true; }));
    EXPECT_FALSE(w.Attached());
    EXPECT_FALSE(g.Launch([&](const dk::StopFlag&) { ran = true; }));
    EXPECT_FALSE(g.Running());
  }
  EXPECT_FALSE(ran);
#endif
  ASSERT_TRUE(w.Start([] { throw std::runtime_error("worker fault"); }));
  EXPECT_TRUE(w.WaitFor(2000));
  EXPECT_TRUE(w.Faulted());
  ASSERT_TRUE(w.Start([&] { ran = true; }));  // the thread is usable again
  EXPECT_TRUE(w.WaitFor(2000));
  EXPECT_TRUE(ran);
  EXPECT_FALSE(w.Faulted());
}

TEST(WorkerGroup, NewerRunSupersedesOlderWithoutWaiting) {
  std::atomic<int> first_ended{0}, second_ended{0};
  dk::WorkerGroup g;
  auto until_stopped = [](std::atomic<int>* ended) {
    return [ended](const dk::StopFlag& stop) {
      while (!stop.IsSet()) dk::SleepMs(1);
      ++*ended;
    };
  };
  ASSERT_TRUE(g.Launch(until_stopped(&first_ended)));
  g.SignalAll();
  ASSERT_TRUE(g.Launch(until_stopped(&second_ended)));
  for (int i = 0; i < 2000 && first_ended == 0; ++i) dk::SleepMs(1);
  EXPECT_EQ(first_ended, 1) << "the superseded run saw its own flag";
  EXPECT_EQ(second_ended, 0) << "the new run has a fresh flag";
  EXPECT_TRUE(g.Running());
  g.StopAll(2000);
  EXPECT_EQ(second_ended, 1);
  EXPECT_FALSE(g.Running());
}

// Only loopback is named, so nothing leaves the machine wherever this runs.
TEST(BroadcastAdapters, OneCopyPerNamedAdapterWithBytesUnchanged) {
#ifdef _WIN32
  // Windows names interfaces otherwise: the software loopback one.
  uint32_t lo = 0;
  {
    ULONG size = 64 * 1024;
    std::vector<unsigned char> buf(size);
    auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data());
    ASSERT_EQ(::GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size), static_cast<ULONG>(ERROR_SUCCESS));
    for (auto* a = list; a; a = a->Next)
      if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK) lo = a->IfIndex;
  }
#else
  const uint32_t lo = ::if_nametoindex("lo");
#endif
  ASSERT_NE(lo, 0u);
  const uint16_t port = 32999;
  int rx = dk::UdpOpen();
  ASSERT_EQ(dk::SocketBind(rx, dk::kIpAny, port), 0);
  int tx = dk::UdpOpen();
  ASSERT_EQ(dk::UdpSetBroadcast(tx), 0);
  const uint8_t req[] = {'A', 'D', 'C', 'T', 2, 9, 0, 3, 0xFF};

  dk::BroadcastAdapters none{};
  none.count = 0;
  EXPECT_EQ(dk::UdpSendToAdapters(tx, none, req, sizeof req, dk::IpBroadcast(), port), 0);
  EXPECT_EQ(dk::SocketWaitReadable(rx, 0, 50000), 0);

  dk::BroadcastAdapters one{};
  one.count = 1;
  one.index[0] = lo;
  ASSERT_EQ(dk::UdpSendToAdapters(tx, one, req, sizeof req, dk::IpBroadcast(), port), 1);
  ASSERT_EQ(dk::SocketWaitReadable(rx, 1, 0), 1);
  uint8_t buf[64] = {};
  ASSERT_EQ(dk::UdpRecvFrom(rx, buf, sizeof buf, nullptr, nullptr), int(sizeof req));
  EXPECT_EQ(std::memcmp(buf, req, sizeof req), 0);

  // An interface that does not exist: nothing counted as sent.
  one.index[0] = 999999;
  EXPECT_EQ(dk::UdpSendToAdapters(tx, one, req, sizeof req, dk::IpBroadcast(), port), 0);
  // Not a limited broadcast, or no list: one plain send.
  uint32_t loopback;
  const uint8_t o[4] = {127, 0, 0, 1};
  std::memcpy(&loopback, o, 4);
  EXPECT_EQ(dk::UdpSendToAdapters(tx, none, req, sizeof req, loopback, port), 1);
  dk::BroadcastAdapters unread{};
  unread.count = -1;
  EXPECT_EQ(dk::UdpSendToAdapters(tx, unread, req, sizeof req, loopback, port), 1);
  dk::SocketClose(tx);
  dk::SocketClose(rx);
}

TEST(BroadcastAdapters, DeviceAdapterChoice) {
  dk::NetInterface n;
  n.up = true;
  n.broadcast = true;
  EXPECT_TRUE(dk::IsDeviceAdapter(n));  // up, no address yet
  n.broadcast = false;
  EXPECT_FALSE(dk::IsDeviceAdapter(n));
  n.ipv4.push_back({});
  EXPECT_TRUE(dk::IsDeviceAdapter(n));
  n.loopback = true;
  EXPECT_FALSE(dk::IsDeviceAdapter(n));
  n.loopback = false;
  n.up = false;
  EXPECT_FALSE(dk::IsDeviceAdapter(n));
}

TEST(ExecutableDir, RealAndOverridden) {
  std::string dir;
  ASSERT_TRUE(dk::ExecutableDir(&dir));
  EXPECT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '/');
  dk::SetExecutableDirOverride("/tmp/x");
  ASSERT_TRUE(dk::ExecutableDir(&dir));
  EXPECT_EQ(dir, "/tmp/x");
#ifdef _WIN32
  EXPECT_EQ(dk::PathBesideExecutable(dir, "Dravenkit.ini"), "/tmp/x\\Dravenkit.ini");
  EXPECT_EQ(dk::PathBesideExecutable("C:\\", "Dravenkit.ini"), "C:\\Dravenkit.ini");
#else
  EXPECT_EQ(dk::PathBesideExecutable(dir, "Dravenkit.ini"), "/tmp/x/Dravenkit.ini");
#endif
  dk::SetExecutableDirOverride("");
  ASSERT_TRUE(dk::ExecutableDir(&dir));
  EXPECT_NE(dir, "/tmp/x");
}

TEST(ConfigDir, UserFolderFromTheEnvironment) {
  struct Case {
    const char* xdg;
    const char* home;
    const char* want;
  };
  const Case cases[] = {
      {"/cfg", "/home/op", "/cfg/dravenkit"},
      {nullptr, "/home/op", "/home/op/.config/dravenkit"},
      {"", "/home/op/", "/home/op/.config/dravenkit"},     // empty counts as unset
      {"rel/cfg", "/home/op", "/home/op/.config/dravenkit"},  // relative: invalid, ignored
      {nullptr, "/", "/.config/dravenkit"},
      {nullptr, nullptr, ""},
      {nullptr, "relative", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dk::UserConfigDirFrom(c.xdg, c.home), c.want)
        << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
  }
}

TEST(ConfigDir, ProgramFolderOnlyWhenItIsTheUsers) {
  TempDir t;
  EXPECT_TRUE(dk::ProgramDirIsUsers(t.path()));
  EXPECT_FALSE(dk::ProgramDirIsUsers(t.File("missing")));
  t.Write("file", "x");
  EXPECT_FALSE(dk::ProgramDirIsUsers(t.File("file")));
#ifndef _WIN32
  // Even for root, whom every folder lets write.
  EXPECT_FALSE(dk::ProgramDirIsUsers("/usr/bin"));
  EXPECT_FALSE(dk::ProgramDirIsUsers("/usr/local/bin"));
  EXPECT_FALSE(dk::ProgramDirIsUsers("/bin"));  // a link to /usr/bin on merged systems
#endif

  // A build tree the user may write keeps the files beside the program.
  std::string exe, cfg, user;
  ASSERT_TRUE(dk::ExecutableDir(&exe));
  ASSERT_TRUE(dk::ConfigDir(&cfg));
  if (dk::ProgramDirIsUsers(exe)) {
    EXPECT_EQ(cfg, exe);
  } else {
    ASSERT_TRUE(dk::UserConfigDir(&user));
    EXPECT_EQ(cfg, user);
  }
  dk::SetExecutableDirOverride(t.path());
  ASSERT_TRUE(dk::ConfigDir(&cfg));
  EXPECT_EQ(cfg, t.path());
  dk::SetExecutableDirOverride("");
}

TEST(ConfigDir, MakeDirsCreatesParentsAndReportsWhatStopsIt) {
  TempDir t;
  const std::string deep = t.File("a/b/dravenkit");
  EXPECT_EQ(dk::MakeDirs(deep), 0);
#ifdef _WIN32
  EXPECT_TRUE(std::filesystem::is_directory(deep));
#else
  struct stat st;
  ASSERT_EQ(::stat(deep.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);  // the files hold passwords
#endif
  EXPECT_EQ(dk::MakeDirs(deep), 0);     // already there
  t.Write("plain", "x");
  EXPECT_EQ(dk::MakeDirs(t.File("plain/dravenkit")), ENOTDIR);
  EXPECT_EQ(dk::MakeDirs(t.File("plain")), EEXIST);
  EXPECT_EQ(dk::MakeDirs(""), ENOENT);
}

}  // namespace
