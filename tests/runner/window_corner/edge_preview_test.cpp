// The edge-preview tool's two pictures, decoded here with zlib alone.

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runner/window_corner/edge_compose.h"

namespace orv {
namespace {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;

  const std::uint8_t* At(int x, int y) const { return &rgba[(std::size_t(y) * width + x) * 4]; }
};

std::uint32_t BigEndian(const std::uint8_t* p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

int Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// 8-bit RGBA, not interlaced: what the tool writes.
::testing::AssertionResult DecodePng(const std::string& path, Picture* out) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes.size() < 8 || !std::equal(kSignature, kSignature + 8, bytes.begin())) {
    return ::testing::AssertionFailure() << path << " is not a PNG file";
  }
  std::vector<std::uint8_t> compressed;
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const std::uint32_t length = BigEndian(&bytes[at]);
    if (at + 12 + length > bytes.size()) return ::testing::AssertionFailure() << "truncated chunk";
    const std::string type(bytes.begin() + at + 4, bytes.begin() + at + 8);
    const std::uint8_t* data = &bytes[at + 8];
    if (type == "IHDR") {
      out->width = int(BigEndian(data));
      out->height = int(BigEndian(data + 4));
      if (data[8] != 8 || data[9] != 6 || data[12] != 0) return ::testing::AssertionFailure() << "not 8-bit RGBA";
    } else if (type == "IDAT") {
      compressed.insert(compressed.end(), data, data + length);
    }
    at += 12 + length;
  }
  const std::size_t stride = std::size_t(out->width) * 4;
  std::vector<std::uint8_t> filtered((stride + 1) * out->height);
  uLongf size = filtered.size();
  if (uncompress(filtered.data(), &size, compressed.data(), compressed.size()) != Z_OK || size != filtered.size()) {
    return ::testing::AssertionFailure() << "image data does not inflate to " << filtered.size() << " bytes";
  }
  out->rgba.assign(stride * out->height, 0);
  for (int y = 0; y < out->height; ++y) {
    const std::uint8_t* in = &filtered[y * (stride + 1) + 1];
    std::uint8_t* row = &out->rgba[y * stride];
    const std::uint8_t* above = y ? row - stride : nullptr;
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= 4 ? row[i - 4] : 0, b = above ? above[i] : 0, c = above && i >= 4 ? above[i - 4] : 0;
      int predicted = 0;
      switch (filtered[y * (stride + 1)]) {
        case 0: break;
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) / 2; break;
        case 4: predicted = Paeth(a, b, c); break;
        default: return ::testing::AssertionFailure() << "filter type " << int(filtered[y * (stride + 1)]);
      }
      row[i] = std::uint8_t(in[i] + predicted);
    }
  }
  return ::testing::AssertionSuccess();
}

std::string RunPreview(const std::string& arguments) {
  const std::string prefix = ::testing::TempDir() + "edge-preview-" + std::to_string(getpid());
  const std::string command = std::string(KILNA_EDGE_PREVIEW) + " " + arguments + " " + prefix + " >/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return prefix;
}

TEST(EdgePreview, CompositeShowsTheBitmapOverTheDesktop) {
  const EdgeColors colors{0x3060C0, 0xFFFFFF, 0x203040};
  const std::string prefix = RunPreview("333 251 144 3060C0 0xffffff 203040 1 --desktop 102030 --window 0xE0E0E0");
  EdgeBitmap core;
  ASSERT_TRUE(BuildEdgeBitmap(333, 251, 1.5, true, colors, &core));
  const EdgeGeometry& g = core.geometry;

  Picture composite;
  ASSERT_TRUE(DecodePng(prefix + "-composite.png", &composite));
  ASSERT_EQ(composite.width, g.bitmapWidth);
  ASSERT_EQ(composite.height, g.bitmapHeight);
  const std::uint32_t desktop = 0x102030;
  int margin = 0;
  for (int Y = 0; Y < g.bitmapHeight; ++Y) {
    for (int X = 0; X < g.bitmapWidth; ++X) {
      const int x = X - g.margin, y = Y - g.margin;
      if (x >= 0 && y >= 0 && x < g.width && y < g.height) continue;
      ++margin;
      const std::uint32_t p = core.pixels[std::size_t(Y) * g.bitmapWidth + X], a = p >> 24;
      const std::uint8_t* seen = composite.At(X, Y);
      for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        const double expected = ((p >> shift) & 0xFF) + ((desktop >> shift) & 0xFF) * (255.0 - a) / 255;
        ASSERT_NEAR(seen[c], expected, 1.0) << X << "," << Y << " channel " << c;
      }
      ASSERT_EQ(seen[3], 255);
    }
  }
  EXPECT_EQ(margin, g.bitmapWidth * g.bitmapHeight - g.width * g.height);
  // Inside the region the window's colour shows; the cut-away corner shows the desktop.
  const std::uint8_t* middle = composite.At(g.margin + 160, g.margin + 120);
  EXPECT_EQ(middle[0], 0xE0);
  EXPECT_EQ(middle[2], 0xE0);
  EXPECT_LT(composite.At(g.margin, g.margin)[0], 0x20);

  Picture bitmap;
  ASSERT_TRUE(DecodePng(prefix + "-bitmap.png", &bitmap));
  ASSERT_EQ(bitmap.width, g.bitmapWidth);
  for (std::size_t i = 0; i < core.pixels.size(); i += 7) {
    const std::uint32_t p = core.pixels[i], a = p >> 24;
    const std::uint8_t* seen = &bitmap.rgba[i * 4];
    ASSERT_EQ(seen[3], a) << i;
    for (int c = 0; c < 3; ++c) {
      const double straight = a ? ((p >> (16 - 8 * c)) & 0xFF) * 255.0 / a : 0;
      ASSERT_NEAR(seen[c], straight, 0.5 + 1e-9) << i;
    }
  }
  std::remove((prefix + "-composite.png").c_str());
  std::remove((prefix + "-bitmap.png").c_str());
}

TEST(EdgePreview, RefusesBadArguments) {
  const std::string tool = KILNA_EDGE_PREVIEW;
  for (const char* arguments : {"800 600 96 3060C0 FFFFFF 000000 2 x", "800 600 96 3060C FFFFFF 000000 1 x",
                                "0 600 96 3060C0 FFFFFF 000000 1 x", "800 600 96 3060C0 FFFFFF 000000 1",
                                "800 600 96 3060C0 FFFFFF 000000 1 x --desktop"}) {
    const std::string command = tool + " " + arguments + " 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0) << arguments;
  }
}

}  // namespace
}  // namespace orv
