#pragma once
// The devices' addresses on their interface, kept with rtnetlink: /32
// aliases added and removed in batches, so a thousand take one round trip
// each way per batch instead of a process per address.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace dksim {

// Builds one RTM_NEWADDR / RTM_DELADDR request for ip/32 on ifindex into out
// (appended). Returns the message length.
size_t BuildAddressRequest(bool add, int ifindex, uint32_t ip, uint32_t seq, std::vector<uint8_t>* out);

class AddressManager {
 public:
  AddressManager() = default;
  ~AddressManager();
  AddressManager(const AddressManager&) = delete;
  AddressManager& operator=(const AddressManager&) = delete;

  // Opens the netlink socket for interface ifname. 0 or -1 with *error.
  int Open(const std::string& ifname, std::string* error);
  int ifindex() const { return ifindex_; }

  // Wants ip on (add) or off the interface at the next Flush.
  void Want(uint32_t ip, bool add);
  bool dirty() const { return !wanted_.empty(); }
  // Applies every wanted change. Returns the number of changes the kernel
  // refused (0 all applied), or -1 when netlink itself failed; *error says why.
  int Flush(std::string* error);
  size_t present() const { return present_.size(); }

 private:
  int SendBatch(const std::vector<uint8_t>& buf, uint32_t first_seq, uint32_t count, std::string* error);
  int fd_ = -1;
  int ifindex_ = 0;
  uint32_t seq_ = 1;
  std::unordered_map<uint32_t, bool> wanted_;
  std::unordered_set<uint32_t> present_;
};

}  // namespace dksim
