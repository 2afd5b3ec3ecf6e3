#pragma once
// The inventory's reachability check. A segment of thousands of devices
// costs one child process each with the system "ping" (about 1.2 ms of CPU
// apiece); an ICMP echo socket costs a few system calls. The information
// query and "Ping response" keep the system command (PingCheck).
#include <cstdint>

#include "platform/icmp.h"
#include "platform/thread.h"

// 1 answered (every one of count requests), 0 not. Through an ICMP echo
// socket when the system gives one, else through PingCheck.
int32_t InventoryPingCheck(uint32_t ip, int count, int timeout_ms, const dk::StopFlag& stop);

// Which way InventoryPingCheck takes on this system (kNone: the system ping).
dk::IcmpKind InventoryPingKind();
