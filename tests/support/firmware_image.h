#pragma once
// Firmware images as the simulator takes them: "DRAVENKIT-FW <version>\n",
// then payload bytes of a fixed pattern, then bytes that look like a
// multipart delimiter but are not one (a parser that cuts early shows).
#include <cstddef>
#include <string>

class TempDir;

namespace dktest {

std::string FirmwareImage(const std::string& version, size_t payload);
// Writes the image as dir/name; returns its path.
std::string WriteFirmware(const TempDir& dir, const std::string& name, const std::string& version, size_t payload);

}  // namespace dktest
