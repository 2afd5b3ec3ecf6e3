#pragma once
// Text forms of a device shared by the window's device list and the command
// line: the list cells and the tab-separated listing.
#include <cstddef>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"

// Column 0: "%4d" of the one-based row number.
std::string DeviceNumberCell(int row_number);
// Column 2: "%02X:%02X:%02X - %02X:%02X:%02X".
std::string DeviceMacCell(const DeviceRecord& rec);
// Column 3: dotted decimal of the address the reply came from.
std::string DeviceIpCell(const DeviceRecord& rec);
// Column 4: "%d" of the web port, "-" when it is 0.
std::string DeviceWebPortCell(const DeviceRecord& rec);
// Column 5: "-" when AV port 1 is 0; else port 1, then " / " port 2 when it is
// not 0, then " / " port 3 when ports 2 and 3 are both not 0.
std::string DeviceAvPortCell(const DeviceRecord& rec);
// Column 1: the model name as received (up to its terminator).
std::string DeviceModelCell(const DeviceRecord& rec);

// Header of the listing: "No.\tModel name\tMAC address\tIP address\tWeb port\tAV port".
extern const char kDeviceListingHeader[];
// One listing line (no line end) of the device in row_number, cells joined by
// tabs. The model name goes through VisibleText, so a reply cannot break the
// line structure or drive the terminal.
std::string DeviceListingLine(int row_number, const DeviceRecord& rec);

// A device's text for a terminal or a table cell: bytes that are not UTF-8
// read as Latin-1 (as the CSV and JSON forms), then C0 and C1 controls and
// DEL written as "\xNN" (U+0080..U+009F by their code), so no text can move
// the cursor, clear the screen or start an escape sequence, in a UTF-8 or an
// 8-bit terminal. Every text output of the command line goes through it.
std::string VisibleText(const std::string& bytes);
