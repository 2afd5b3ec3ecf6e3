#pragma once
// The contact sheet of many devices' first pictures: a grid of tiles in list
// order, each picture scaled into its tile (aspect kept) with up to three
// text lines under it; a device without a picture gets a tile saying why.
// Plain pixels: the caller writes the result as PNG.
#include <cstdint>
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

// The sheet of tiles; 0, or -1 for no tiles or a layout that does not fit in
// 32,767 pixels a side.
int ComposeContactSheet(const std::vector<SheetTile>& tiles, const SheetLayout& layout, RgbPicture* out);
