#pragma once
// Codec values to and from the JSON of interface scripts and transcripts.
// Integers are 32-bit when they fit, else 64-bit; {"$int64":N}, {"$int32":N},
// {"$double":X} and {"$bytes":"hex"} force a type. Portable.

#include <string>

#include "flutter/encodable_value.h"
#include "standin/codec/json_value.h"

namespace standin {

bool JsonToEncodable(const JsonValue& json, flutter::EncodableValue& out, std::string& error);

// 64-bit integers stay numbers, byte lists become {"$bytes":"hex"}, maps
// become objects (a key that is not a string is keyed by its JSON text).
void AppendEncodableJson(std::string& out, const flutter::EncodableValue& value);

std::string HexText(const uint8_t* bytes, size_t size);

}  // namespace standin
