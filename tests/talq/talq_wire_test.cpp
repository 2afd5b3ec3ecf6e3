#include "engine/talq/talq_wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/talq/reply_builder.h"

namespace {

std::vector<uint8_t> Build(const SetNetworkRequest& req, uint32_t r = 0x1234) {
  std::vector<uint8_t> out(kTalqMaxRequest);
  int n = TalqBuildSetNetwork(req, r, out.data(), out.size());
  if (n < 0) return {};
  out.resize(size_t(n));
  return out;
}

SetNetworkRequest BaseRequest(int type) {
  SetNetworkRequest q{};
  const uint8_t mac[6] = {0x00, 0x1C, 0x63, 0xAA, 0xBB, 0xCC};
  std::memcpy(q.mac, mac, 6);
  q.device_byte = 0x42;
  q.network_type = type;
  std::memcpy(q.admin_id, "root", 4);
  std::strcpy(q.admin_password, "tulp");
  q.ip = IpFromOctets(10, 1, 2, 3);
  q.subnet_mask = IpFromOctets(255, 255, 0, 0);
  q.gateway = IpFromOctets(10, 1, 0, 1);
  q.dns_server = IpFromOctets(8, 8, 8, 8);
  return q;
}

TEST(TalqRequest, DiscoveryIsNineBytes) {
  uint8_t b[16];
  ASSERT_EQ(TalqBuildDiscoveryRequest(b, sizeof b), 9);
  const uint8_t want[9] = {'A', 'D', 'C', 'T', 2, 9, 0, 3, 0xFF};
  EXPECT_EQ(0, std::memcmp(b, want, 9));
  EXPECT_EQ(TalqBuildDiscoveryRequest(b, 8), -1) << "too small a buffer must fail, not overflow";
}

TEST(TalqRequest, SetNetworkHeaderAndStaticFields) {
  auto d = Build(BaseRequest(1));
  ASSERT_EQ(d.size(), 62u);
  EXPECT_EQ(0, std::memcmp(d.data(), "ADCT", 4));
  EXPECT_EQ(d[4], 2);
  EXPECT_EQ(d[5], 62);
  EXPECT_EQ(d[6], 0);
  EXPECT_EQ(d[7], 4);
  EXPECT_EQ(d[8], 0x42);
  const uint8_t mac[6] = {0x00, 0x1C, 0x63, 0xAA, 0xBB, 0xCC};
  EXPECT_EQ(0, std::memcmp(&d[9], mac, 6));
  EXPECT_EQ(d[15], 1);
  const uint8_t id[8] = {'r', 'o', 'o', 't', 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(&d[16], id, 8));
  const uint8_t addrs[16] = {10, 1, 2, 3, 255, 255, 0, 0, 10, 1, 0, 1, 8, 8, 8, 8};
  EXPECT_EQ(0, std::memcmp(&d[46], addrs, 16));
}

TEST(TalqRequest, SetNetworkSizesByType) {
  EXPECT_EQ(Build(BaseRequest(0)).size(), 46u);
  EXPECT_EQ(Build(BaseRequest(1)).size(), 62u);
  auto q = BaseRequest(2);
  std::strcpy(q.pppoe_text1, "abcde");
  std::strcpy(q.pppoe_text2, "fghijk");
  q.pppoe_value1 = 0x04030201;
  q.pppoe_value2 = 0x1FF;  // only the low byte travels
  q.pppoe_value3 = 0x0D0C0B0A;
  auto d = Build(q);
  ASSERT_EQ(d.size(), 69u);
  EXPECT_EQ(d[5], 69);
  EXPECT_EQ(d[46], 5);
  EXPECT_EQ(0, std::memcmp(&d[47], "abcde", 5));
  EXPECT_EQ(d[52], 6);
  EXPECT_EQ(0, std::memcmp(&d[53], "fghijk", 6));
  EXPECT_EQ(d[59], 0);
  const uint8_t tail[9] = {1, 2, 3, 4, 0xFF, 0x0A, 0x0B, 0x0C, 0x0D};
  EXPECT_EQ(0, std::memcmp(&d[60], tail, 9));
}

TEST(TalqRequest, EightCharacterIdIsNotTerminated) {
  auto q = BaseRequest(0);
  std::memcpy(q.admin_id, "adminABC", 8);
  auto d = Build(q);
  ASSERT_EQ(d.size(), 46u);
  EXPECT_EQ(0, std::memcmp(&d[16], "adminABC", 8));
}

TEST(TalqRequest, InvalidNetworkTypeBuildsNothing) {
  EXPECT_TRUE(Build(BaseRequest(7)).empty());
  EXPECT_TRUE(Build(BaseRequest(-1)).empty());
  EXPECT_TRUE(Build(BaseRequest(3)).empty());
}

TEST(TalqRequest, Type3AndCommand5Layouts) {
  SetNetworkType3Request t{};
  std::memcpy(t.mac, "\x01\x02\x03\x04\x05\x06", 6);
  std::memcpy(t.admin_id, "root", 4);
  std::strcpy(t.password, "pw");
  std::strcpy(t.text1, "abc");
  std::strcpy(t.text2, "de");
  uint8_t b[kTalqMaxRequest];
  ASSERT_EQ(TalqBuildSetNetworkType3(t, 7, b, sizeof b), 48 + 3 + 2);
  EXPECT_EQ(b[5], 53);
  EXPECT_EQ(b[7], 4);
  EXPECT_EQ(b[8], 0);
  EXPECT_EQ(b[15], 3);
  EXPECT_EQ(b[46], 3);
  EXPECT_EQ(0, std::memcmp(&b[47], "abc", 3));
  EXPECT_EQ(b[50], 2);
  EXPECT_EQ(0, std::memcmp(&b[51], "de", 2));

  Command5Request c{};
  std::memcpy(c.mac, "\x01\x02\x03\x04\x05\x06", 6);
  std::memcpy(c.admin_id, "root", 4);
  std::strcpy(c.secret1, "first");
  c.flag = 0x5A;
  std::strcpy(c.secret2, "second");
  ASSERT_EQ(TalqBuildCommand5(c, 7, b, sizeof b), 69);
  EXPECT_EQ(b[5], 69);
  EXPECT_EQ(b[7], 5);
  EXPECT_EQ(b[15], 3);
  EXPECT_EQ(b[46], 0x5A);
  char s[17];
  TalqDecodeCredentialBlock(&b[24], s);
  EXPECT_STREQ(s, "first");
  TalqDecodeCredentialBlock(&b[47], s);
  EXPECT_STREQ(s, "second");
}

TEST(TalqCredential, HandComputedVector) {
  // r = 0x1234: byte 0 = 0x34, byte 1 = 0x12; bytes 2-15 zero; 16.. "tulp".
  // After XOR with 0x34 and reversing, byte j is original byte 31 - j.
  uint8_t out[32];
  TalqBuildCredentialBlock(0x1234, nullptr, "tulp", out);
  uint8_t want[32];
  for (int j = 0; j < 12; ++j) want[j] = 0x34;              // padding 20..31
  want[12] = 'p' ^ 0x34;                                     // 19
  want[13] = 'l' ^ 0x34;                                     // 18
  want[14] = 'u' ^ 0x34;                                     // 17
  want[15] = 't' ^ 0x34;                                     // 16
  for (int j = 16; j < 30; ++j) want[j] = 0x34;              // zero prefix 15..2
  want[30] = 0x12;                                           // 1 is not XORed
  want[31] = 0x34;                                           // 0 is the key
  EXPECT_EQ(0, std::memcmp(out, want, 32));
}

TEST(TalqCredential, DeviceRecoversSecretFromSentBytes) {
  for (uint32_t r : {0u, 1u, 0xFFu, 0xABCDu, 0x7FFFFFFFu}) {
    for (const char* secret : {"", "tulp", "0123456789abcdef", "x"}) {
      uint8_t block[32];
      TalqBuildCredentialBlock(r, nullptr, secret, block);
      char got[17];
      EXPECT_EQ(TalqDecodeCredentialBlock(block, got), int(std::strlen(secret)));
      EXPECT_STREQ(got, secret) << "r=" << r;
    }
  }
}

TEST(TalqCredential, OnlySixteenBytesOfALongSecretCount) {
  uint8_t a[32], b[32];
  TalqBuildCredentialBlock(99, nullptr, "0123456789abcdefXYZ", a);
  TalqBuildCredentialBlock(99, nullptr, "0123456789abcdef", b);
  EXPECT_EQ(0, std::memcmp(a, b, 32));
  char got[17];
  TalqDecodeCredentialBlock(a, got);
  EXPECT_STREQ(got, "0123456789abcdef");
}

TEST(TalqCredential, RandomIsStableWithinOneSecond) {
  // Two calls straddle a second boundary only rarely; retry once if so.
  uint32_t a = TalqCredentialRandom(), b = TalqCredentialRandom();
  if (a != b) a = TalqCredentialRandom(), b = TalqCredentialRandom();
  EXPECT_EQ(a, b);
}

TEST(TalqCredential, SetNetworkCarriesPasswordBlock) {
  auto d = Build(BaseRequest(0), 0xBEEF);
  uint8_t block[32];
  TalqBuildCredentialBlock(0xBEEF, nullptr, "tulp", block);
  EXPECT_EQ(0, std::memcmp(&d[24], block, 22));
}

const uint32_t kSender = IpFromOctets(10, 77, 1, 9);

TEST(TalqDiscoveryReply, FullReplyFields) {
  auto d = ReplyBuilder(3).Fixed().Item16(8, 8080).Item16(9, 554).Item16(10, 555).Item16(11, 556).Bytes({2, 1, 0x77}).Done();
  DeviceRecord r;
  ASSERT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), 1);
  const uint8_t mac[6] = {0x00, 0x1C, 0x63, 0x01, 0x02, 0x03};
  EXPECT_EQ(0, std::memcmp(r.mac, mac, 6));
  EXPECT_EQ(r.ip, kSender) << "the sender's address, not the configured one";
  EXPECT_EQ(r.device_byte, 0x42);
  EXPECT_EQ(r.network_type, 1);
  EXPECT_STREQ(r.model_name, "NVT-1000");
  EXPECT_STREQ(r.text2, "second");
  EXPECT_STREQ(r.text3, "third");
  EXPECT_EQ(r.configured_ip, IpFromOctets(192, 168, 1, 50));
  EXPECT_EQ(r.subnet_mask, IpFromOctets(255, 255, 255, 0));
  EXPECT_EQ(r.gateway, IpFromOctets(192, 168, 1, 1));
  EXPECT_EQ(r.dns_server, IpFromOctets(8, 8, 4, 4));
  EXPECT_STREQ(r.pppoe_text1, "user");
  EXPECT_STREQ(r.pppoe_text2, "pass");
  EXPECT_STREQ(r.pppoe_text3, "isp");
  EXPECT_EQ(r.pppoe_value1, 0x44332211u);
  EXPECT_EQ(r.pppoe_value2, 0x55);
  EXPECT_EQ(r.pppoe_value3, 0x99887766u);
  EXPECT_EQ(r.trailing_byte, 0xABu);
  EXPECT_EQ(r.web_port, 8080);
  EXPECT_EQ(r.av_port1, 554);
  EXPECT_EQ(r.av_port2, 555);
  EXPECT_EQ(r.av_port3, 556);
  EXPECT_EQ(r.item2_value, 0x77u);
}

