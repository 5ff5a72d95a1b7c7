#include "runner/ticket_picker/picker_answers.h"

#include <cstdint>

#include "native/common/text_conversion.h"
#include "runner/ticket_picker/process_tree.h"

namespace orv {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

std::string Utf8(const std::wstring& text) {
  std::string utf8;
  // The lenient conversion fails only when the platform refuses outright,
  // and then leaves the text empty.
  (void)Utf16ToUtf8(text, utf8);
  return utf8;
}

EncodableList TextList(const std::vector<std::string>& texts) {
  EncodableList list;
  list.reserve(texts.size());
  for (const std::string& text : texts) list.emplace_back(text);
  return list;
}

EncodableValue Details(HRESULT result) { return EncodableValue(static_cast<std::int32_t>(result)); }

void AnswerProgram(const PickerState& state, flutter::MethodResult<EncodableValue>& result) {
  const ProgramMetadata& metadata = state.metadata;
  if (state.result < 0) {
    const std::string code = metadata.errorCode.empty() ? "reader_failed" : metadata.errorCode;
    const std::string message =
        metadata.errorMessage.empty() ? "Native metadata reader failed" : metadata.errorMessage;
    result.Error(code, message, Details(state.result));
    return;
  }
  EncodableMap program{
      {EncodableValue("path"), EncodableValue(Utf8(metadata.path))},
      {EncodableValue("name"), EncodableValue(Utf8(metadata.name))},
      {EncodableValue("executablePaths"), EncodableValue(TextList(CollectProcessTreePaths(metadata.path)))},
      {EncodableValue("icon"), EncodableValue(std::vector<std::uint8_t>(metadata.icon.begin(), metadata.icon.end()))},
      {EncodableValue("warnings"), EncodableValue(TextList(metadata.warnings))},
  };
  result.Success(EncodableValue(std::move(program)));
}

void AnswerPaths(const PickerState& state, flutter::MethodResult<EncodableValue>& result) {
  EncodableList paths;
  if (state.result == kPickerCancelled) {
    result.Success(EncodableValue(std::move(paths)));
    return;
  }
  if (state.result < 0) {
    result.Error("picker_failed", "Could not select images", Details(state.result));
    return;
  }
  for (const std::wstring& path : state.paths) paths.emplace_back(Utf8(path));
  result.Success(EncodableValue(std::move(paths)));
}

}  // namespace

std::optional<std::wstring> ReadTextArgument(const EncodableValue* arguments, const char* key, bool allowNul) {
  const auto* map = arguments != nullptr ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (map == nullptr) return std::nullopt;
  const auto found = map->find(EncodableValue(key));
  if (found == map->end()) return std::nullopt;
  const auto* text = std::get_if<std::string>(&found->second);
  if (text == nullptr) return std::nullopt;
  if (!allowNul && text->find('\0') != std::string::npos) return std::nullopt;
  std::wstring wide;
  if (!Utf8ToUtf16Strict(*text, wide) || wide.empty()) return std::nullopt;
  return wide;
}

void AnswerPickerCall(const PickerState& state, flutter::MethodResult<EncodableValue>& result) {
  if (state.isReadProgram) {
    AnswerProgram(state, result);
  } else {
    AnswerPaths(state, result);
  }
}

}  // namespace orv
