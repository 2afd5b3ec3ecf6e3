// The client's socket operations on loopback: requests are pointed at
// 127.0.0.1 so a test socket can play the device.
#include "engine/talq/talq_client.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include <cstring>
#include <vector>

#include "platform/socket.h"
#include "tests/talq/reply_builder.h"

namespace {

const uint32_t kLoopback = IpFromOctets(127, 0, 0, 1);

struct Peer {
  int s = -1;
  explicit Peer(uint16_t port) {
    s = dk::UdpOpen();
    if (dk::SocketBind(s, kLoopback, port) != 0) {
      dk::SocketClose(s);
      s = -1;
    }
  }
  ~Peer() { dk::SocketClose(s); }
  // Next datagram within ms, or empty.
  std::vector<uint8_t> Recv(int ms = 500, uint16_t* from_port = nullptr) {
    if (dk::SocketWaitReadable(s, 0, ms * 1000) != 1) return {};
    std::vector<uint8_t> b(2048);
    int n = dk::UdpRecvFrom(s, b.data(), b.size(), nullptr, from_port);
    b.resize(n < 0 ? 0 : size_t(n));
    return b;
  }
  void Send(const std::vector<uint8_t>& d, uint16_t port) { dk::UdpSendTo(s, d.data(), d.size(), kLoopback, port); }
};

class TalqClientTest : public ::testing::Test {
 protected:
  void SetUp() override { TalqSetRequestAddress(kLoopback); }
  void TearDown() override {
    TalqSetRequestAddress(dk::IpBroadcast());
    TalqSetTraceEnabled(false);
  }
};

TEST_F(TalqClientTest, OpenFillsEverySlotAndDefaultPorts) {
  TalqClient c;
  std::memset(&c, 0xCD, sizeof c);
  ASSERT_EQ(TALQCLIENT_Open(&c), 0);
  EXPECT_GT(c.socket, 0);
  EXPECT_EQ(c.bind_port, 0);
  EXPECT_EQ(c.dest_port, 0);
  EXPECT_EQ(c.Close, &TALQCLIENT_Close);
  EXPECT_EQ(c.Wait, &TALQCLIENT_Wait);
  EXPECT_EQ(c.RecvDiscovery, &TALQCLIENT_RecvDiscovery);
  EXPECT_EQ(c.RecvResult, &TALQCLIENT_RecvResult);
  EXPECT_EQ(c.Broadcast, &TALQCLIENT_Broadcast);
  EXPECT_EQ(c.SetNetwork, &TALQCLIENT_SetNetwork);
  EXPECT_EQ(c.SetNetworkType3, &TALQCLIENT_SetNetworkType3);
  EXPECT_EQ(c.Command5, &TALQCLIENT_Command5);
  int rcv = 0;
#ifdef _WIN32
  int len = sizeof rcv;
  ASSERT_EQ(getsockopt(static_cast<SOCKET>(c.socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&rcv), &len), 0);
#else
  socklen_t len = sizeof rcv;
  ASSERT_EQ(getsockopt(c.socket, SOL_SOCKET, SO_RCVBUF, &rcv, &len), 0);
#endif
  EXPECT_GE(rcv, kTalqSocketRecvBuffer) << "large segments need the big receive buffer";
  EXPECT_EQ(c.Close(&c.socket), 0);
  EXPECT_EQ(c.socket, -1);
  EXPECT_EQ(c.Close(&c.socket), 0) << "closing twice is harmless";
}

TEST_F(TalqClientTest, DiscoveryRoundTripOnDefaultPorts) {
  Peer dev(kTalqDestPort);
  ASSERT_GE(dev.s, 0);
  TalqClient c;
  ASSERT_EQ(TALQCLIENT_Open(&c), 0);
  ASSERT_EQ(c.Broadcast(&c), 0);
  uint16_t from = 0;
  auto req = dev.Recv(500, &from);
  ASSERT_EQ(req.size(), 9u);
  EXPECT_EQ(from, kTalqBindPort);
  EXPECT_EQ(req[7], 3);

  EXPECT_EQ(c.Wait(&c, 0, 0), 0) << "nothing has arrived yet";
  dev.Send(ReplyBuilder(3).Fixed("CAM").Item16(8, 80).Done(), from);
  ASSERT_EQ(c.Wait(&c, 1, 0), 1);
  ASSERT_EQ(c.RecvDiscovery(&c), 1);
  EXPECT_STREQ(c.parse.model_name, "CAM");
  EXPECT_EQ(c.parse.ip, kLoopback);
  EXPECT_EQ(c.parse.web_port, 80);

  // A bad reply leaves the parse area as it was.
  dev.Send(ReplyBuilder(3).Fixed("OTHER").Done(+1), from);
  ASSERT_EQ(c.Wait(&c, 1, 0), 1);
  EXPECT_EQ(c.RecvDiscovery(&c), -3);
  EXPECT_STREQ(c.parse.model_name, "CAM");
  c.Close(&c.socket);
}

TEST_F(TalqClientTest, OpenPortsUsesGivenPairAndZeroDestMeans32154) {
  Peer alt(kTalqAltDestPort), def(kTalqDestPort);
  TalqClient c;
  ASSERT_EQ(TALQCLIENT_OpenPorts(&c, kTalqAltBindPort, kTalqAltDestPort), 0);
  EXPECT_EQ(c.bind_port, kTalqAltBindPort);
  EXPECT_EQ(c.dest_port, kTalqAltDestPort);
  ASSERT_EQ(c.Broadcast(&c), 0);
  uint16_t from = 0;
  EXPECT_EQ(alt.Recv(500, &from).size(), 9u);
  EXPECT_EQ(from, kTalqAltBindPort);
  c.Close(&c.socket);

  ASSERT_EQ(TALQCLIENT_OpenPorts(&c, 40001, 0), 0);
  SetNetworkRequest q{};
  q.network_type = 0;
  ASSERT_EQ(c.SetNetwork(&c, &q), 0);
  EXPECT_EQ(def.Recv().size(), 46u);
  c.Close(&c.socket);
}

TEST_F(TalqClientTest, SecondBindOfSamePortFails) {
  TalqClient a, b;
  ASSERT_EQ(TALQCLIENT_Open(&a), 0);
  EXPECT_EQ(TALQCLIENT_Open(&b), -1);
  EXPECT_GT(b.socket, 0) << "the socket stays in the structure for Close";
  TALQCLIENT_Close(&b.socket);
  EXPECT_EQ(b.socket, -1);
  TALQCLIENT_Close(&a.socket);
}

TEST_F(TalqClientTest, RequestsOnClosedClientAndInvalidTypePrintAndSendNothing) {
  Peer dev(kTalqDestPort);
  TalqClient c;
  ASSERT_EQ(TALQCLIENT_Open(&c), 0);
  int sock = c.socket;
  c.socket = -1;
  SetNetworkRequest q{};
  q.network_type = 1;
  SetNetworkType3Request t{};
  Command5Request k{};
  const std::string not_valid =
      "TALQCLIENT_SetNetwork : Not valid socket, initialize TALQ before use this function.\n";
  testing::internal::CaptureStdout();
  EXPECT_EQ(c.SetNetwork(&c, &q), -1);
  EXPECT_EQ(c.SetNetworkType3(&c, &t), -1);
  EXPECT_EQ(c.Command5(&c, &k), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), not_valid + not_valid + not_valid);

