#include "tests/support/firmware_image.h"

#include "tests/support/temp_dir.h"

namespace dktest {

std::string FirmwareImage(const std::string& version, size_t payload) {
  std::string s = version.empty() ? "" : "DRAVENKIT-FW " + version + "\n";
  s.reserve(s.size() + payload + 40);
  for (size_t i = 0; i < payload; ++i) s.push_back(static_cast<char>((i * 7 + i / 251 + 3) & 0xFF));
  s += "\r\n--XyY near miss\r\n--Xy\r\n------\r\n-";
  return s;
}

std::string WriteFirmware(const TempDir& dir, const std::string& name, const std::string& version, size_t payload) {
  dir.Write(name, FirmwareImage(version, payload));
  return dir.File(name);
}

}  // namespace dktest
