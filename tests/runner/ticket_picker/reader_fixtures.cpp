#include "tests/runner/ticket_picker/reader_fixtures.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>

#include "native/common/com_ptr.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

void PutU16(std::string& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<char>(value & 0xFF));
  bytes.push_back(static_cast<char>(value >> 8));
}

void PutU32(std::string& bytes, std::uint32_t value) {
  PutU16(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
  PutU16(bytes, static_cast<std::uint16_t>(value >> 16));
}

// Fixed-size, NUL-padded field of an extra-data block.
void PutPadded(std::string& bytes, const std::string& text, size_t fieldBytes) {
  std::string field = text.substr(0, fieldBytes - 2);
  field.resize(fieldBytes, '\0');
  bytes += field;
}

std::string Utf16Bytes(const std::wstring& text) {
  std::string bytes;
  for (const wchar_t c : text) PutU16(bytes, static_cast<std::uint16_t>(c));
  return bytes;
}

}  // namespace

HRESULT SaveShellShortcut(const std::wstring& linkPath, const std::wstring& target) {
  ComPtr<IShellLinkW> link;
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                  link.put_void());
  if (FAILED(hr)) return hr;
  if (!target.empty()) {
    hr = link->SetPath(target.c_str());
    if (FAILED(hr)) return hr;
  }
  ComPtr<IPersistFile> file;
  hr = link.As(file);
  if (FAILED(hr)) return hr;
  return file->Save(linkPath.c_str(), TRUE);
}

bool WriteEnvironmentShortcut(const std::wstring& linkPath, const std::wstring& target) {
  constexpr std::uint32_t kHasRelativePath = 0x8;
  constexpr std::uint32_t kIsUnicode = 0x80;
  constexpr std::uint32_t kHasExpString = 0x200;
  constexpr std::uint32_t kEnvironmentBlockSize = 0x314;
  constexpr std::uint32_t kEnvironmentBlockSignature = 0xA0000001;
  static const unsigned char kShellLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

  // Header: 76 bytes.
  std::string bytes;
  PutU32(bytes, 0x4C);
  bytes.append(reinterpret_cast<const char*>(kShellLinkClsid), sizeof kShellLinkClsid);
  PutU32(bytes, kHasRelativePath | kIsUnicode | kHasExpString);
  PutU32(bytes, 0);                      // file attributes
  bytes.append(3 * 8, '\0');             // creation, access and write times
  PutU32(bytes, 0);                      // file size
  PutU32(bytes, 0);                      // icon index
  PutU32(bytes, SW_SHOWNORMAL);
  bytes.append(2 + 2 + 4 + 4, '\0');     // hot key and reserved fields

  // String data: the relative path, counted in characters.
  PutU16(bytes, static_cast<std::uint16_t>(target.size()));
  bytes += Utf16Bytes(target);

  // Extra data: the environment-variable block, then the terminal block.
  PutU32(bytes, kEnvironmentBlockSize);
  PutU32(bytes, kEnvironmentBlockSignature);
  PutPadded(bytes, Narrow(target), 260);
  PutPadded(bytes, Utf16Bytes(target), 520);
  PutU32(bytes, 0);
  return WriteWholeFile(linkPath, bytes);
}

}  // namespace orv::test
