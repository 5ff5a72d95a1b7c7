#include "tests/runner/ticket_picker/png_check.h"

#include <windows.h>

#include <objbase.h>
#include <wincodec.h>

#include <array>
#include <cstring>

#include "native/common/com_ptr.h"

namespace orv::test {
namespace {

std::uint32_t Crc32(const unsigned char* data, size_t size) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t BigEndian32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

std::string CheckPngStructure(const std::vector<unsigned char>& png, PngHeader& header) {
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < sizeof kSignature || std::memcmp(png.data(), kSignature, sizeof kSignature) != 0) {
    return "bad signature";
  }
  size_t at = sizeof kSignature;
  std::string previous;
  bool first = true;
  while (at < png.size()) {
    if (png.size() - at < 12) return "truncated chunk at " + std::to_string(at);
    const std::uint32_t length = BigEndian32(&png[at]);
    if (png.size() - at - 12 < length) return "chunk overruns the file at " + std::to_string(at);
    const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
    const unsigned char* data = &png[at + 8];
    if (Crc32(&png[at + 4], length + 4) != BigEndian32(data + length)) return "bad CRC in " + type;
    if (first) {
      if (type != "IHDR" || length != 13) return "first chunk is " + type;
      header.width = BigEndian32(data);
      header.height = BigEndian32(data + 4);
      header.bitDepth = data[8];
      header.colourType = data[9];
      first = false;
    }
    previous = type;
    at += 12 + length;
  }
  if (previous != "IEND") return "last chunk is " + previous;
  return {};
}

bool DecodedPngSize(const std::vector<unsigned char>& png, std::uint32_t& width, std::uint32_t& height) {
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(IWICImagingFactory), factory.put_void()))) {
    return false;
  }
  ComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.put()))) return false;
  if (FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()), static_cast<DWORD>(png.size())))) {
    return false;
  }
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.put()))) return false;
  if (FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand))) return false;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.put()))) return false;
  UINT w = 0;
  UINT h = 0;
  if (FAILED(frame->GetSize(&w, &h))) return false;
  width = w;
  height = h;
  return true;
}

}  // namespace orv::test
