// The standard codec: byte streams, the value serializer and the message and
// method codecs on top of it.

#include <cstring>
#include <map>
#include <mutex>
#include <type_traits>

#include "flutter/standard_message_codec.h"
#include "flutter/standard_method_codec.h"

namespace flutter {
namespace {

enum Tag : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kFloat64 = 6,
  kString = 7,
  kUint8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

// Deeper nesting than any real message; keeps hostile input off the stack.
constexpr int kMaxDepth = 256;

template <typename T>
void WriteNumber(T value, ByteStreamWriter* stream) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  // The wire is little-endian; so is every target this builds for.
  stream->WriteBytes(bytes, sizeof(T));
}

template <typename T>
T ReadNumber(ByteStreamReader* stream) {
  uint8_t bytes[sizeof(T)] = {};
  stream->ReadBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

// The tag of a list of fixed-size numbers; 0 for any other type.
template <typename T>
constexpr uint8_t TypedListTag() {
  if constexpr (std::is_same_v<T, std::vector<int32_t>>) return kInt32List;
  if constexpr (std::is_same_v<T, std::vector<int64_t>>) return kInt64List;
  if constexpr (std::is_same_v<T, std::vector<double>>) return kFloat64List;
  if constexpr (std::is_same_v<T, std::vector<float>>) return kFloat32List;
  return 0;
}

template <typename T>
void WriteTypedList(const std::vector<T>& list, ByteStreamWriter* stream) {
  stream->WriteAlignment(sizeof(T));
  if (!list.empty()) stream->WriteBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
}

template <typename T>
EncodableValue ReadTypedList(size_t count, ByteStreamReader* stream) {
  stream->ReadAlignment(sizeof(T));
  if (stream->Failed() || count > stream->Remaining() / sizeof(T)) {
    stream->Fail();
    return EncodableValue();
  }
  std::vector<T> list(count);
  if (count != 0) stream->ReadBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
  return EncodableValue(std::move(list));
}

// One codec per serializer (the standard one when none is given), kept until exit.
template <typename Codec>
const Codec& CodecFor(const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &StandardCodecSerializer::GetInstance();
  if (serializer == &StandardCodecSerializer::GetInstance()) {
    static const Codec standard(serializer);
    return standard;
  }
  static std::mutex mutex;
  static std::map<const StandardCodecSerializer*, std::unique_ptr<Codec>> codecs;
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = codecs[serializer];
  if (!slot) slot = std::make_unique<Codec>(serializer);
  return *slot;
}

}  // namespace

uint8_t ByteBufferStreamReader::ReadByte() {
  if (location_ >= size_) {
    failed_ = true;
    return 0;
  }
  return bytes_[location_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  if (length > size_ - location_) {
    failed_ = true;
    std::memset(buffer, 0, length);
    location_ = size_;
    return;
  }
  if (length != 0) std::memcpy(buffer, bytes_ + location_, length);
  location_ += length;
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  const size_t mod = location_ % alignment;
  if (mod == 0) return;
  const size_t skip = alignment - mod;
  if (skip > size_ - location_) {
    failed_ = true;
    location_ = size_;
    return;
  }
  location_ += skip;
}

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, size_t length) {
  buffer_->insert(buffer_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  const size_t mod = buffer_->size() % alignment;
  if (mod != 0) buffer_->insert(buffer_->end(), alignment - mod, 0);
}

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const { return ReadNested(stream, 0); }

EncodableValue StandardCodecSerializer::ReadNested(ByteStreamReader* stream, int depth) const {
  const uint8_t type = stream->ReadByte();
  if (stream->Failed()) return EncodableValue();
  return ReadTyped(type, stream, depth);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type, ByteStreamReader* stream) const {
  return ReadTyped(type, stream, 0);
}

EncodableValue StandardCodecSerializer::ReadTyped(uint8_t type, ByteStreamReader* stream, int depth) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadNumber<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadNumber<int64_t>(stream));
    case kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(ReadNumber<double>(stream));
    default:
      break;
  }
  const size_t size = ReadSize(stream);
  if (stream->Failed()) return EncodableValue();
  switch (type) {
    case kString: {
      if (size > stream->Remaining()) break;
      std::string text(size, '\0');
      if (size != 0) stream->ReadBytes(reinterpret_cast<uint8_t*>(text.data()), size);
      return EncodableValue(std::move(text));
    }
    case kUint8List:
      return ReadTypedList<uint8_t>(size, stream);
    case kInt32List:
      return ReadTypedList<int32_t>(size, stream);
    case kInt64List:
      return ReadTypedList<int64_t>(size, stream);
    case kFloat64List:
      return ReadTypedList<double>(size, stream);
    case kFloat32List:
      return ReadTypedList<float>(size, stream);
    case kList: {
      // Every element takes at least its tag byte.
      if (depth >= kMaxDepth || size > stream->Remaining()) break;
      EncodableList list;
      list.reserve(size);
      for (size_t i = 0; i < size && !stream->Failed(); ++i) list.push_back(ReadNested(stream, depth + 1));
      if (stream->Failed()) return EncodableValue();
      return EncodableValue(std::move(list));
    }
    case kMap: {
      if (depth >= kMaxDepth || size > stream->Remaining() / 2) break;
      EncodableMap map;
      for (size_t i = 0; i < size && !stream->Failed(); ++i) {
        EncodableValue key = ReadNested(stream, depth + 1);
        EncodableValue value = ReadNested(stream, depth + 1);
        map[std::move(key)] = std::move(value);
      }
      if (stream->Failed()) return EncodableValue();
      return EncodableValue(std::move(map));
    }
    default:
      break;
  }
  stream->Fail();
  return EncodableValue();
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t first = stream->ReadByte();
  if (first < 254) return first;
  if (first == 254) return ReadNumber<uint16_t>(stream);
  return ReadNumber<uint32_t>(stream);
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    stream->WriteByte(254);
    WriteNumber(static_cast<uint16_t>(size), stream);
  } else {
    stream->WriteByte(255);
    WriteNumber(static_cast<uint32_t>(size), stream);
  }
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const {
  std::visit(
      [&](const auto& held) {
        using T = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          stream->WriteByte(kNull);
        } else if constexpr (std::is_same_v<T, bool>) {
          stream->WriteByte(held ? kTrue : kFalse);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          stream->WriteByte(kInt32);
          WriteNumber(held, stream);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          stream->WriteByte(kInt64);
          WriteNumber(held, stream);
        } else if constexpr (std::is_same_v<T, double>) {
          stream->WriteByte(kFloat64);
          stream->WriteAlignment(8);
          WriteNumber(held, stream);
        } else if constexpr (std::is_same_v<T, std::string>) {
          stream->WriteByte(kString);
          WriteSize(held.size(), stream);
          stream->WriteBytes(reinterpret_cast<const uint8_t*>(held.data()), held.size());
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          stream->WriteByte(kUint8List);
          WriteSize(held.size(), stream);
          stream->WriteBytes(held.data(), held.size());
        } else if constexpr (TypedListTag<T>() != 0) {
          stream->WriteByte(TypedListTag<T>());
          WriteSize(held.size(), stream);
          WriteTypedList(held, stream);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          stream->WriteByte(kList);
          WriteSize(held.size(), stream);
          for (const EncodableValue& element : held) WriteValue(element, stream);
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          stream->WriteByte(kMap);
          WriteSize(held.size(), stream);
          for (const auto& [key, element] : held) {
            WriteValue(key, stream);
            WriteValue(element, stream);
          }
        }
      },
      static_cast<const EncodableValue::super&>(value));
}

