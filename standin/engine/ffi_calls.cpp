#include "standin/engine/ffi_calls.h"

#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <objbase.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "native/common/proc_address.h"
#include "native/common/text_conversion.h"
#include "native/common/unique_resource.h"
#include "standin/codec/json_value.h"
#include "standin/codec/script_values.h"
#include "standin/codec/transcript_lines.h"

namespace standin {
namespace {

enum class Param {
  kWideText,      // const wchar_t*: a JSON string or null
  kNarrowText,    // const char*: a JSON string or null
  kInt32,
  kUInt32,
  kUInt64,
  kBuffer,        // caller buffer: {"$buffer":N} or null; reported
  kWideTextList,  // const wchar_t* const*: a list of strings (or null)
  kOutWideText,   // wchar_t**: CoTaskMemAlloc'd text, freed after reporting
  kOutInt32,
  kOutUInt32,
  kOutUInt64,
  kOutAddresses,  // address array sized by "capacity" and "family"; reported as address texts
};

enum class Result { kNone, kUInt32, kInt32, kNarrowText, kHandle };

constexpr size_t kMaxBuffer = 16u << 20;
constexpr size_t kMaxListEntries = 4096;
constexpr uint32_t kMaxAddressSlots = 4096;

bool IsOut(Param kind) {
  return kind == Param::kOutWideText || kind == Param::kOutInt32 || kind == Param::kOutUInt32 ||
         kind == Param::kOutUInt64 || kind == Param::kOutAddresses;
}

struct Slot {
  bool null = false;
  uint64_t number = 0;
  std::wstring wide;
  std::string narrow;
  std::vector<uint8_t> bytes;  // buffers and address arrays (one spare byte keeps data() valid)
  size_t size = 0;             // the caller-visible size of `bytes`
  std::vector<std::wstring> list;
  std::vector<bool> listNull;
  std::vector<const wchar_t*> pointers;
  wchar_t* outText = nullptr;
  int32_t outInt = 0;
  uint32_t outUnsigned = 0;
  uint64_t outLong = 0;
};

struct Frame {
  std::vector<Slot> slots;

