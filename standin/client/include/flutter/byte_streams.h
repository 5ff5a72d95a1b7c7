#pragma once
// Byte streams of the standard codec. Reading past the end never touches
// memory outside the buffer: the reader marks itself failed and yields zeros,
// so a malformed message is rejected instead of read out of bounds.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flutter {

class ByteStreamReader {
 public:
  virtual ~ByteStreamReader() = default;
  virtual uint8_t ReadByte() = 0;
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Skips to the next multiple of `alignment` from the start of the message.
  virtual void ReadAlignment(uint8_t alignment) = 0;
  virtual size_t Remaining() const = 0;
  virtual bool Failed() const = 0;
  virtual void Fail() = 0;
};

class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter() = default;
  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  virtual void WriteAlignment(uint8_t alignment) = 0;
};

class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(bytes == nullptr ? 0 : size) {}

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* buffer, size_t length) override;
  void ReadAlignment(uint8_t alignment) override;
  size_t Remaining() const override { return size_ - location_; }
  bool Failed() const override { return failed_; }
  void Fail() override { failed_ = true; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t location_ = 0;
  bool failed_ = false;
};

class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

  void WriteByte(uint8_t byte) override { buffer_->push_back(byte); }
  void WriteBytes(const uint8_t* bytes, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter
