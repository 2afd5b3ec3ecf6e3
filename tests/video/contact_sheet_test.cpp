// The contact sheet's pixels: the font, pictures of any size fitted into
// their tiles (seeded random sizes, damaged frames), failure tiles.
#include "engine/video/contact_sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <set>


namespace {

TEST(BitmapFont, EveryPrintableGlyphIsItsOwnAndOthersShowAsQuestionMark) {
  std::set<std::vector<uint8_t>> seen;
  for (int c = 0x21; c <= 0x7E; ++c) {
    const uint8_t* g = GlyphRows(static_cast<unsigned char>(c));
    std::vector<uint8_t> rows(g, g + kGlyphHeight);
    bool ink = false;
    for (uint8_t r : rows) {
      EXPECT_EQ(r & ~0x1F, 0) << char(c);
      ink = ink || r != 0;
    }
    EXPECT_TRUE(ink) << char(c);
    EXPECT_TRUE(seen.insert(rows).second) << "glyph of '" << char(c) << "' repeats another";
  }
  for (uint8_t r : std::vector<uint8_t>(GlyphRows(' '), GlyphRows(' ') + kGlyphHeight)) EXPECT_EQ(r, 0);
  EXPECT_EQ(GlyphRows(0x80), GlyphRows('?'));
  EXPECT_EQ(GlyphRows('\n'), GlyphRows('?'));

  // Clipped at the canvas and cut at max_chars with '~' at the end.
  std::vector<uint8_t> px(20 * 8 * 3, 0);
  const uint8_t white[3] = {255, 255, 255};
  EXPECT_EQ(DrawText({20, 8, px.data()}, 0, 0, 1, "ABCDEFGH", 3, white), 3 * kGlyphAdvance);
  EXPECT_EQ(DrawText({20, 8, px.data()}, -100, -100, 3, "ABC", 10, white), 3 * 3 * kGlyphAdvance);
}

VideoFrame Uniform(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  VideoFrame f;
  f.width = w;
  f.height = h;
  f.bgra.resize(size_t(w) * size_t(h) * 4);
  for (size_t i = 0; i < f.bgra.size(); i += 4) {
    f.bgra[i] = b;
    f.bgra[i + 1] = g;
    f.bgra[i + 2] = r;
    f.bgra[i + 3] = 255;
  }
  return f;
}

TEST(ContactSheet, PicturesOfAnySizeFitTheirTilesAndDamagedFramesBecomeFailureTiles) {
  const unsigned seed = static_cast<unsigned>(std::random_device{}());
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const int n = 13;
  std::vector<VideoFrame> frames(n);
  std::vector<SheetTile> tiles(n);
  std::vector<bool> usable(n);
  for (int i = 0; i < n; ++i) {
    // Any size from 1 pixel to 1500, no thinner than 1:4, so the centre is picture.
    const int w = 1 + int(rng() % 1500);
    const int h = std::max(1, int(w * (0.25 + double(rng() % 1000) / 1000.0 * 3.75)));
    frames[i] = Uniform(w, h, uint8_t(1 + rng() % 254), uint8_t(rng() % 256), uint8_t(rng() % 256));
    const unsigned kind = rng() % 5;
    if (kind == 0) frames[i].bgra.resize(frames[i].bgra.size() / 2);  // fewer bytes than its size says
    if (kind == 1) frames[i].width = 0;
    tiles[i].picture = &frames[i];
    tiles[i].failure = "no answer";
    tiles[i].lines[0] = std::string(200, 'M');  // longer than a tile: cut
    tiles[i].lines[1] = "02:44:4B:00:00:01";
    tiles[i].lines[2] = "10.77.1.1:554";
    usable[i] = kind > 1;
  }
  tiles[n - 1].picture = nullptr;
  usable[n - 1] = false;
  frames[0] = Uniform(100, 1000, 200, 10, 10);  // a thin column
  usable[0] = true;

  const SheetLayout l;
  RgbPicture sheet;
  ASSERT_EQ(ComposeContactSheet(tiles, l, &sheet), 0);
  const int columns = 4, tile_h = l.picture_height + l.gap / 2 + 3 * kGlyphLine * l.text_scale;
  ASSERT_EQ(sheet.width, columns * (l.picture_width + l.gap) + l.gap);
  ASSERT_EQ(sheet.height, 4 * (tile_h + l.gap) + l.gap);
  auto at = [&](int x, int y) { return sheet.rgb.data() + (size_t(y) * size_t(sheet.width) + size_t(x)) * 3; };
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    const int x0 = l.gap + (i % columns) * (l.picture_width + l.gap);
    const int y0 = l.gap + (i / columns) * (tile_h + l.gap);
    const uint8_t* centre = at(x0 + l.picture_width / 2, y0 + l.picture_height / 2);
    const uint8_t* corner = at(x0, y0);
    if (usable[i]) {
      const uint8_t* src = frames[i].bgra.data();
      EXPECT_EQ(centre[0], src[2]);
      EXPECT_EQ(centre[1], src[1]);
      EXPECT_EQ(centre[2], src[0]);
    } else {
      EXPECT_EQ(corner[0], 110);
      EXPECT_EQ(corner[1], 20);
      EXPECT_EQ(corner[2], 20);
    }
    // The text lines stay inside the tile: the gap right of it is untouched.
    const int text_y = y0 + l.picture_height + l.gap / 2 + 2;
    EXPECT_EQ(at(x0 + l.picture_width + l.gap / 2, text_y)[0], 40);
  }
  // The column keeps its aspect: letterbox beside it.
  EXPECT_EQ(at(l.gap, l.gap + l.picture_height / 2)[0], 0);
  EXPECT_EQ(ComposeContactSheet({}, l, &sheet), -1);
}

