#pragma once
// Whether a test may send beyond loopback (a broadcast, an ICMP echo, a
// connection to another address, a change of links or neighbours). Only in a
// network namespace the test scripts made: scripts/test-inner,
// scripts/private-net and scripts/segment set DK_TEST_NETNS to the identity of
// the namespace they made (/proc/self/ns/net), and such a namespace has no
// default route and no interface but lo and the scripts' own dk* links. An
// inherited marker in another namespace, or one that grew a real-looking
// interface or route, does not count.
#include <string>

namespace dktest {

// "" when sending is allowed, else why not (for the skip message).
std::string WhyNoSending();

}  // namespace dktest

// In a test body or SetUp: skips the test unless it may send.
#define DK_REQUIRE_PRIVATE_NETWORK()                                            \
  do {                                                                          \
    const std::string dk_why_no_sending = ::dktest::WhyNoSending();             \
    if (!dk_why_no_sending.empty()) GTEST_SKIP() << dk_why_no_sending;          \
  } while (0)
