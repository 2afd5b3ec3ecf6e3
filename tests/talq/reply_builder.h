#pragma once
// Builds discovery replies the way a device lays them out, for tests.
#include <cstdint>
#include <string>
#include <vector>

struct ReplyBuilder {
  std::vector<uint8_t> b;
  explicit ReplyBuilder(uint8_t version = 3, uint8_t code = 5) {
    b = {'T', 'A', 'L', 'Q', version, 0, 0, code};
  }
  ReplyBuilder& U8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  ReplyBuilder& Bytes(std::initializer_list<uint8_t> v) {
    b.insert(b.end(), v);
    return *this;
  }
  ReplyBuilder& Text(const std::string& s) {
    b.push_back(uint8_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  ReplyBuilder& Item16(uint8_t type, uint16_t v) { return Bytes({type, 2, uint8_t(v), uint8_t(v >> 8)}); }
  // Device byte, MAC, network type, reserved, three texts, four addresses,
  // PPPoE texts and values, trailing byte.
  ReplyBuilder& Fixed(const std::string& model = "NVT-1000", uint8_t type = 1) {
    Bytes({0x42, 0x00, 0x1C, 0x63, 0x01, 0x02, 0x03, type, 0x00});
    Text(model).Text("second").Text("third");
    Bytes({192, 168, 1, 50, 255, 255, 255, 0, 192, 168, 1, 1, 8, 8, 4, 4});
    Text("user").Text("pass").Text("isp");
    Bytes({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAB});
    return *this;
  }
  std::vector<uint8_t> Done(int length_adjust = 0) {
    size_t n = b.size() + size_t(length_adjust);
    b[5] = uint8_t(n);
    b[6] = uint8_t(n >> 8);
    return b;
  }
};
