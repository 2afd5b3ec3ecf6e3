#include "engine/ops/inventory_ping.h"

#include "engine/ops/ping_tools.h"

int32_t InventoryPingCheck(uint32_t ip, int count, int timeout_ms, const dk::StopFlag& stop) {
  // One socket per thread, kept for the thread's life (the inventory's
  // device workers live for one run): each sees only its own replies (the
  // kernel demultiplexes datagram sockets; raw ones carry a filter, whose
  // compilation costs more than the echo itself). A socket the system
  // refuses costs a failed call each time, next to a child process.
  thread_local dk::IcmpEchoSocket sock;
  if (sock.kind() != dk::IcmpKind::kNone || sock.Open()) {
    const int32_t r = sock.Echo(ip, count, timeout_ms, &stop);
    if (r >= 0) return r;
    // A send the socket refused: the command may still get through.
  }
  if (stop.IsSet()) return 0;
  return PingCheck(ip, count, timeout_ms);
}

dk::IcmpKind InventoryPingKind() {
  dk::IcmpEchoSocket sock;
  return sock.Open() ? sock.kind() : dk::IcmpKind::kNone;
}
