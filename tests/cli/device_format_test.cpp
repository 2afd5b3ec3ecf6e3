#include "engine/devices/device_format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

DeviceRecord Rec() {
  DeviceRecord r;
  ZeroRecord(&r);
  const uint8_t mac[6] = {0x00, 0x1a, 0x2B, 0xC3, 0x04, 0xFF};
  std::memcpy(r.mac, mac, 6);
  r.ip = IpFromOctets(192, 168, 1, 9);
  std::strcpy(r.model_name, "NVT-100E");
  return r;
}

TEST(DeviceCells, NumberMacAndIp) {
  EXPECT_EQ(DeviceNumberCell(1), "   1");
  EXPECT_EQ(DeviceNumberCell(42), "  42");
  EXPECT_EQ(DeviceNumberCell(12345), "12345");  // wider numbers are not cut
  DeviceRecord r = Rec();
  EXPECT_EQ(DeviceMacCell(r), "00:1A:2B - C3:04:FF");
  EXPECT_EQ(DeviceIpCell(r), "192.168.1.9");
  EXPECT_EQ(DeviceModelCell(r), "NVT-100E");
}

TEST(DeviceCells, ModelNameWithoutTerminatorStopsAtField) {
  DeviceRecord r = Rec();
  std::memset(r.model_name, 'M', sizeof r.model_name);
  EXPECT_EQ(DeviceModelCell(r), std::string(64, 'M'));
}

TEST(DeviceCells, PortColumns) {
  DeviceRecord r = Rec();
  EXPECT_EQ(DeviceWebPortCell(r), "-");
  EXPECT_EQ(DeviceAvPortCell(r), "-");
  r.web_port = 8080;
  EXPECT_EQ(DeviceWebPortCell(r), "8080");
  r.web_port = 65535;
  EXPECT_EQ(DeviceWebPortCell(r), "65535");

  r.av_port1 = 554;
  r.av_port2 = 0;
  r.av_port3 = 8000;  // port 3 only counts when port 2 is there
  EXPECT_EQ(DeviceAvPortCell(r), "554");
  r.av_port2 = 555;
  r.av_port3 = 0;
  EXPECT_EQ(DeviceAvPortCell(r), "554 / 555");
  r.av_port3 = 556;
  EXPECT_EQ(DeviceAvPortCell(r), "554 / 555 / 556");
  r.av_port1 = 0;  // no first port: nothing else is shown
  EXPECT_EQ(DeviceAvPortCell(r), "-");
}

TEST(DeviceListing, HeaderAndLine) {
  EXPECT_STREQ(kDeviceListingHeader, "No.\tModel name\tMAC address\tIP address\tWeb port\tAV port");
  DeviceRecord r = Rec();
  r.av_port1 = 554;
  r.av_port2 = 555;
  EXPECT_EQ(DeviceListingLine(3, r), "   3\tNVT-100E\t00:1A:2B - C3:04:FF\t192.168.1.9\t-\t554 / 555");
}

TEST(DeviceListing, ControlBytesInModelCannotBreakTheLine) {
  DeviceRecord r = Rec();
  std::strcpy(r.model_name, "A\tB\nC\x1b[2J\x7f");
  const std::string line = DeviceListingLine(1, r);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.find('\x1b'), std::string::npos);
  EXPECT_NE(line.find("A\\x09B\\x0AC\\x1B[2J\\x7F\t"), std::string::npos) << line;
  // Non-ASCII bytes are printed as received.
  std::strcpy(r.model_name, "Kamera \xC3\xA9 \xFF");
  EXPECT_NE(DeviceListingLine(1, r).find("Kamera \xC3\xA9 \xFF\t"), std::string::npos);
}

std::string J(const char* s) { return JsonString(s, std::strlen(s)); }

