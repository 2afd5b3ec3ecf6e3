#include "engine/devices/device_table.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

DeviceRecord Rec(uint8_t last, uint32_t ip) {
  DeviceRecord r;
  ZeroRecord(&r);
  const uint8_t mac[6] = {0x00, 0x1C, 0x63, 0x00, 0x00, last};
  std::memcpy(r.mac, mac, 6);
  r.ip = ip;
  return r;
}

std::string Cell(const DeviceRecord& r) {
  char b[24];
  return FormatMacList(r.mac, b);
}

TEST(DeviceTable, LookupsOnEmptyAndFilledTable) {
  DeviceTable t;
  DeviceRecord a = Rec(1, IpFromOctets(10, 0, 0, 1));
  EXPECT_EQ(t.FindKeyByMac(a), -1);
  EXPECT_EQ(t.FindKeyByIp(a.ip), -1);
  EXPECT_EQ(t.FindByKey(0), nullptr);
  EXPECT_EQ(t.Count(), 0);

  t.Append(0, a);
  t.AppendWithRow(1, 7, Rec(2, IpFromOctets(10, 0, 0, 2)));
  t.Append(2, Rec(3, IpFromOctets(10, 0, 0, 1)));  // same IP as key 0
  EXPECT_EQ(t.Count(), 3);
  EXPECT_EQ(t.FindKeyByMac(Rec(2, 0)), 1);
  EXPECT_EQ(t.FindKeyByIp(IpFromOctets(10, 0, 0, 1)), 0) << "first listed wins";
  ASSERT_NE(t.FindByKey(1), nullptr);
  EXPECT_EQ(t.FindByKey(1)->row, 7);
  EXPECT_EQ(t.FindByKey(1)->progress, 0);
  EXPECT_EQ(t.FindByKey(0)->row, 0);

  // Records are copies.
  a.ip = 0;
  EXPECT_EQ(t.FindByKey(0)->record.ip, IpFromOctets(10, 0, 0, 1));

  t.Clear();
  EXPECT_EQ(t.Count(), 0);
  EXPECT_EQ(t.FindKeyByMac(Rec(2, 0)), -1);
}

TEST(DeviceTable, DuplicateKeysReturnFirst) {
  DeviceTable t;
  t.Append(5, Rec(1, 1));
  t.Append(5, Rec(2, 2));
  EXPECT_EQ(t.FindByKey(5)->record.mac[5], 1);
}

TEST(DeviceTable, RekeyFollowsNewRowOrder) {
  DeviceTable t;
  DeviceRecord r0 = Rec(0xA0, 1), r1 = Rec(0xB1, 2), r2 = Rec(0xC2, 3);
  t.Append(0, r0);
  t.Append(1, r1);
  t.Append(2, r2);
  RekeyAfterSort(&t, {Cell(r2), Cell(r0), Cell(r1)});
  ASSERT_EQ(t.Count(), 3);
  EXPECT_EQ(t.FindByKey(0)->record.mac[5], 0xC2);
  EXPECT_EQ(t.FindByKey(1)->record.mac[5], 0xA0);
  EXPECT_EQ(t.FindByKey(2)->record.mac[5], 0xB1);
  EXPECT_EQ(t.FindKeyByMac(r1), 2);
}

TEST(AddressText, FormatsAndStrictParse) {
  char b[24];
  uint32_t ip = IpFromOctets(192, 168, 1, 10);
  EXPECT_STREQ(FormatIp(ip, b), "192.168.1.10");
  EXPECT_LT(IpToHostOrder(IpFromOctets(192, 168, 1, 9)), IpToHostOrder(ip));
  EXPECT_EQ(IpFromHostOrder(IpToHostOrder(ip)), ip);
  const uint8_t mac[6] = {0x00, 0x1c, 0x63, 0xAB, 0x0C, 0xFF};
  EXPECT_STREQ(FormatMacList(mac, b), "00:1C:63 - AB:0C:FF");
  EXPECT_STREQ(FormatMacPlain(mac, b), "00:1C:63:AB:0C:FF");
  uint32_t got = 0;
  EXPECT_EQ(ParseIp("10.0.0.255", &got), 0);
  EXPECT_EQ(got, IpFromOctets(10, 0, 0, 255));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.", "256.1.1.1", "1..2.3", "a.b.c.d", "1.2.3.4 ", "1234.1.1.1"})
    EXPECT_EQ(ParseIp(bad, &got), -1) << bad;
}

}  // namespace
