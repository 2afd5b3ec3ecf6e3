#include "engine/devices/device_csv.h"

#include <filesystem>
#include <dirent.h>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/temp_dir.h"

namespace {

using Table = std::vector<std::vector<std::string>>;

// An RFC 4180 reader, independent of the writer: quoted fields may hold
// commas, CR, LF and doubled quotes; records end with CRLF.
bool ReadCsv(const std::string& text, Table* out) {
  out->clear();
  std::vector<std::string> rec;
  std::string field;
  size_t i = 0;
  bool quoted = false, any = false;
  while (i < text.size()) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          i += 2;
          continue;
        }
        quoted = false;
      } else {
        field += c;
      }
      ++i;
      continue;
    }
    if (c == '"') {
      if (!field.empty()) return false;  // a quote inside an unquoted field
      quoted = any = true;
    } else if (c == ',') {
      rec.push_back(field);
      field.clear();
    } else if (c == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n') return false;
      rec.push_back(field);
      field.clear();
      out->push_back(rec);
      rec.clear();
      ++i;
    } else if (c == '\n') {
      return false;  // bare LF outside quotes
    } else {
      field += c;
    }
    ++i;
  }
  (void)any;
  return !quoted && rec.empty() && field.empty();
}

DeviceRecord Rec(uint8_t id, const char* model) {
  DeviceRecord r;
  ZeroRecord(&r);
  const uint8_t mac[6] = {0x00, 0x1C, 0x63, 0x00, 0x00, id};
  std::memcpy(r.mac, mac, 6);
  r.ip = IpFromOctets(10, 77, 1, id);
  r.network_type = id % 4;
  std::strncpy(r.model_name, model, sizeof r.model_name - 1);
  r.configured_ip = IpFromOctets(192, 168, 1, id);
  r.subnet_mask = IpFromOctets(255, 255, 255, 0);
  r.gateway = IpFromOctets(192, 168, 1, 1);
  r.dns_server = IpFromOctets(8, 8, 4, 4);
  r.web_port = id == 2 ? 0 : 8080;
  r.av_port1 = 554;
  r.av_port2 = 555;
  return r;
}

TEST(DeviceCsv, RowsRoundTripThroughAReaderWithQuotesCommasAndNonAscii) {
  struct Case {
    const char* model;
    const char* want;  // the model field read back
  } cases[] = {
      {"NVT \"E\", rear", "NVT \"E\", rear"},
      {"Kamera Übersicht 東京", "Kamera Übersicht 東京"},
      {"two\r\nlines", "two\r\nlines"},
      {"caf\xE9", "caf\xC3\xA9"},   // a Latin-1 byte from a device becomes UTF-8
      {"=1+2", "'=1+2"},            // not run as a formula by a spreadsheet
      {"\t=1+2", "'\t=1+2"},        // nor behind a tab or a carriage return some skip first
      {"\r@SUM(A1)", "'\r@SUM(A1)"},
      {" padded ", " padded "},
      {"", ""},
  };
  std::vector<DeviceCsvRow> rows;
  for (size_t i = 0; i < std::size(cases); ++i) {
    rows.push_back(DeviceCsvRowFor(int(i) + 1, Rec(uint8_t(i), cases[i].model)));
    if (i == 1) rows.back().status = "IP address is changed.";
  }
  Table t;
  const std::string text = DeviceCsvText(rows);
  ASSERT_TRUE(ReadCsv(text, &t)) << text;
  ASSERT_EQ(t.size(), rows.size() + 1);
  EXPECT_EQ(t[0], (std::vector<std::string>{"No.", "Model name", "MAC address", "IP address", "Web port", "AV port",
                                            "Configured IP address", "Subnet mask", "Gateway", "DNS server",
                                            "Network type", "Status"}));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& f = t[i + 1];
    ASSERT_EQ(f.size(), 12u) << i;
    EXPECT_EQ(f[0], std::to_string(i + 1));
    EXPECT_EQ(f[1], cases[i].want) << i;
    EXPECT_EQ(f[3], "10.77.1." + std::to_string(i));
    EXPECT_EQ(f[6], "192.168.1." + std::to_string(i));
    EXPECT_EQ(f[7], "255.255.255.0");
    EXPECT_EQ(f[8], "192.168.1.1");
    EXPECT_EQ(f[9], "8.8.4.4");
  }
  EXPECT_EQ(t[1][2], "00:1C:63 - 00:00:00");
  EXPECT_EQ(t[3][4], "-");
  EXPECT_EQ(t[3][5], "554 / 555");
  EXPECT_EQ(t[1][10], "DHCP");
  EXPECT_EQ(t[2][10], "Static IP");
  EXPECT_EQ(t[3][10], "PPPoE");
  EXPECT_EQ(t[4][10], "3");
  EXPECT_EQ(t[2][11], "IP address is changed.");
  EXPECT_EQ(DeviceCsvText({}), std::string(kDeviceCsvHeader) + "\r\n");
}

TEST(DeviceCsv, AFieldStartingWithATabIsQuotedAndPrefixed) {
  EXPECT_EQ(CsvLine({CsvFormulaGuard("\tcmd"), "x\ty", "plain"}), "\"'\tcmd\",\"x\ty\",plain\r\n");
  EXPECT_EQ(CsvFormulaGuard("ok\t"), "ok\t");
}

TEST(DeviceCsv, Utf8FromBytesKeepsValidTextAndReadsOtherBytesAsLatin1) {
  EXPECT_EQ(Utf8FromBytes("abc \xC3\xA9 \xE6\x9D\xB1"), "abc \xC3\xA9 \xE6\x9D\xB1");
  EXPECT_EQ(Utf8FromBytes("\xFF"), "\xC3\xBF");
  EXPECT_EQ(Utf8FromBytes("\xE6\x9D"), "\xC3\xA6\xC2\x9D");  // cut sequence
  EXPECT_EQ(Utf8FromBytes("\xC0\xAF"), "\xC3\x80\xC2\xAF");  // overlong form
  EXPECT_EQ(Utf8FromBytes("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");  // surrogate
}

int Entries(const std::string& dir) {
  int n = 0;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
    ::closedir(d);
  }
  return n;
}

TEST(DeviceCsv, WriteReplacesTheFileWholeOrReportsWhy) {
  TempDir dir;
  const std::vector<DeviceCsvRow> rows = {DeviceCsvRowFor(1, Rec(1, "NVT-E100"))};
  std::string error = "stale";
  dir.Write("list.csv", "old contents");
  ASSERT_EQ(WriteDeviceCsv(dir.File("list.csv"), rows, &error), 0);
  EXPECT_EQ(error, "");
  EXPECT_EQ(dir.Read("list.csv"), DeviceCsvText(rows));
  EXPECT_EQ(Entries(dir.path()), 1);  // no temporary file left

  EXPECT_EQ(WriteDeviceCsv(dir.File("missing/list.csv"), rows, &error), -1);
  EXPECT_EQ(error, std::strerror(ENOENT));
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("folder")));
  EXPECT_EQ(WriteDeviceCsv(dir.File("folder"), rows, &error), -1);
  EXPECT_EQ(error, std::strerror(EISDIR));
  EXPECT_EQ(Entries(dir.path()), 2);
  EXPECT_EQ(dir.Read("list.csv"), DeviceCsvText(rows));
}

}  // namespace
