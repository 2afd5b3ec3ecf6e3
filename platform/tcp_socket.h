#pragma once
// Thin POSIX TCP client layer. Addresses are IPv4 in network byte order, ports
// in host order. Sockets are non-blocking: every wait is bounded by its caller.
#include <cstddef>
#include <cstdint>

namespace dk {

// Non-blocking IPv4 stream socket, or -1.
int TcpOpen();

// Connects s to ip:port, waiting at most timeout_ms for the handshake.
// 0 connected, -1 refused, failed or not done in time.
int TcpConnect(int s, uint32_t ip, uint16_t port, uint32_t timeout_ms);

// Sends all len bytes, waiting at most timeout_ms in all for room.
// Bytes sent (len), or -1. Never raises SIGPIPE.
int TcpSend(int s, const void* data, size_t len, uint32_t timeout_ms);

// One receive of at most cap bytes: bytes received, 0 when the peer has
// closed, -1 on error, -2 when nothing is there to read now.
int TcpRecv(int s, void* buf, size_t cap);

// Waits up to timeout_us for s to become readable (or closed by the peer):
// 1 readable, 0 time-out, -1 error.
int TcpWaitReadable(int s, uint32_t timeout_us);

// Local port of a bound socket (host order), or 0.
uint16_t TcpLocalPort(int s);

// Listening socket on ip:port (port 0 picks one), backlog as given; -1 on
// failure. Used by the simulator and tests.
int TcpListen(uint32_t ip, uint16_t port, int backlog);
// Accepts one connection, waiting at most timeout_ms; the new socket or -1.
int TcpAccept(int listener, uint32_t timeout_ms);

int TcpClose(int s);  // 0

}  // namespace dk
