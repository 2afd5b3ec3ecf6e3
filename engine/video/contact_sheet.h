#pragma once
// The contact sheet of many devices' first pictures: a grid of tiles in list
// order, each picture scaled into its tile (aspect kept) with up to three
// text lines under it; a device without a picture gets a tile saying why.
// Plain pixels: the caller writes the result as PNG.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/video/bitmap_font.h"
#include "engine/video/video_client.h"

struct SheetTile {
  const VideoFrame* picture = nullptr;  // nullptr, or a frame without pixels: a failure tile
  std::string failure;                  // the failure tile's reason
  std::string lines[3];                 // under the picture: model, MAC, address
};

struct SheetLayout {
  int picture_width = 320;
  int picture_height = 180;
  int text_scale = 2;  // font pixels per glyph pixel
  int gap = 6;
  int columns = 0;     // 0: a near-square grid
};

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * 3 bytes a row
};

// True when f holds width x height BGRA pixels (width, height > 0).
bool FrameUsable(const VideoFrame& f);

// Scales f with a box filter into the w x h box at (x, y) of c, centred with
// its aspect ratio kept. Nothing is drawn for an unusable frame or box.
void DrawFrameFitted(const VideoFrame& f, const RgbCanvas& c, int x, int y, int w, int h);

// The sheet being filled as pictures arrive: each frame is scaled into its
// tile at once (a picture box of picture_width x picture_height, 173 KB at
// the default size) and never kept. Streamed (Stream, then Done per tile),
// each band of tiles is drawn and written as soon as all its tiles are final
// and then freed, so memory holds the bands still in flight, not the fleet.
class ContactSheet {
 public:
  ContactSheet(size_t tiles, const SheetLayout& layout);
  // At least one tile, and the sheet fits in 32,767 pixels a side.
  bool Fits() const { return fits_; }
  int width() const { return width_; }
  int height() const { return height_; }
  size_t size() const { return tiles_.size(); }
  // Tile i gets the picture of f (aspect kept); an unusable frame leaves it a
  // failure tile. Different tiles may be set from different threads at once.
  void SetPicture(size_t i, const VideoFrame& f);
  // Tile i is a failure tile saying why (its picture, if any, goes).
  void SetFailure(size_t i, const std::string& why);
  void SetLines(size_t i, const std::string& model, const std::string& mac, const std::string& address);
  // Calls row(y, pixels) for every row of the sheet, top to bottom (width()
  // RGB pixels each). 0, or -1 when the layout does not fit or row says false.
  int WriteRows(const std::function<bool(int y, const uint8_t* rgb)>& row) const;
  // The whole sheet in memory (tests, small sheets). 0 or -1 as WriteRows.
  int Compose(RgbPicture* out) const;

  // Streaming: rows go to row (as in WriteRows) band by band, in order, on
  // the thread whose Done completes a band (one at a time, under a lock).
  void Stream(std::function<bool(int y, const uint8_t* rgb)> row);
  // Tile i is final (picture or failure and its lines set); any thread.
  void Done(size_t i);
  // After every Done: 0 when every row went out, -1 otherwise.
  int Finish();
  // Tiles holding picture pixels now.
  size_t PicturesHeld();

 private:
  struct Tile {
    std::vector<uint8_t> box;  // the picture box, RGB; empty: a failure tile
    std::string failure;
    std::string lines[3];
  };
  void DrawBand(int band, const RgbCanvas& c) const;
  void FlushBands();  // with mu_ held
  SheetLayout l_;
  std::vector<Tile> tiles_;
  std::mutex mu_;
  std::function<bool(int, const uint8_t*)> row_;
  std::vector<char> done_;
  std::vector<uint8_t> band_;
  int next_band_ = 0;
  bool stream_failed_ = false;
  bool fits_ = false;
  int columns_ = 1, rows_ = 0, tile_h_ = 0, width_ = 0, height_ = 0;
};

// The sheet of tiles; 0, or -1 for no tiles or a layout that does not fit in
// 32,767 pixels a side.
int ComposeContactSheet(const std::vector<SheetTile>& tiles, const SheetLayout& layout, RgbPicture* out);
