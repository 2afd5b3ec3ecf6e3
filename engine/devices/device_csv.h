#pragma once
// The device list as a CSV file (RFC 4180: comma-separated, CRLF line ends,
// fields quoted when needed, UTF-8, a header row), shared by the window's
// "Export list..." and `dravenkit-cli discover --csv`.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/devices/device_record.h"

// One row: the list's visible cells as shown (UTF-8) and the record behind them.
struct DeviceCsvRow {
  std::string number;  // the row number, without the list's padding
  std::string model, mac, ip, web_port, av_port;
  std::string status;  // the status column's text; empty where there is none
  DeviceRecord record;
};

// "No.,Model name,MAC address,IP address,Web port,AV port,Configured IP address,
// Subnet mask,Gateway,DNS server,Network type,Status"
extern const char kDeviceCsvHeader[];

// A row with the list's cell texts of rec (as the command line shows them).
DeviceCsvRow DeviceCsvRowFor(int row_number, const DeviceRecord& rec);

// One field as RFC 4180 writes it: quoted (inner quotes doubled) when it holds
// a comma, a quote, CR, LF or a tab, or starts or ends with a blank.
std::string CsvField(const std::string& text);
// Bytes that are not valid UTF-8 read as Latin-1, so the file stays UTF-8
// and nothing is dropped; valid text passes unchanged.
std::string Utf8FromBytes(const std::string& bytes);
// "Static IP", "DHCP", "PPPoE", or the number of an unknown type.
std::string NetworkTypeText(int type);

// Header and rows, every line ended by CRLF. A model name that a spreadsheet
// would take for a formula (=, +, -, @ first) is written with a leading "'".
std::string DeviceCsvText(const std::vector<DeviceCsvRow>& rows);

// A spreadsheet would take a text starting with =, +, -, @ (or with a tab or
// CR before one) for a formula: such a text gets a leading "'".
std::string CsvFormulaGuard(const std::string& text);
// One CSV line (CRLF at the end) of the fields, each through CsvField.
std::string CsvLine(const std::vector<std::string>& fields);
// Writes text through a temporary file renamed over path (as WriteDeviceCsv).
// 0, or -1 with the reason in *error.
int32_t WriteCsvText(const std::string& path, const std::string& text, std::string* error);

// Writes the text to a temporary file beside path and renames it over path,
// so a failed write never leaves half a file. 0, or -1 with the reason in *error.
int32_t WriteDeviceCsv(const std::string& path, const std::vector<DeviceCsvRow>& rows, std::string* error);