TEST(TalqDiscoveryReply, FixedPartOnlyHasNoPorts) {
  auto d = ReplyBuilder(3).Fixed().Done();
  DeviceRecord r;
  ASSERT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), 1);
  EXPECT_EQ(r.web_port, 0);
  EXPECT_EQ(r.av_port1 | r.av_port2 | r.av_port3, 0);
}

TEST(TalqDiscoveryReply, VersionTwoIgnoresPortItems) {
  auto d = ReplyBuilder(2).Fixed().Item16(8, 80).Item16(9, 554).Item16(10, 555).Item16(11, 556).Bytes({2, 1, 9}).Done();
  DeviceRecord r;
  ASSERT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), 1);
  EXPECT_EQ(r.web_port | r.av_port1 | r.av_port2 | r.av_port3, 0);
  EXPECT_EQ(r.item2_value, 9u) << "item 2 is not gated by the version";
}

TEST(TalqDiscoveryReply, LengthMismatchRejectedAndRecordUntouched) {
  DeviceRecord r;
  std::memset(&r, 0xA5, sizeof r);
  DeviceRecord before = r;
  for (int adj : {-1, 1}) {
    auto d = ReplyBuilder(3).Fixed().Item16(8, 80).Done(adj);
    EXPECT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), -3);
    EXPECT_EQ(0, std::memcmp(&r, &before, sizeof r));
  }
}

