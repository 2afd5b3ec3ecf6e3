#include "engine/devices/device_format.h"

#include "cli/cli_common.h"

#include <gtest/gtest.h>

#include <algorithm>
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
  // The header's exact text is checked on dravenkit-cli discover's output;
  // here, that every line has its columns.
  const auto columns = [](const std::string& line) { return std::count(line.begin(), line.end(), '\t') + 1; };
  EXPECT_EQ(columns(kDeviceListingHeader), 6);
  DeviceRecord r = Rec();
  r.av_port1 = 554;
  r.av_port2 = 555;
  EXPECT_EQ(DeviceListingLine(3, r), "   3\tNVT-100E\t00:1A:2B - C3:04:FF\t192.168.1.9\t-\t554 / 555");
  EXPECT_EQ(columns(DeviceListingLine(3, r)), columns(kDeviceListingHeader));
}

TEST(DeviceListing, ControlBytesInModelCannotBreakTheLine) {
  DeviceRecord r = Rec();
  std::strcpy(r.model_name, "A\tB\nC\x1b[2J\x7f");
  const std::string line = DeviceListingLine(1, r);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.find('\x1b'), std::string::npos);
  EXPECT_NE(line.find("A\\x09B\\x0AC\\x1B[2J\\x7F\t"), std::string::npos) << line;
  std::strcpy(r.model_name, "Kamera \xC3\xA9 \xFF");
  // Bytes that are not UTF-8 read as Latin-1, as in the CSV and the JSON.
  EXPECT_NE(DeviceListingLine(1, r).find("Kamera \xC3\xA9 \xC3\xBF\t"), std::string::npos);
}

// C1 controls, whether they arrive as UTF-8 or as single bytes (which an 8-bit
// terminal takes as CSI and the like), are escaped as C0 and DEL are.
TEST(DeviceListing, VisibleTextEscapesC0C1AndDelInEitherForm) {
  EXPECT_EQ(VisibleText("v\x9B" "2J\xC2\x9B" "2J\x1B\x7F\xC2\xA0"), "v\\x9B2J\\x9B2J\\x1B\\x7F\xC2\xA0");
  EXPECT_EQ(VisibleText("2.4.1"), "2.4.1");
}

std::string J(const char* s) { return JsonText(s, std::strlen(s)); }

// Device bytes become a JSON string value: valid UTF-8 as it is, stray bytes
// by their Latin-1 reading, control bytes escaped by the JSON writer.
TEST(JsonText, ValidUtf8PassesStrayBytesKeepTheirLatin1Reading) {
  EXPECT_EQ(J("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  EXPECT_EQ(J("\xFF"), "\xC3\xBF");
  EXPECT_EQ(J("a\x80z"), "a\xC2\x80z");                      // lone continuation byte
  EXPECT_EQ(J("\xC3"), "\xC3\x83");                          // truncated at the end
  EXPECT_EQ(J("\xC0\xAF"), "\xC3\x80\xC2\xAF");              // overlong '/'
  EXPECT_EQ(J("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");  // UTF-16 surrogate
  EXPECT_EQ(J("\xF4\x90\x80\x80"), "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80");  // past U+10FFFF
  EXPECT_EQ(J("\xFF\xC3\xA9"), "\xC3\xBF\xC3\xA9");          // a valid sequence after a stray byte survives
  const char nul[] = {'a', 0, 'b'};
  nlohmann::json j = JsonText(nul, 3);
  EXPECT_EQ(j.dump(), "\"a\\u0000b\"");
  j = J("q\"b\\s\n\x01");
  EXPECT_EQ(j.dump(), "\"q\\\"b\\\\s\\n\\u0001\"");
}

TEST(DeviceJson, EveryFieldUnderItsKeyInRecordOrder) {
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
  const auto back = nlohmann::json::parse(DeviceJson(r).dump());
  EXPECT_EQ(back, nlohmann::json::parse(
                      "{\"mac\":\"00:1A:2B:C3:04:FF\",\"ip\":\"192.168.1.9\",\"device_byte\":171,\"network_type\":2,"
                      "\"model_name\":\"NVT-100E\",\"text2\":\"t2\",\"text3\":\"t\\\"3\",\"trailing_byte\":7,"
                      "\"configured_ip\":\"10.0.0.2\",\"subnet_mask\":\"255.255.0.0\",\"gateway\":\"10.0.0.1\","
                      "\"dns_server\":\"8.8.4.4\",\"pppoe_text1\":\"user\",\"pppoe_text2\":\"pw\\u00FF\","
                      "\"pppoe_text3\":\"svc\",\"pppoe_value1\":4000000000,\"pppoe_value2\":255,\"pppoe_value3\":3,"
                      "\"item2_value\":9,\"web_port\":80,\"av_port1\":554,\"av_port2\":555,\"av_port3\":556}"));
  EXPECT_EQ(DeviceJson(r).begin().key(), "mac");
  EXPECT_EQ((--DeviceJson(r).end()).key(), "av_port3");
}

TEST(MacText, ThreeFormsAnyCaseAndNothingElse) {
  const uint8_t want[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  for (const char* ok : {"00:1A:2B:3C:4D:5E", "00-1a-2b-3c-4d-5e", "00:1A:2B - 3C:4D:5E", "00:1a:2B - 3c:4D:5e"}) {
    uint8_t mac[6] = {};
    EXPECT_EQ(ParseMacText(ok, mac), 0) << ok;
    EXPECT_EQ(std::memcmp(mac, want, 6), 0) << ok;
  }
  for (const char* bad : {"", "00:1A:2B:3C:4D", "00:1A:2B:3C:4D:5E:", "00:1A:2B:3C:4D:5G", "001A2B3C4D5E",
                          "00:1A:2B  3C:4D:5E", "00:1A - 2B:3C:4D:5E", "0:1A:2B:3C:4D:5E", " 00:1A:2B:3C:4D:5E"}) {
    uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ParseMacText(bad, mac), -1) << bad;
    EXPECT_EQ(mac[0], 1) << bad;
  }
}

TEST(SelectDevices, NamedInGivenOrderAllInListOrderUnknownNamed) {
  DeviceRecord a = Rec(), b = Rec();
  b.mac[5] = 0x01;
  std::vector<DeviceRecord> out;
  std::string err;
  ASSERT_EQ(SelectDevices({a, b}, {"00:1a:2b:c3:04:01", "00-1A-2B-C3-04-FF"}, false, &out, &err), 0);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].mac[5], 0x01);
  EXPECT_EQ(out[1].mac[5], 0xFF);
  ASSERT_EQ(SelectDevices({a, b}, {}, true, &out, &err), 0);
  EXPECT_EQ(out.size(), 2u);
  EXPECT_EQ(SelectDevices({a}, {"00:1A:2B:C3:04:01"}, false, &out, &err), -1);
  EXPECT_NE(err.find("00:1A:2B:C3:04:01"), std::string::npos);
  EXPECT_EQ(SelectDevices({a}, {"nonsense"}, false, &out, &err), -1);
  EXPECT_NE(err.find("nonsense"), std::string::npos);
}

}  // namespace
