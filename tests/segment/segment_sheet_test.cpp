// dravenkit-cli snapshot --sheet on the video fleet: per-device results in
// list order, and a contact sheet with a picture tile and failure tiles.
#include <png.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "engine/video/contact_sheet.h"
#include "tests/support/cli_runner.h"
#include "tests/support/temp_dir.h"

namespace {

int Cli(const std::vector<std::string>& args, std::string* out) {
  std::vector<std::string> argv = {"snapshot"};
  argv.insert(argv.end(), args.begin(), args.end());
  const dktest::CliRun r = dktest::RunCli(argv);
  EXPECT_FALSE(r.timed_out);
  *out = r.out;
  return r.code;
}

struct Png {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int x, int y) const { return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
};

bool ReadPng(const std::string& path, Png* out) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
  img.format = PNG_FORMAT_RGB;
  out->width = static_cast<int>(img.width);
  out->height = static_cast<int>(img.height);
  out->rgb.resize(PNG_IMAGE_SIZE(img));
  const bool ok = png_image_finish_read(&img, nullptr, out->rgb.data(), 0, nullptr) != 0;
  png_image_free(&img);
  return ok;
}

// Colours in the picture box of tile i of a sheet laid out as SheetLayout().
std::set<uint32_t> BoxColours(const Png& p, int i, int columns) {
  const SheetLayout l;
  const int tile_h = l.picture_height + l.gap / 2 + 3 * kGlyphLine * l.text_scale;
  const int x0 = l.gap + (i % columns) * (l.picture_width + l.gap), y0 = l.gap + (i / columns) * (tile_h + l.gap);
  std::set<uint32_t> seen;
  for (int y = y0; y < y0 + l.picture_height; y += 3)
    for (int x = x0; x < x0 + l.picture_width; x += 3) {
      const uint8_t* px = p.At(x, y);
      seen.insert(uint32_t(px[0]) << 16 | uint32_t(px[1]) << 8 | px[2]);
    }
  return seen;
}

TEST(SegmentSheet, PicturesAndFailureTilesInListOrder) {
  TempDir dir;
  const std::string sheet = dir.File("sheet.png");
  std::string out;
  // auth-refuse, the picture, rtsp-busy, rtsp-silent, no AV port, a picture that changes size.
  // Only the silent device waits the time-out out; the picture's device must
  // answer within it on a loaded machine running the ASan build.
  const int rc = Cli({"--mac", "02:44:4B:00:00:04", "--mac", "02:44:4B:00:00:00", "--mac", "02:44:4B:00:00:01",
                      "--mac", "02:44:4B:00:00:02", "--mac", "02:44:4B:00:00:03", "--mac", "02:44:4B:00:00:05",
                      "--password", "pa ss@:/w", "--timeout", "8", "--sheet", sheet, "--json"},
                     &out);
  EXPECT_EQ(rc, 1);
  const auto j = nlohmann::json::parse(out, nullptr, false);
  ASSERT_TRUE(j.is_object()) << out;
  const auto& d = j["devices"];
  ASSERT_EQ(d.size(), 6u) << out;
  // The resizing device's password is the default one, so it is refused here.
  const char* want[] = {"auth", "ok", "busy", "no_answer", "no_port", "auth"};
  const char* ips[] = {"10.77.1.5", "10.77.1.1", "10.77.1.2", "10.77.1.3", "10.77.1.4", "10.77.1.6"};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(d[i]["result"], want[i]) << i;
    EXPECT_EQ(d[i]["ip"], ips[i]) << i;
    if (i != 1) {
      EXPECT_TRUE(d[i]["width"].is_null() && d[i]["first_frame_ms"].is_null()) << i;
    }
  }
  EXPECT_EQ(d[1]["mac"], "02:44:4B:00:00:00");
  EXPECT_EQ(d[1]["width"], 640);
  EXPECT_EQ(d[1]["height"], 360);
  EXPECT_GE(d[1]["first_frame_ms"].get<int>(), 0);

  Png p;
  ASSERT_TRUE(ReadPng(sheet, &p));
  const SheetLayout l;
  const int tile_h = l.picture_height + l.gap / 2 + 3 * kGlyphLine * l.text_scale;
  EXPECT_EQ(p.width, 3 * (l.picture_width + l.gap) + l.gap);
  EXPECT_EQ(p.height, 2 * (tile_h + l.gap) + l.gap);
  EXPECT_GT(BoxColours(p, 1, 3).size(), 8u);  // the test pattern
  for (int i : {0, 2, 3, 4, 5}) {
    // A failure tile: its box colour and its reason's text colour, nothing else.
    const std::set<uint32_t> c = BoxColours(p, i, 3);
    EXPECT_EQ(c.size(), 2u) << i;
    EXPECT_EQ(c.count(0x6E1414u), 1u) << i;
  }
}

TEST(SegmentSheet, OneLinePerDeviceAndStatusZeroWhenAllGavePictures) {
  TempDir dir;
  std::string out;
  EXPECT_EQ(Cli({"--mac", "02:44:4B:00:00:00", "--stream", "2", "--channel", "3", "--password", "pa ss@:/w",
                 "--sheet", dir.File("s.png")},
                &out),
            0);
  EXPECT_EQ(out.rfind("02:44:4B:00:00:00 10.77.1.1 480x270, first frame after ", 0), 0u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  // A picture that changes its size mid-way, next to a fixed one.
  EXPECT_EQ(Cli({"--mac", "02:44:4B:00:00:05", "--mac", "02:44:4B:00:00:01", "--sheet", dir.File("r.png")}, &out), 1);
  EXPECT_EQ(out.rfind("02:44:4B:00:00:05 10.77.1.6 ", 0), 0u) << out;
  EXPECT_NE(out.find("first frame after"), std::string::npos) << out;
  EXPECT_NE(out.find("02:44:4B:00:00:01 10.77.1.2 too many viewers\n"), std::string::npos) << out;
  // Stream 3 of a device without a third AV port: no connection, its own reason.
  EXPECT_EQ(Cli({"--mac", "02:44:4B:00:00:01", "--stream", "3", "--sheet", dir.File("t.png")}, &out), 1);
  EXPECT_EQ(out, "02:44:4B:00:00:01 10.77.1.2 no video port\n");
  EXPECT_EQ(Cli({"--mac", "02:44:4B:00:00:09", "--sheet", dir.File("u.png")}, &out), 1);  // not on the segment
  EXPECT_EQ(out, "");
}

}  // namespace
