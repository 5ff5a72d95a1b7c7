#include "standin/codec/script_steps.h"

#include "standin/codec/script_values.h"

namespace standin {
namespace {

bool RequiredText(const JsonValue& object, const char* key, std::string& out, std::string& error) {
  const JsonValue* value = object.Find(key);
  if (value == nullptr || !value->is(JsonValue::Kind::kString) || value->text.empty()) {
    error = std::string("\"") + key + "\" must be a non-empty string";
    return false;
  }
  out = value->text;
  return true;
}

bool Milliseconds(const JsonValue& value, uint32_t& out) {
  if (!value.is(JsonValue::Kind::kInteger) || value.integer < 0 || value.integer > 0x7FFFFFFF) return false;
  out = static_cast<uint32_t>(value.integer);
  return true;
}

}  // namespace

bool ParseScriptLine(std::string_view line, ScriptStep& step, std::string& error) {
  step = ScriptStep();
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  if (line.find_first_not_of(" \t\r\n") == std::string_view::npos) return true;

  JsonValue object;
  if (!ParseJson(line, object, error)) return false;
  if (!object.is(JsonValue::Kind::kObject)) {
    error = "a step must be a JSON object";
    return false;
  }
  std::string op;
  if (!RequiredText(object, "op", op, error)) return false;

  if (op == "call") {
    step.op = ScriptStep::Op::kCall;
    if (!RequiredText(object, "channel", step.channel, error) || !RequiredText(object, "method", step.method, error))
      return false;
    if (const JsonValue* args = object.Find("args")) {
      if (!JsonToEncodable(*args, step.arguments, error)) return false;
    }
    if (const JsonValue* timeout = object.Find("timeoutMs")) {
      if (!Milliseconds(*timeout, step.timeoutMs)) {
        error = "\"timeoutMs\" must be a non-negative integer";
        return false;
      }
    }
    return true;
  }
  if (op == "ffi") {
    step.op = ScriptStep::Op::kFfi;
    if (!RequiredText(object, "name", step.name, error)) return false;
    if (const JsonValue* args = object.Find("args")) {
      if (!args->is(JsonValue::Kind::kArray)) {
        error = "\"args\" must be a list";
        return false;
      }
      step.inputs = args->items;
    }
    return true;
  }
  if (op == "wait") {
    step.op = ScriptStep::Op::kWait;
    const JsonValue* ms = object.Find("ms");
    if (ms == nullptr || !Milliseconds(*ms, step.ms)) {
      error = "\"ms\" must be a non-negative integer";
      return false;
    }
    return true;
  }
  if (op == "secondary") {
    step.op = ScriptStep::Op::kSecondary;
    return true;
  }
  if (op == "quit") {
    step.op = ScriptStep::Op::kQuit;
    return true;
  }
  error = "unknown op \"" + op + "\"";
  return false;
}

}  // namespace standin
