#include "engine/video/contact_sheet.h"

#include <algorithm>
#include <cmath>

namespace {

const uint8_t kBackground[3] = {40, 40, 40};
const uint8_t kPictureBox[3] = {0, 0, 0};
const uint8_t kFailureBox[3] = {110, 20, 20};
const uint8_t kFailureText[3] = {255, 235, 120};
const uint8_t kLineText[3] = {225, 225, 225};

void Fill(const RgbCanvas& c, int x, int y, int w, int h, const uint8_t rgb[3]) {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(c.width, x + w), y1 = std::min(c.height, y + h);
  for (int py = y0; py < y1; ++py) {
    uint8_t* p = c.pixels + (size_t(py) * size_t(c.width) + size_t(x0)) * 3;
    for (int px = x0; px < x1; ++px, p += 3) {
      p[0] = rgb[0];
      p[1] = rgb[1];
      p[2] = rgb[2];
    }
  }
}

int TextWidth(size_t chars, int scale) {
  return chars == 0 ? 0 : static_cast<int>(chars) * kGlyphAdvance * scale - scale;
}

}  // namespace

bool FrameUsable(const VideoFrame& f) {
  return f.width > 0 && f.height > 0 && f.bgra.size() >= size_t(f.width) * size_t(f.height) * 4;
}

void DrawFrameFitted(const VideoFrame& f, const RgbCanvas& c, int x, int y, int w, int h) {
  if (!FrameUsable(f) || w <= 0 || h <= 0 || !c.pixels) return;
  const int64_t W = f.width, H = f.height;
  int64_t fw, fh;
  if (W * h > int64_t(w) * H) {
    fw = w;
    fh = std::max<int64_t>(1, H * w / W);
  } else {
    fh = h;
    fw = std::max<int64_t>(1, W * h / H);
  }
  const int ox = x + static_cast<int>((w - fw) / 2), oy = y + static_cast<int>((h - fh) / 2);
  for (int64_t dy = 0; dy < fh; ++dy) {
    const int py = oy + static_cast<int>(dy);
    if (py < 0 || py >= c.height) continue;
    const int64_t sy0 = dy * H / fh;
    const int64_t sy1 = std::max(sy0 + 1, (dy + 1) * H / fh);
    for (int64_t dx = 0; dx < fw; ++dx) {
      const int px = ox + static_cast<int>(dx);
      if (px < 0 || px >= c.width) continue;
      const int64_t sx0 = dx * W / fw;
      const int64_t sx1 = std::max(sx0 + 1, (dx + 1) * W / fw);
      uint64_t sum[3] = {0, 0, 0};
      for (int64_t sy = sy0; sy < sy1; ++sy) {
        const uint8_t* s = f.bgra.data() + (size_t(sy) * size_t(W) + size_t(sx0)) * 4;
        for (int64_t sx = sx0; sx < sx1; ++sx, s += 4) {
          sum[0] += s[2];
          sum[1] += s[1];
          sum[2] += s[0];
        }
      }
      const uint64_t n = uint64_t(sy1 - sy0) * uint64_t(sx1 - sx0);
      uint8_t* p = c.pixels + (size_t(py) * size_t(c.width) + size_t(px)) * 3;
      for (int k = 0; k < 3; ++k) p[k] = static_cast<uint8_t>(sum[k] / n);
    }
  }
}

int ComposeContactSheet(const std::vector<SheetTile>& tiles, const SheetLayout& l, RgbPicture* out) {
  const int n = static_cast<int>(tiles.size());
  if (n == 0 || l.picture_width < 1 || l.picture_height < 1 || l.text_scale < 1 || l.gap < 0) return -1;
  int columns = l.columns > 0 ? std::min(l.columns, n) : static_cast<int>(std::ceil(std::sqrt(double(n))));
  columns = std::max(1, columns);
  const int rows = (n + columns - 1) / columns;
  const int line_h = kGlyphLine * l.text_scale;
  const int tile_w = l.picture_width;
  const int tile_h = l.picture_height + l.gap / 2 + 3 * line_h;
  const int64_t width = int64_t(columns) * (tile_w + l.gap) + l.gap;
  const int64_t height = int64_t(rows) * (tile_h + l.gap) + l.gap;
  if (width > 32767 || height > 32767) return -1;
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->rgb.assign(size_t(width) * size_t(height) * 3, 0);
  RgbCanvas c{out->width, out->height, out->rgb.data()};
  Fill(c, 0, 0, c.width, c.height, kBackground);
  const size_t max_chars = static_cast<size_t>(std::max(1, (tile_w + l.text_scale) / (kGlyphAdvance * l.text_scale)));
  for (int i = 0; i < n; ++i) {
    const SheetTile& t = tiles[i];
    const int x = l.gap + (i % columns) * (tile_w + l.gap);
    const int y = l.gap + (i / columns) * (tile_h + l.gap);
    if (t.picture && FrameUsable(*t.picture)) {
      Fill(c, x, y, tile_w, l.picture_height, kPictureBox);
      DrawFrameFitted(*t.picture, c, x, y, tile_w, l.picture_height);
    } else {
      Fill(c, x, y, tile_w, l.picture_height, kFailureBox);
      const std::string& why = t.failure.empty() ? std::string("no picture") : t.failure;
      const int w = TextWidth(std::min(why.size(), max_chars), l.text_scale);
      DrawText(c, x + std::max(0, (tile_w - w) / 2), y + (l.picture_height - kGlyphHeight * l.text_scale) / 2,
               l.text_scale, why, max_chars, kFailureText);
    }
    for (int k = 0; k < 3; ++k)
      DrawText(c, x, y + l.picture_height + l.gap / 2 + k * line_h, l.text_scale, t.lines[k], max_chars, kLineText);
  }
  return 0;
}