const StandardMessageCodec& StandardMessageCodec::GetInstance(const StandardCodecSerializer* serializer) {
  return CodecFor<StandardMessageCodec>(serializer);
}

std::unique_ptr<EncodableValue> StandardMessageCodec::DecodeMessageInternal(const uint8_t* binary_message,
                                                                            size_t message_size) const {
  // An empty message is null, as the interface sends it.
  if (message_size == 0) return std::make_unique<EncodableValue>();
  ByteBufferStreamReader reader(binary_message, message_size);
  auto value = std::make_unique<EncodableValue>(serializer_->ReadValue(&reader));
  if (reader.Failed() || reader.Remaining() != 0) return nullptr;
  return value;
}

std::unique_ptr<std::vector<uint8_t>> StandardMessageCodec::EncodeMessageInternal(const EncodableValue& message) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(encoded.get());
  serializer_->WriteValue(message, &writer);
  return encoded;
}

const StandardMethodCodec& StandardMethodCodec::GetInstance(const StandardCodecSerializer* serializer) {
  return CodecFor<StandardMethodCodec>(serializer);
}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeMethodCallInternal(const uint8_t* message,
                                                                                          size_t message_size) const {
  ByteBufferStreamReader reader(message, message_size);
  EncodableValue name = serializer_->ReadValue(&reader);
  const auto* method = std::get_if<std::string>(&name);
  if (reader.Failed() || method == nullptr) return nullptr;
  auto arguments = std::make_unique<EncodableValue>();
  if (reader.Remaining() != 0) *arguments = serializer_->ReadValue(&reader);
  if (reader.Failed() || reader.Remaining() != 0) return nullptr;
  return std::make_unique<MethodCall<EncodableValue>>(*method, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCallInternal(
    const MethodCall<EncodableValue>& method_call) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(encoded.get());
  serializer_->WriteValue(EncodableValue(method_call.method_name()), &writer);
  serializer_->WriteValue(method_call.arguments() != nullptr ? *method_call.arguments() : EncodableValue(), &writer);
  return encoded;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessEnvelopeInternal(
    const EncodableValue* result) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(encoded.get());
  writer.WriteByte(0);
  serializer_->WriteValue(result != nullptr ? *result : EncodableValue(), &writer);
  return encoded;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelopeInternal(
    const std::string& error_code, const std::string& error_message, const EncodableValue* error_details) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(encoded.get());
  writer.WriteByte(1);
  serializer_->WriteValue(EncodableValue(error_code), &writer);
  serializer_->WriteValue(error_message.empty() ? EncodableValue() : EncodableValue(error_message), &writer);
  serializer_->WriteValue(error_details != nullptr ? *error_details : EncodableValue(), &writer);
  return encoded;
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                                   MethodResult<EncodableValue>* result) const {
  if (response_size == 0) {
    if (result != nullptr) result->NotImplemented();
    return true;
  }
  ByteBufferStreamReader reader(response, response_size);
  const uint8_t flag = reader.ReadByte();
  if (flag == 0) {
    EncodableValue value = serializer_->ReadValue(&reader);
    if (reader.Failed() || reader.Remaining() != 0) return false;
    if (result != nullptr) result->Success(value);
    return true;
  }
  if (flag != 1) return false;
  EncodableValue code = serializer_->ReadValue(&reader);
  EncodableValue message = serializer_->ReadValue(&reader);
  EncodableValue details = serializer_->ReadValue(&reader);
  const auto* codeText = std::get_if<std::string>(&code);
  const auto* messageText = std::get_if<std::string>(&message);
  if (reader.Failed() || reader.Remaining() != 0 || codeText == nullptr ||
      (messageText == nullptr && !message.IsNull())) {
    return false;
  }
  if (result != nullptr) result->Error(*codeText, messageText != nullptr ? *messageText : std::string(), details);
  return true;
}

}  // namespace flutter
