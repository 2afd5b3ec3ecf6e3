#include "engine/video/contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

ContactSheet::ContactSheet(size_t n, const SheetLayout& l) : l_(l), tiles_(n) {
  if (n == 0 || n > 1000000 || l.picture_width < 1 || l.picture_height < 1 || l.text_scale < 1 || l.gap < 0) return;
  const int count = static_cast<int>(n);
  columns_ = l.columns > 0 ? std::min(l.columns, count) : static_cast<int>(std::ceil(std::sqrt(double(count))));
  columns_ = std::max(1, columns_);
  rows_ = (count + columns_ - 1) / columns_;
  tile_h_ = l.picture_height + l.gap / 2 + 3 * kGlyphLine * l.text_scale;
  const int64_t width = int64_t(columns_) * (int64_t(l.picture_width) + l.gap) + l.gap;
  const int64_t height = int64_t(rows_) * (int64_t(tile_h_) + l.gap) + l.gap;
  if (width > 32767 || height > 32767) return;
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(height);
  fits_ = true;
}

void ContactSheet::SetPicture(size_t i, const VideoFrame& f) {
  if (i >= tiles_.size() || !fits_) return;
  Tile& t = tiles_[i];
  if (!FrameUsable(f)) {
    t.box.clear();
    return;
  }
  t.box.assign(size_t(l_.picture_width) * size_t(l_.picture_height) * 3, 0);
  const RgbCanvas c{l_.picture_width, l_.picture_height, t.box.data()};
  Fill(c, 0, 0, c.width, c.height, kPictureBox);
  DrawFrameFitted(f, c, 0, 0, c.width, c.height);
}

void ContactSheet::SetFailure(size_t i, const std::string& why) {
  if (i >= tiles_.size()) return;
  tiles_[i].box.clear();
  tiles_[i].box.shrink_to_fit();
  tiles_[i].failure = why;
}

void ContactSheet::SetLines(size_t i, const std::string& model, const std::string& mac, const std::string& address) {
  if (i >= tiles_.size()) return;
  tiles_[i].lines[0] = model;
  tiles_[i].lines[1] = mac;
  tiles_[i].lines[2] = address;
}

// Band b: the gap above tile row b and the row itself, drawn into c (width_ wide).
void ContactSheet::DrawBand(int band, const RgbCanvas& c) const {
  Fill(c, 0, 0, c.width, c.height, kBackground);
  const int line_h = kGlyphLine * l_.text_scale;
  const int tile_w = l_.picture_width;
  const size_t max_chars = static_cast<size_t>(std::max(1, (tile_w + l_.text_scale) / (kGlyphAdvance * l_.text_scale)));
  for (int col = 0; col < columns_; ++col) {
    const size_t i = size_t(band) * size_t(columns_) + size_t(col);
    if (i >= tiles_.size()) break;
    const Tile& t = tiles_[i];
    const int x = l_.gap + col * (tile_w + l_.gap);
    const int y = l_.gap;
    if (!t.box.empty()) {
      for (int py = 0; py < l_.picture_height && y + py < c.height; ++py)
        std::memcpy(c.pixels + (size_t(y + py) * size_t(c.width) + size_t(x)) * 3,
                    t.box.data() + size_t(py) * size_t(tile_w) * 3, size_t(tile_w) * 3);
    } else {
      Fill(c, x, y, tile_w, l_.picture_height, kFailureBox);
      const std::string& why = t.failure.empty() ? std::string("no picture") : t.failure;
      const int w = TextWidth(std::min(why.size(), max_chars), l_.text_scale);
      DrawText(c, x + std::max(0, (tile_w - w) / 2), y + (l_.picture_height - kGlyphHeight * l_.text_scale) / 2,
               l_.text_scale, why, max_chars, kFailureText);
    }
    for (int k = 0; k < 3; ++k)
      DrawText(c, x, y + l_.picture_height + l_.gap / 2 + k * line_h, l_.text_scale, t.lines[k], max_chars, kLineText);
  }
}

