#include "runner/ticket_picker/program_icon_png.h"

#include <objbase.h>
#include <wincodec.h>

#include <new>

#include "native/common/com_ptr.h"
#include "native/common/system_library.h"

namespace orv {
namespace {

constexpr ULONGLONG kMaxPngBytes = 0x200000;

// From windowscodecs.dll in the system folder; without it no icon converts.
[[nodiscard]] HRESULT ConvertBitmapSource(REFWICPixelFormatGUID format, IWICBitmapSource* source, IWICBitmapSource** converted) {
  using ConvertFn = decltype(&::WICConvertBitmapSource);
  static const ConvertFn convert =
      KeptSystemLibrary<system_dll::kWindowsCodecs>().FindOr<ConvertFn, kProcNotFoundHresult>("WICConvertBitmapSource");
  return convert(format, source, converted);
}

std::vector<unsigned char> ReadWholeStream(IStream* stream) {
  STATSTG stat{};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return {};
  const ULONGLONG size = stat.cbSize.QuadPart;
  if (size < 1 || size > kMaxPngBytes) return {};
  LARGE_INTEGER start{};
  if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return {};
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  ULONG read = 0;
  if (FAILED(stream->Read(bytes.data(), static_cast<ULONG>(size), &read)) || read != size) return {};
  return bytes;
}

std::vector<unsigned char> EncodePng(HICON icon) {
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(IWICImagingFactory), factory.put_void()))) {
    return {};
  }
  ComPtr<IWICBitmap> bitmap;
  if (FAILED(factory->CreateBitmapFromHICON(icon, bitmap.put()))) return {};
  ComPtr<IWICBitmapSource> converted;
  if (FAILED(ConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, bitmap.get(), converted.put()))) return {};

  ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return {};
  ComPtr<IWICBitmapEncoder> encoder;
  if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()))) return {};
  if (FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache))) return {};
  ComPtr<IWICBitmapFrameEncode> frame;
  if (FAILED(encoder->CreateNewFrame(frame.put(), nullptr))) return {};
  if (FAILED(frame->Initialize(nullptr))) return {};
  // The encoder may answer with a format of its choosing; only straight BGRA
  // with alpha keeps the icon's transparency.
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA)) return {};
  if (FAILED(frame->WriteSource(converted.get(), nullptr))) return {};
  if (FAILED(frame->Commit())) return {};
  if (FAILED(encoder->Commit())) return {};
  return ReadWholeStream(stream.get());
}

}  // namespace

std::vector<unsigned char> IconToPng(HICON icon) noexcept {
  try {
    return EncodePng(icon);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace orv