TEST(JsonString, EscapesAndPassesValidUtf8) {
  EXPECT_EQ(J(""), "\"\"");
  EXPECT_EQ(J("plain"), "\"plain\"");
  EXPECT_EQ(J("q\"b\\s/"), "\"q\\\"b\\\\s/\"");
  EXPECT_EQ(J("\b\f\n\r\t\x01\x1f\x7f"), "\"\\b\\f\\n\\r\\t\\u0001\\u001F\\u007F\"");
  EXPECT_EQ(J("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"");
  const char nul[] = {'a', 0, 'b'};
  EXPECT_EQ(JsonString(nul, 3), "\"a\\u0000b\"");
}

TEST(JsonString, InvalidUtf8BytesAreEscapedNotDropped) {
  EXPECT_EQ(J("\xFF"), "\"\\u00FF\"");
  EXPECT_EQ(J("a\x80z"), "\"a\\u0080z\"");       // lone continuation byte
  EXPECT_EQ(J("\xC3"), "\"\\u00C3\"");           // truncated at the end
  EXPECT_EQ(J("\xC3(x"), "\"\\u00C3(x\"");       // lead byte without continuation
  EXPECT_EQ(J("\xC0\xAF"), "\"\\u00C0\\u00AF\"");  // overlong '/'
  EXPECT_EQ(J("\xED\xA0\x80"), "\"\\u00ED\\u00A0\\u0080\"");  // UTF-16 surrogate
  EXPECT_EQ(J("\xF4\x90\x80\x80"), "\"\\u00F4\\u0090\\u0080\\u0080\"");  // past U+10FFFF
  EXPECT_EQ(J("\xE2\x82"), "\"\\u00E2\\u0082\"");  // truncated three-byte form
  // A valid sequence right after an invalid byte survives.
  EXPECT_EQ(J("\xFF\xC3\xA9"), "\"\\u00FF\xC3\xA9\"");
}

TEST(DeviceJson, EveryFieldUnderItsKey) {
  DeviceRecord r = Rec();
  r.device_byte = 0xAB;
  r.network_type = 2;
  std::strcpy(r.text2, "t2");
  std::strcpy(r.text3, "t\"3");
  r.trailing_byte = 7;
  r.configured_ip = IpFromOctets(10, 0, 0, 2);
  r.subnet_mask = IpFromOctets(255, 255, 0, 0);
  r.gateway = IpFromOctets(10, 0, 0, 1);
  r.dns_server = IpFromOctets(8, 8, 4, 4);
  std::strcpy(r.pppoe_text1, "user");
  std::strcpy(r.pppoe_text2, "pw\xFF");
  std::strcpy(r.pppoe_text3, "svc");
  r.pppoe_value1 = 4000000000u;
  r.pppoe_value2 = 255;
  r.pppoe_value3 = 3;
  r.item2_value = 9;
  r.web_port = 80;
  r.av_port1 = 554;
  r.av_port2 = 555;
  r.av_port3 = 556;
  EXPECT_EQ(DeviceJsonObject(r),
            "{\"mac\":\"00:1A:2B:C3:04:FF\",\"ip\":\"192.168.1.9\",\"device_byte\":171,\"network_type\":2,"
            "\"model_name\":\"NVT-100E\",\"text2\":\"t2\",\"text3\":\"t\\\"3\",\"trailing_byte\":7,"
            "\"configured_ip\":\"10.0.0.2\",\"subnet_mask\":\"255.255.0.0\",\"gateway\":\"10.0.0.1\","
            "\"dns_server\":\"8.8.4.4\",\"pppoe_text1\":\"user\",\"pppoe_text2\":\"pw\\u00FF\","
            "\"pppoe_text3\":\"svc\",\"pppoe_value1\":4000000000,\"pppoe_value2\":255,\"pppoe_value3\":3,"
            "\"item2_value\":9,\"web_port\":80,\"av_port1\":554,\"av_port2\":555,\"av_port3\":556}");
}

TEST(DeviceJson, ArrayForm) {
  EXPECT_EQ(DevicesJsonArray({}), "[]\n");
  DeviceRecord a = Rec(), b = Rec();
  b.mac[5] = 0x01;
  const std::string s = DevicesJsonArray({a, b});
  EXPECT_EQ(s, "[\n  " + DeviceJsonObject(a) + ",\n  " + DeviceJsonObject(b) + "\n]\n");
}

}  // namespace