  const wchar_t* Wide(size_t i) { return slots[i].null ? nullptr : slots[i].wide.c_str(); }
  const char* Narrow(size_t i) { return slots[i].null ? nullptr : slots[i].narrow.c_str(); }
  int32_t I32(size_t i) { return static_cast<int32_t>(slots[i].number); }
  uint32_t U32(size_t i) { return static_cast<uint32_t>(slots[i].number); }
  uint64_t U64(size_t i) { return slots[i].number; }
  uint8_t* Bytes(size_t i) { return slots[i].null ? nullptr : slots[i].bytes.data(); }
  char* Chars(size_t i) { return reinterpret_cast<char*>(Bytes(i)); }
  const wchar_t** List(size_t i) { return slots[i].null ? nullptr : slots[i].pointers.data(); }
  wchar_t** OutText(size_t i) { return &slots[i].outText; }
  int* OutInt(size_t i) { return reinterpret_cast<int*>(&slots[i].outInt); }
  uint32_t* OutU32(size_t i) { return &slots[i].outUnsigned; }
  uint64_t* OutU64(size_t i) { return &slots[i].outLong; }
};

struct ParamSpec {
  Param kind;
  const char* name;
};

struct Signature {
  const char* name;
  Result result;
  std::vector<ParamSpec> params;
  uint64_t (*invoke)(FARPROC proc, Frame& f);
};

template <typename Fn>
Fn As(FARPROC proc) {
  return orv::ProcAs<Fn>(proc);
}

using Status = DWORD;

// Shapes shared by several exports.
uint64_t CallOutText(FARPROC p, Frame& f) { return As<Status (*)(wchar_t**)>(p)(f.OutText(0)); }
uint64_t CallOutInt(FARPROC p, Frame& f) { return As<Status (*)(int*)>(p)(f.OutInt(0)); }
uint64_t CallLaunch(FARPROC p, Frame& f) {
  return As<Status (*)(const wchar_t*, const wchar_t*, const wchar_t*, int*)>(p)(f.Wide(0), f.Wide(1), f.Wide(2),
                                                                                f.OutInt(3));
}
std::vector<ParamSpec> LaunchParams() {
  return {{Param::kWideText, "file"}, {Param::kWideText, "parameters"}, {Param::kWideText, "directory"},
          {Param::kOutInt32, "outProcessId"}};
}

const std::vector<Signature>& Signatures() {
  static const std::vector<Signature> table = {
      {"orv_kernel_log_callback", Result::kNone, {{Param::kNarrowText, "level"}, {Param::kNarrowText, "message"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         As<void (*)(const char*, const char*)>(p)(f.Narrow(0), f.Narrow(1));
         return 0;
       }},
      {"orv_kernel_log_enable", Result::kNone, {{Param::kInt32, "enabled"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         As<void (*)(int)>(p)(f.I32(0));
         return 0;
       }},
      {"orv_kernel_log_pop", Result::kInt32,
       {{Param::kBuffer, "levelOut"}, {Param::kInt32, "levelCapacity"}, {Param::kBuffer, "messageOut"},
        {Param::kInt32, "messageCapacity"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         return static_cast<uint32_t>(As<int (*)(char*, int, char*, int)>(p)(f.Chars(0), f.I32(1), f.Chars(2), f.I32(3)));
       }},
      {"OrvGetUserContext", Result::kNarrowText, {},
       [](FARPROC p, Frame&) -> uint64_t { return reinterpret_cast<uintptr_t>(As<const char* (*)()>(p)()); }},
      {"OrvGetInteractiveUserToken", Result::kHandle, {},
       [](FARPROC p, Frame&) -> uint64_t { return reinterpret_cast<uintptr_t>(As<HANDLE (*)()>(p)()); }},
      {"OrvCreateProtectedTemp", Result::kUInt32, {{Param::kWideText, "name"}, {Param::kOutWideText, "outPath"}},
       [](FARPROC p, Frame& f) -> uint64_t { return As<Status (*)(const wchar_t*, wchar_t**)>(p)(f.Wide(0), f.OutText(1)); }},
      {"OrvCreateProtectedUpdateTemp", Result::kUInt32, {{Param::kOutWideText, "outPath"}},
       &CallOutText},
      {"OrvGetProtectedUpdateCache", Result::kUInt32, {{Param::kOutWideText, "outPath"}},
       &CallOutText},
      {"OrvLaunchElevated", Result::kUInt32,
       LaunchParams(), &CallLaunch},
      {"OrvLaunchInstalledApp", Result::kUInt32,
       LaunchParams(), &CallLaunch},
      {"OrvReadUserProxy", Result::kUInt32, {{Param::kOutWideText, "outJson"}},
       &CallOutText},
      {"OrvSetUserProxy", Result::kUInt32, {{Param::kUInt32, "port"}},
       [](FARPROC p, Frame& f) -> uint64_t { return As<Status (*)(unsigned)>(p)(f.U32(0)); }},
      {"OrvClearUserProxy", Result::kUInt32, {},
       [](FARPROC p, Frame&) -> uint64_t { return As<Status (*)()>(p)(); }},
      {"OrvRestoreUserProxy", Result::kUInt32, {{Param::kOutInt32, "outRestored"}},
       &CallOutInt},
      {"OrvBeginUserProxyCleanup", Result::kUInt32, {{Param::kOutInt32, "outTicket"}, {Param::kOutInt32, "outRestoreResult"}},
       [](FARPROC p, Frame& f) -> uint64_t { return As<Status (*)(int*, int*)>(p)(f.OutInt(0), f.OutInt(1)); }},
      {"OrvFinishUserProxyCleanup", Result::kUInt32, {{Param::kInt32, "ticket"}, {Param::kInt32, "restore"}},
       [](FARPROC p, Frame& f) -> uint64_t { return As<Status (*)(int, int)>(p)(f.I32(0), f.I32(1)); }},
      {"OrvVerifyUserProxyCleanup", Result::kUInt32, {{Param::kInt32, "ticket"}, {Param::kOutInt32, "outClean"}},
       [](FARPROC p, Frame& f) -> uint64_t { return As<Status (*)(int, int*)>(p)(f.I32(0), f.OutInt(1)); }},
      {"OrvReadEffectiveUserProxyConflict", Result::kUInt32, {{Param::kOutInt32, "outConflict"}},
       &CallOutInt},
      {"OrvQuerySystemDns", Result::kUInt32,
       {{Param::kWideText, "name"}, {Param::kInt32, "family"}, {Param::kOutAddresses, "addresses"},
        {Param::kUInt32, "capacity"}, {Param::kOutUInt32, "count"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         return As<Status (*)(const wchar_t*, int32_t, uint8_t*, uint32_t, uint32_t*)>(p)(f.Wide(0), f.I32(1), f.Bytes(2),
                                                                                         f.U32(3), f.OutU32(4));
       }},
      {"OrvQueryPhysicalDns", Result::kUInt32,
       {{Param::kWideText, "name"}, {Param::kUInt32, "interfaceIndex"}, {Param::kInt32, "family"},
        {Param::kOutAddresses, "addresses"}, {Param::kUInt32, "capacity"}, {Param::kOutUInt32, "count"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         return As<Status (*)(const wchar_t*, uint32_t, int32_t, uint8_t*, uint32_t, uint32_t*)>(p)(
             f.Wide(0), f.U32(1), f.I32(2), f.Bytes(3), f.U32(4), f.OutU32(5));
       }},
      {"OrvDnsTraceStart", Result::kUInt32, {{Param::kWideText, "name"}, {Param::kOutUInt64, "traceId"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         return As<Status (*)(const wchar_t*, uint64_t*)>(p)(f.Wide(0), f.OutU64(1));
       }},
      {"OrvDnsTraceFinish", Result::kUInt32,
       {{Param::kUInt64, "traceId"}, {Param::kBuffer, "buffer"}, {Param::kUInt32, "bufferSize"},
        {Param::kOutUInt32, "written"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         return As<Status (*)(uint64_t, uint8_t*, uint32_t, uint32_t*)>(p)(f.U64(0), f.Bytes(1), f.U32(2), f.OutU32(3));
       }},
      {"OrvDnsWfpCompare", Result::kUInt32,
       {{Param::kWideText, "filterKey"}, {Param::kUInt64, "filterId"}, {Param::kBuffer, "buffer"},
        {Param::kUInt32, "bufferSize"}, {Param::kOutUInt32, "written"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         return As<Status (*)(const wchar_t*, uint64_t, uint8_t*, uint32_t, uint32_t*)>(p)(f.Wide(0), f.U64(1), f.Bytes(2),
                                                                                          f.U32(3), f.OutU32(4));
       }},
      {"OrvDnsWfpPreflight", Result::kUInt32,
       {{Param::kWideTextList, "interfaceGuids"}, {Param::kUInt32, "count"}, {Param::kBuffer, "buffer"},
        {Param::kUInt32, "bufferSize"}, {Param::kOutUInt32, "written"}},
       [](FARPROC p, Frame& f) -> uint64_t {
         return As<Status (*)(const wchar_t**, uint32_t, uint8_t*, uint32_t, uint32_t*)>(p)(f.List(0), f.U32(1), f.Bytes(2),
                                                                                           f.U32(3), f.OutU32(4));
       }},
  };
  return table;
}

const Signature* FindSignature(const std::string& name) {
  for (const Signature& signature : Signatures()) {
    if (name == signature.name) return &signature;
  }
  return nullptr;
}

bool ToWide(const std::string& text, std::wstring& out) { return orv::Utf8ToUtf16(text, out); }

// Fills one input slot from its JSON argument.
bool FillInput(Param kind, const JsonValue& json, Slot& slot, std::string& error) {
  switch (kind) {
    case Param::kWideText:
    case Param::kNarrowText:
      if (json.is(JsonValue::Kind::kNull)) {
        slot.null = true;
        return true;
      }
      if (!json.is(JsonValue::Kind::kString)) {
        error = "must be a string or null";
        return false;
      }
      if (kind == Param::kNarrowText) {
        slot.narrow = json.text;
        return true;
      }
      if (!ToWide(json.text, slot.wide)) {
        error = "is not valid UTF-8";
        return false;
      }
      return true;
    case Param::kInt32:
    case Param::kUInt32:
      if (!json.is(JsonValue::Kind::kInteger) || json.integer < INT32_MIN || json.integer > UINT32_MAX) {
        error = "must be a 32-bit integer";
        return false;
      }
      slot.number = static_cast<uint64_t>(json.integer);
      return true;
    case Param::kUInt64:
      if (!json.is(JsonValue::Kind::kInteger)) {
        error = "must be an integer";
        return false;
      }
      slot.number = static_cast<uint64_t>(json.integer);
      return true;
    case Param::kBuffer: {
      if (json.is(JsonValue::Kind::kNull)) {
        slot.null = true;
        return true;
      }
      const JsonValue* size = json.Find("$buffer");
      if (json.members.size() != 1 || size == nullptr || !size->is(JsonValue::Kind::kInteger) || size->integer < 0 ||
          static_cast<uint64_t>(size->integer) > kMaxBuffer) {
        error = "must be {\"$buffer\":N} or null";
        return false;
      }
      slot.size = static_cast<size_t>(size->integer);
      slot.bytes.assign(slot.size + 1, 0);
      return true;
    }
    case Param::kWideTextList:
      if (json.is(JsonValue::Kind::kNull)) {
        slot.null = true;
        return true;
      }
      if (!json.is(JsonValue::Kind::kArray) || json.items.size() > kMaxListEntries) {
        error = "must be a list of strings or null";
        return false;
      }
      for (const JsonValue& item : json.items) {
        slot.list.emplace_back();
        slot.listNull.push_back(item.is(JsonValue::Kind::kNull));
        if (slot.listNull.back()) continue;
        if (!item.is(JsonValue::Kind::kString) || !ToWide(item.text, slot.list.back())) {
          error = "must be a list of strings or null";
          return false;
        }
      }
      return true;
    default:
      return true;
  }
}

std::string AddressText(const uint8_t* bytes, bool six) {
  char text[INET6_ADDRSTRLEN] = {};
  if (six) {
    IN6_ADDR address;
    std::memcpy(&address, bytes, 16);
    ::InetNtopA(AF_INET6, &address, text, sizeof text);
  } else {
    IN_ADDR address;
    std::memcpy(&address, bytes, 4);
    ::InetNtopA(AF_INET, &address, text, sizeof text);
  }
  return text;
}

bool ValidUtf8(const uint8_t* bytes, size_t size) {
  if (size == 0) return true;
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                               static_cast<int>(size), nullptr, 0) > 0;
}

std::string BufferJson(const Slot& slot, std::optional<size_t> written) {
  if (slot.null) return "null";
  size_t length = 0;
  if (written) {
    length = std::min(*written, slot.size);
  } else {
    while (length < slot.size && slot.bytes[length] != 0) ++length;
  }
  std::string json;
  if (ValidUtf8(slot.bytes.data(), length)) {
    AppendJsonText(json, std::string_view(reinterpret_cast<const char*>(slot.bytes.data()), length));
  } else {
    json = "{\"$bytes\":\"" + HexText(slot.bytes.data(), length) + "\"}";
  }
  return json;
}

size_t IndexOf(const Signature& signature, const char* name) {
  for (size_t i = 0; i < signature.params.size(); ++i) {
    if (std::string_view(signature.params[i].name) == name) return i;
  }
  return signature.params.size();
}

}  // namespace

std::string RunFfiStep(const ScriptStep& step, size_t line) {
  const Signature* signature = FindSignature(step.name);
  if (signature == nullptr) return ErrorLine(line, "unknown export " + step.name);

  // Inputs come from the script in order; out parameters from here.
  Frame frame;
  frame.slots.resize(signature->params.size());
  size_t inputs = 0;
  for (const ParamSpec& param : signature->params) inputs += IsOut(param.kind) ? 0 : 1;
  if (step.inputs.size() != inputs) {
    return ErrorLine(line, step.name + " takes " + std::to_string(inputs) + " argument(s), not " +
                               std::to_string(step.inputs.size()));
  }
  size_t next = 0;
  for (size_t i = 0; i < signature->params.size(); ++i) {
    const ParamSpec& param = signature->params[i];
    if (IsOut(param.kind)) continue;
    std::string error;
    if (!FillInput(param.kind, step.inputs[next++], frame.slots[i], error)) {
      return ErrorLine(line, step.name + " argument " + param.name + " " + error);
    }
  }
  const size_t countIndex = IndexOf(*signature, "count");
  for (size_t i = 0; i < signature->params.size(); ++i) {
    Slot& slot = frame.slots[i];
    if (signature->params[i].kind == Param::kWideTextList && !slot.null) {
      // Room for as many entries as the count claims, so a larger count reads nulls, not beyond.
      const size_t claimed = countIndex < frame.slots.size() ? frame.slots[countIndex].number : 0;
      if (claimed > kMaxListEntries) return ErrorLine(line, step.name + " count is too large");
      for (size_t k = 0; k < slot.list.size(); ++k) slot.pointers.push_back(slot.listNull[k] ? nullptr : slot.list[k].c_str());
      if (slot.pointers.size() < claimed) slot.pointers.resize(claimed, nullptr);
      slot.pointers.push_back(nullptr);
    }
    if (signature->params[i].kind == Param::kOutAddresses) {
      const size_t capacityIndex = IndexOf(*signature, "capacity");
      const uint32_t capacity = static_cast<uint32_t>(frame.slots[capacityIndex].number);
      slot.size = static_cast<size_t>(std::min(capacity, kMaxAddressSlots)) * 16;
      slot.bytes.assign(slot.size + 1, 0);
    }
  }

  const HMODULE executable = ::GetModuleHandleW(nullptr);
  const FARPROC proc = ::GetProcAddress(executable, signature->name);
  if (proc == nullptr) return ErrorLine(line, "the executable does not export " + step.name);

  const uint64_t raw = signature->invoke(proc, frame);

  std::optional<std::string> result;
  switch (signature->result) {
    case Result::kNone:
      break;
    case Result::kUInt32:
      result = std::to_string(static_cast<uint32_t>(raw));
      break;
    case Result::kInt32:
      result = std::to_string(static_cast<int32_t>(static_cast<uint32_t>(raw)));
      break;
    case Result::kHandle:
      result = std::to_string(raw);
      break;
    case Result::kNarrowText: {
      const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(raw));
      result = "null";
      if (text != nullptr) {
        result->clear();
        AppendJsonText(*result, text);
      }
      break;
    }
  }

  std::vector<std::pair<std::string, std::string>> out;
  std::optional<size_t> written;
  for (size_t i = 0; i < signature->params.size(); ++i) {
    Slot& slot = frame.slots[i];
    const char* name = signature->params[i].name;
    switch (signature->params[i].kind) {
      case Param::kOutWideText: {
        std::string json = "null";
        if (slot.outText != nullptr) {
          std::string utf8;
          // Empty only when the platform refuses outright: the transcript
          // then shows "" for the text.
          (void)orv::Utf16ToUtf8(slot.outText, utf8);
          json.clear();
          AppendJsonText(json, utf8);
          ::CoTaskMemFree(slot.outText);
          slot.outText = nullptr;
        }
        out.emplace_back(name, json);
        break;
      }
      case Param::kOutInt32:
        out.emplace_back(name, std::to_string(slot.outInt));
        break;
      case Param::kOutUInt32:
        out.emplace_back(name, std::to_string(slot.outUnsigned));
        if (std::string_view(name) == "written") written = slot.outUnsigned;
        break;
      case Param::kOutUInt64:
        out.emplace_back(name, std::to_string(slot.outLong));
        break;
      default:
        break;
    }
  }
  for (size_t i = 0; i < signature->params.size(); ++i) {
    const Slot& slot = frame.slots[i];
    const char* name = signature->params[i].name;
    if (signature->params[i].kind == Param::kOutAddresses) {
      const size_t familyIndex = IndexOf(*signature, "family");
      const bool six = frame.slots[familyIndex].number == 6;
      const size_t element = six ? 16 : 4;
      const size_t count = countIndex < frame.slots.size() ? frame.slots[countIndex].outUnsigned : 0;
      std::string list = "[";
      for (size_t k = 0; k < count && (k + 1) * element <= slot.size; ++k) {
        if (k != 0) list.push_back(',');
        AppendJsonText(list, AddressText(slot.bytes.data() + k * element, six));
      }
      list.push_back(']');
      out.emplace_back(name, list);
    }
    if (signature->params[i].kind == Param::kBuffer) out.emplace_back(name, BufferJson(slot, written));
  }
  return FfiLine(step.name, result, out);
}

}  // namespace standin