TEST(TalqDiscoveryReply, MagicAndCodeChecks) {
  DeviceRecord r;
  auto d = ReplyBuilder(3).Fixed().Done();
  d[0] = 'X';
  EXPECT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), -1);
  auto c = ReplyBuilder(3, 9).Fixed().Done();
  EXPECT_EQ(TalqParseDiscoveryReply(c.data(), c.size(), kSender, &r), 9) << "code byte comes back";
  EXPECT_EQ(TalqParseDiscoveryReply(c.data(), 0, kSender, &r), -1);
  auto one = ReplyBuilder(3, 1).Fixed().Done();
  EXPECT_EQ(TalqParseDiscoveryReply(one.data(), one.size(), kSender, &r), -1)
      << "code 1 must not pass for a parsed reply";
  const uint8_t shortmagic[3] = {'T', 'A', 'L'};
  EXPECT_EQ(TalqParseDiscoveryReply(shortmagic, 3, kSender, &r), -1);
}

TEST(TalqDiscoveryReply, LongModelNameCutButOffsetsKept) {
  std::string model(200, 'M');
  auto d = ReplyBuilder(3).Fixed(model).Item16(8, 81).Done();
  DeviceRecord r;
  ASSERT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), 1);
  EXPECT_EQ(std::string(r.model_name), std::string(63, 'M'));
  EXPECT_STREQ(r.text2, "second");
  EXPECT_EQ(r.gateway, IpFromOctets(192, 168, 1, 1));
  EXPECT_EQ(r.web_port, 81);
}