// Streamed, a band goes out once its tiles are final, whatever order they
// end in, and its pictures are freed: the rows are those of the whole sheet.
TEST(ContactSheet, StreamedBandsGoOutInOrderAndFreeTheirPictures) {
  SheetLayout l;
  l.columns = 3;
  const size_t n = 8;  // three bands, the last not full
  ContactSheet whole(n, l), streamed(n, l);
  std::vector<VideoFrame> frames;
  for (size_t i = 0; i < n; ++i) frames.push_back(Uniform(64 + int(i), 36, uint8_t(20 * i), 100, 200));
  for (ContactSheet* s : {&whole, &streamed})
    for (size_t i = 0; i < n; ++i) {
      s->SetLines(i, "DK-E2100", "02:44:4B:00:00:0" + std::to_string(i), "10.77.1.1:554");
      if (i != 4) s->SetPicture(i, frames[i]);
    }
  whole.SetFailure(4, "no answer");
  RgbPicture want;
  ASSERT_EQ(whole.Compose(&want), 0);
  std::vector<uint8_t> got;
  int next_y = 0;
  streamed.Stream([&](int y, const uint8_t* rgb) {
    EXPECT_EQ(y, next_y++);
    got.insert(got.end(), rgb, rgb + size_t(streamed.width()) * 3);
    return true;
  });
  for (size_t i : {1u, 2u, 5u, 3u}) streamed.Done(i);
  EXPECT_EQ(next_y, 0);  // tile 0 is still in flight: nothing can go out
  streamed.Done(0);      // bands 0 done; band 1 waits for tile 4
  EXPECT_GT(next_y, 0);
  EXPECT_EQ(streamed.PicturesHeld(), 4u);  // tiles 3, 5, 6, 7
  streamed.SetFailure(4, "no answer");
  for (size_t i : {4u, 7u, 6u}) streamed.Done(i);
  EXPECT_EQ(streamed.Finish(), 0);
  EXPECT_EQ(streamed.PicturesHeld(), 0u);
  EXPECT_EQ(next_y, want.height);
  EXPECT_TRUE(got == want.rgb);
}

}  // namespace