int ContactSheet::WriteRows(const std::function<bool(int y, const uint8_t* rgb)>& row) const {
  if (!fits_) return -1;
  const int band_h = tile_h_ + l_.gap;
  std::vector<uint8_t> band(size_t(width_) * size_t(band_h) * 3);
  const RgbCanvas c{width_, band_h, band.data()};
  int y = 0;
  for (int b = 0; b < rows_; ++b) {
    DrawBand(b, c);
    for (int r = 0; r < band_h; ++r, ++y)
      if (!row(y, band.data() + size_t(r) * size_t(width_) * 3)) return -1;
  }
  // The gap under the last row.
  Fill(c, 0, 0, c.width, c.height, kBackground);
  for (; y < height_; ++y)
    if (!row(y, band.data())) return -1;
  return 0;
}

int ContactSheet::Compose(RgbPicture* out) const {
  if (!fits_) return -1;
  out->width = width_;
  out->height = height_;
  out->rgb.assign(size_t(width_) * size_t(height_) * 3, 0);
  return WriteRows([out](int y, const uint8_t* rgb) {
    std::memcpy(out->rgb.data() + size_t(y) * size_t(out->width) * 3, rgb, size_t(out->width) * 3);
    return true;
  });
}

void ContactSheet::Stream(std::function<bool(int y, const uint8_t* rgb)> row) {
  std::lock_guard<std::mutex> lk(mu_);
  row_ = std::move(row);
  done_.assign(tiles_.size(), 0);
  next_band_ = 0;
  stream_failed_ = !fits_;
  if (fits_) band_.assign(size_t(width_) * size_t(tile_h_ + l_.gap) * 3, 0);
}

void ContactSheet::Done(size_t i) {
  std::lock_guard<std::mutex> lk(mu_);
  if (i >= done_.size() || done_[i]) return;
  done_[i] = 1;
  FlushBands();
}

void ContactSheet::FlushBands() {
  if (stream_failed_ || next_band_ > rows_) return;  // failed, or every row is out
  const int band_h = tile_h_ + l_.gap;
  const RgbCanvas c{width_, band_h, band_.data()};
  while (next_band_ < rows_) {
    const size_t first = size_t(next_band_) * size_t(columns_);
    const size_t last = std::min(tiles_.size(), first + size_t(columns_));
    for (size_t i = first; i < last; ++i)
      if (!done_[i]) return;
    DrawBand(next_band_, c);
    const int y0 = next_band_ * band_h;
    for (int r = 0; r < band_h && !stream_failed_; ++r)
      stream_failed_ = !row_(y0 + r, band_.data() + size_t(r) * size_t(width_) * 3);
    for (size_t i = first; i < last; ++i) std::vector<uint8_t>().swap(tiles_[i].box);  // written: its pixels go
    ++next_band_;
    if (stream_failed_) return;
  }
  // The gap under the last row.
  Fill(c, 0, 0, c.width, c.height, kBackground);
  for (int y = rows_ * band_h; y < height_ && !stream_failed_; ++y) stream_failed_ = !row_(y, band_.data());
  next_band_ = rows_ + 1;
  std::vector<uint8_t>().swap(band_);
}

size_t ContactSheet::PicturesHeld() {
  std::lock_guard<std::mutex> lk(mu_);
  return size_t(std::count_if(tiles_.begin(), tiles_.end(), [](const Tile& t) { return !t.box.empty(); }));
}

int ContactSheet::Finish() {
  std::lock_guard<std::mutex> lk(mu_);
  return !stream_failed_ && next_band_ > rows_ ? 0 : -1;
}

int ComposeContactSheet(const std::vector<SheetTile>& tiles, const SheetLayout& l, RgbPicture* out) {
  ContactSheet sheet(tiles.size(), l);
  if (!sheet.Fits()) return -1;
  for (size_t i = 0; i < tiles.size(); ++i) {
    const SheetTile& t = tiles[i];
    if (t.picture && FrameUsable(*t.picture))
      sheet.SetPicture(i, *t.picture);
    else
      sheet.SetFailure(i, t.failure);
    sheet.SetLines(i, t.lines[0], t.lines[1], t.lines[2]);
  }
  return sheet.Compose(out);
}
