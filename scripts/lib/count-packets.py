#!/usr/bin/env python3
"""Counts what arrives on one interface: TALQ datagrams, other UDP datagrams,
ICMP echo requests and TCP connection attempts (SYN without ACK).

  count-packets.py IFACE COUNTS_FILE READY_FILE SECONDS

Runs until SIGTERM or SECONDS, then writes "talq=N udp=N icmp=N tcp=N" to
COUNTS_FILE; one line per packet counted goes to standard output."""
import signal
import socket
import struct
import sys
import time

TALQ_PORTS = {32153, 32154, 33000, 33001}


def main():
    iface, counts_file, ready_file, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.ntohs(0x0003))
    s.bind((iface, 0))
    s.settimeout(0.2)
    counts = {"talq": 0, "udp": 0, "icmp": 0, "tcp": 0}
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    open(ready_file, "w").close()
    end = time.monotonic() + seconds
    draining = False
    while True:
        if not draining and (stop or time.monotonic() >= end):
            # What is queued already arrived: read it without waiting.
            draining = True
            s.setblocking(False)
        try:
            frame, addr = s.recvfrom(65535)
        except (socket.timeout, InterruptedError):
            continue
        except BlockingIOError:
            break
        if addr[2] == socket.PACKET_OUTGOING or len(frame) < 34 or frame[12:14] != b"\x08\x00":
            continue
        ihl = (frame[14] & 15) * 4
        proto = frame[23]
        l4 = frame[14 + ihl:]
        src, dst = socket.inet_ntoa(frame[26:30]), socket.inet_ntoa(frame[30:34])
        if proto == 17 and len(l4) >= 4:
            sport, dport = struct.unpack("!HH", l4[:4])
            key = "talq" if dport in TALQ_PORTS else "udp"
            what = "%s:%d -> %s:%d" % (src, sport, dst, dport)
        elif proto == 1 and l4[:1] == b"\x08":
            key, what = "icmp", "%s -> %s" % (src, dst)
        elif proto == 6 and len(l4) >= 14 and (l4[13] & 0x12) == 0x02:
            sport, dport = struct.unpack("!HH", l4[:4])
            key, what = "tcp", "%s:%d -> %s:%d" % (src, sport, dst, dport)
        else:
            continue
        counts[key] += 1
        print("%s %s" % (key, what), flush=True)
    with open(counts_file, "w") as f:
        f.write(" ".join("%s=%d" % kv for kv in counts.items()) + "\n")


if __name__ == "__main__":
    main()
