#pragma once
// Checks a PNG file without the encoder that wrote it: structure, chunk CRCs,
// the header fields, and a decode through WIC's PNG decoder.

#include <cstdint>
#include <string>
#include <vector>

namespace orv::test {

struct PngHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int bitDepth = 0;
  int colourType = 0;
};

// Empty error text when the signature, the chunk layout (IHDR first, IEND
// last) and every chunk's CRC are sound; the header fields go to `header`.
std::string CheckPngStructure(const std::vector<unsigned char>& png, PngHeader& header);

// Decodes with WIC's PNG decoder; false when it refuses. Needs COM.
bool DecodedPngSize(const std::vector<unsigned char>& png, std::uint32_t& width, std::uint32_t& height);

}  // namespace orv::test