TEST(TalqDiscoveryReply, LongPppoeTextsCutToTheirFields) {
  ReplyBuilder b(3);
  b.Bytes({1, 1, 2, 3, 4, 5, 6, 0, 0}).Text("m").Text("").Text("");
  b.Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  b.Text(std::string(40, 'a')).Text(std::string(32, 'b')).Text(std::string(70, 'c'));
  b.Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  auto d = b.Done();
  DeviceRecord r;
  ASSERT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), 1);
  EXPECT_EQ(std::string(r.pppoe_text1), std::string(31, 'a'));
  EXPECT_EQ(std::string(r.pppoe_text2), std::string(31, 'b'));
  EXPECT_EQ(std::string(r.pppoe_text3), std::string(63, 'c'));
}

TEST(TalqDiscoveryReply, TruncatedFieldsReadAsZero) {
  // Header and MAC only: everything after reads as zero, text lengths
  // claiming bytes past the end are satisfied with zeros.
  auto d = ReplyBuilder(3).Bytes({7, 1, 2, 3, 4, 5, 6, 1, 0, 200, 'A', 'B'}).Done();
  DeviceRecord r;
  ASSERT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), 1);
  EXPECT_STREQ(r.model_name, "AB");
  EXPECT_EQ(r.configured_ip, 0u);
  EXPECT_EQ(r.web_port, 0);
}

TEST(TalqDiscoveryReply, ItemCutShortReadsZeroAndStops) {
  auto d = ReplyBuilder(3).Fixed().Bytes({8, 2, 0x50}).Done();
  DeviceRecord r;
  ASSERT_EQ(TalqParseDiscoveryReply(d.data(), d.size(), kSender, &r), 1);
  EXPECT_EQ(r.web_port, 0x50) << "the missing high byte reads as zero";
}

TEST(TalqDiscoveryReply, OversizeInputCountsAs1024) {
  std::vector<uint8_t> big(2000, 0);
  auto d = ReplyBuilder(3).Fixed().Done();
  std::copy(d.begin(), d.end(), big.begin());
  big[5] = 0x00;
  big[6] = 0x04;  // 1024
  DeviceRecord r;
  EXPECT_EQ(TalqParseDiscoveryReply(big.data(), big.size(), kSender, &r), 1);
}

TEST(TalqResultReply, CodeOrFailure) {
  std::vector<uint8_t> ok = {'T', 'A', 'L', 'Q', 2, 8, 0, 0};
  EXPECT_EQ(TalqParseResultReply(ok.data(), ok.size()), 0);
  ok[7] = 2;
  EXPECT_EQ(TalqParseResultReply(ok.data(), ok.size()), 2);
  ok[7] = 200;
  EXPECT_EQ(TalqParseResultReply(ok.data(), ok.size()), 200);
  ok[5] = 9;
  EXPECT_EQ(TalqParseResultReply(ok.data(), ok.size()), -1);
  ok[5] = 8;
  ok[0] = 'A';
  EXPECT_EQ(TalqParseResultReply(ok.data(), ok.size()), -1);
  // A truncated datagram must not read as "accepted".
  std::vector<uint8_t> cut = {'T', 'A', 'L', 'Q', 2, 7, 0};
  EXPECT_EQ(TalqParseResultReply(cut.data(), cut.size()), -1);
}

TEST(TalqTraceDatagram, DecimalThenLineFeed) {
  uint8_t b[256];
  ASSERT_EQ(TalqBuildTrace(-1, b), 256);
  EXPECT_EQ(0, std::memcmp(b, "-1\n", 3));
  TalqBuildTrace(77, b);
  EXPECT_EQ(0, std::memcmp(b, "77\n", 3));
}

}  // namespace
