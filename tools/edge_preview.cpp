// edge-preview W H DPI BORDER FILL SHADOW ACTIVE OUTPREFIX [--window RRGGBB] [--desktop RRGGBB]
//
// Writes the smooth edge's companion bitmap as OUTPREFIX-bitmap.png (straight
// alpha) and OUTPREFIX-composite.png: the bitmap over a flat window clipped to
// its region, over a flat desktop, as a compositing desktop would show it.

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runner/window_corner/corner_geometry.h"
#include "runner/window_corner/edge_compose.h"

namespace {

constexpr char kUsage[] =
    "usage: edge-preview W H DPI BORDER FILL SHADOW ACTIVE OUTPREFIX [--window RRGGBB] [--desktop RRGGBB]\n"
    "  W, H, DPI decimal; colours hexadecimal RRGGBB (\"0x\" optional); ACTIVE 1 or 0\n";

bool ParseDecimal(const char* text, int* out) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno || end == text || *end || value <= 0 || value > 1000000) return false;
  *out = static_cast<int>(value);
  return true;
}

bool ParseColor(const char* text, std::uint32_t* out) {
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  if (std::strlen(text) != 6 || std::strspn(text, "0123456789abcdefABCDEF") != 6) return false;
  *out = static_cast<std::uint32_t>(std::strtoul(text, nullptr, 16));
  return true;
}

// RGBA rows of 8-bit channels.
using Picture = std::vector<std::uint8_t>;

bool WritePng(const std::string& path, int width, int height, const Picture& rgba) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  if (info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, &rgba[static_cast<std::size_t>(y) * width * 4]);
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 && ok;
}

std::uint32_t Channel(std::uint32_t pixel, int shift) { return (pixel >> shift) & 0xFFu; }

void Put(Picture& picture, std::size_t index, std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
  picture[index * 4] = static_cast<std::uint8_t>(r);
  picture[index * 4 + 1] = static_cast<std::uint8_t>(g);
  picture[index * 4 + 2] = static_cast<std::uint8_t>(b);
  picture[index * 4 + 3] = static_cast<std::uint8_t>(a);
}

// Premultiplied 0xAARRGGBB to straight-alpha RGBA.
Picture Unpremultiplied(const orv::EdgeBitmap& bitmap) {
  Picture picture(bitmap.pixels.size() * 4);
  for (std::size_t i = 0; i < bitmap.pixels.size(); ++i) {
    const std::uint32_t p = bitmap.pixels[i], a = p >> 24;
    auto straight = [&](int shift) { return a ? (Channel(p, shift) * 255 + a / 2) / a : 0; };
    Put(picture, i, straight(16), straight(8), straight(0), a);
  }
  return picture;
}

// Whether window pixel (x, y) is inside the window's region: the full rows
// between the corner squares, and within them the columns from solidFrom on.
bool InRegion(const orv::EdgeGeometry& g, const orv::CornerTable& table, int x, int y) {
  if (x < 0 || y < 0 || x >= g.width || y >= g.height) return false;
  const int cy = std::min(y, g.height - 1 - y);
  if (cy >= table.n) return true;
  return x >= table.solidFrom[cy] && x < g.width - table.solidFrom[cy];
}

Picture Composite(const orv::EdgeBitmap& bitmap, const orv::CornerTable& table, std::uint32_t window,
                  std::uint32_t desktop) {
  const orv::EdgeGeometry& g = bitmap.geometry;
  Picture picture(bitmap.pixels.size() * 4);
  for (int Y = 0; Y < g.bitmapHeight; ++Y) {
    for (int X = 0; X < g.bitmapWidth; ++X) {
      const std::size_t i = static_cast<std::size_t>(Y) * g.bitmapWidth + X;
      const std::uint32_t below = InRegion(g, table, X - g.margin, Y - g.margin) ? window : desktop;
      const std::uint32_t p = bitmap.pixels[i], keep = 255 - (p >> 24);
      auto over = [&](int shift) { return Channel(p, shift) + (Channel(below, shift) * keep + 127) / 255; };
      Put(picture, i, over(16), over(8), over(0), 255);
    }
  }
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> positional;
  std::uint32_t window = 0xD3D3D3, desktop = 0x808080;
  for (int i = 1; i < argc; ++i) {
    const bool windowOption = std::strcmp(argv[i], "--window") == 0;
    if (windowOption || std::strcmp(argv[i], "--desktop") == 0) {
      if (i + 1 >= argc || !ParseColor(argv[i + 1], windowOption ? &window : &desktop)) {
        std::fprintf(stderr, "edge-preview: %s needs a colour RRGGBB\n%s", argv[i], kUsage);
        return 2;
      }
      ++i;
      continue;
    }
    positional.push_back(argv[i]);
  }
  int width = 0, height = 0, dpi = 0;
  orv::EdgeColors colors;
  if (positional.size() != 8 || !ParseDecimal(positional[0], &width) || !ParseDecimal(positional[1], &height) ||
      !ParseDecimal(positional[2], &dpi) || !ParseColor(positional[3], &colors.border) ||
      !ParseColor(positional[4], &colors.fill) || !ParseColor(positional[5], &colors.shadow) ||
      (std::strcmp(positional[6], "0") != 0 && std::strcmp(positional[6], "1") != 0)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const bool active = positional[6][0] == '1';
  const std::string prefix = positional[7];

  orv::EdgeBitmap bitmap;
  orv::CornerTable table;
  if (!orv::BuildEdgeBitmap(width, height, dpi / 96.0, active, colors, &bitmap) ||
      !orv::BuildCornerTable(bitmap.geometry.radius, bitmap.geometry.border, colors.border, colors.fill, &table)) {
    std::fprintf(stderr, "edge-preview: no edge for %dx%d at %d DPI\n", width, height, dpi);
    return 1;
  }
  const orv::EdgeGeometry& g = bitmap.geometry;
  const std::string bitmapPath = prefix + "-bitmap.png", compositePath = prefix + "-composite.png";
  if (!WritePng(bitmapPath, g.bitmapWidth, g.bitmapHeight, Unpremultiplied(bitmap)) ||
      !WritePng(compositePath, g.bitmapWidth, g.bitmapHeight, Composite(bitmap, table, window, desktop))) {
    std::fprintf(stderr, "edge-preview: cannot write %s\n", prefix.c_str());
    return 1;
  }
  std::printf("%s\n%s\n", bitmapPath.c_str(), compositePath.c_str());
  return 0;
}