  c.socket = sock;
  q.network_type = 7;
  testing::internal::CaptureStdout();
  EXPECT_EQ(c.SetNetwork(&c, &q), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TALQCLIENT_SetNetwork : Invalid network type.\n");
  EXPECT_TRUE(dev.Recv(100).empty());
  c.Close(&c.socket);
}

TEST_F(TalqClientTest, BroadcastFailurePrints) {
  TalqClient c;
  ASSERT_EQ(TALQCLIENT_Open(&c), 0);
  c.Close(&c.socket);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c.Broadcast(&c), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "broadcast error\n");
}

TEST_F(TalqClientTest, ResultReplyCodes) {
  Peer dev(kTalqDestPort);
  TalqClient c;
  ASSERT_EQ(TALQCLIENT_Open(&c), 0);
  dev.Send({'T', 'A', 'L', 'Q', 2, 8, 0, 2}, kTalqBindPort);
  ASSERT_EQ(c.Wait(&c, 1, 0), 1);
  EXPECT_EQ(c.RecvResult(&c.socket), 2);
  dev.Send({'T', 'A', 'L', 'Q', 2, 9, 0, 0}, kTalqBindPort);
  ASSERT_EQ(c.Wait(&c, 1, 0), 1);
  EXPECT_EQ(c.RecvResult(&c.socket), -1);
  c.Close(&c.socket);
}

TEST_F(TalqClientTest, TracesOnlyWhenSwitchedOn) {
  Peer trace(kTalqTracePort);
  ASSERT_GE(trace.s, 0);
  TalqClient c;
  ASSERT_EQ(TALQCLIENT_Open(&c), 0);
  c.Wait(&c, 0, 0);
  EXPECT_TRUE(trace.Recv(50).empty()) << "off by default";
  TalqSetTraceEnabled(true);
  c.Wait(&c, 0, 0);
  auto a = trace.Recv(), b = trace.Recv();
  ASSERT_EQ(a.size(), 256u);
  EXPECT_EQ(0, std::memcmp(a.data(), "0\n", 2));
  ASSERT_EQ(b.size(), 256u);
  EXPECT_EQ(0, std::memcmp(b.data(), "77\n", 3));
  c.Close(&c.socket);
}

}  // namespace
