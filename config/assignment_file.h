#pragma once
// The IP assignment file ("DB file"): one device per line, six white-space
// separated fields (MAC, STATIC/DHCP, IP address, subnet mask, gateway, DNS
// server). One reader serves the viewer, the multiple IP setting run and the
// command line, so all of them use exactly the same entries.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Lines are read in pieces of at most this many bytes minus one; a longer
// line becomes several pieces, each treated as a line of its own.
constexpr size_t kAssignmentLineSize = 2048;
// A field longer than this makes its line invalid (a cut address or MAC
// would name something else).
constexpr size_t kAssignmentFieldMax = 63;

struct AssignmentEntry {
  std::string mac;   // as written
  std::string type;  // "STATIC" or "DHCP"
  std::string ip, subnet_mask, gateway, dns_server;  // as written
};

// The loose dotted-address test: digits and dots only, groups of at most
// three digits (empty groups allowed), exactly three dots. 1 passes, 0 fails.
int32_t IsDottedQuadText(const char* text, size_t length);

// One line (or piece): 0 and *out for a valid entry, -1 otherwise. The line
// ends at its first NUL byte.
int32_t ParseAssignmentLine(const char* line, size_t length, AssignmentEntry* out);

// Streams the file and calls each(entry) for every valid entry in file order
// (memory stays bounded whatever the file holds). Returns the number of valid
// entries, or -1 when the file cannot be opened. each may be empty.
int32_t ReadAssignmentFile(const std::string& path, const std::function<void(const AssignmentEntry&)>& each);
// The same over bytes held in memory (always >= 0).
int32_t ParseAssignmentText(const char* data, size_t length, const std::function<void(const AssignmentEntry&)>& each);
// The file into a list.
int32_t LoadAssignmentFile(const std::string& path, std::vector<AssignmentEntry>* out);

// Network type of an entry: 1 for STATIC, 0 for DHCP.
int32_t AssignmentNetworkType(const AssignmentEntry& e);

// The viewer's and the CLI's "No." cell: "%4d".
std::string AssignmentNumberText(int n);
