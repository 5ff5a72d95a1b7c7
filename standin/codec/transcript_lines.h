#pragma once
// The lines of the stand-in engine's transcript: one compact JSON object each,
// without the line break. Portable.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

std::string EngineLine(const std::string& window, const std::string& assets, const std::string& icu,
                       const std::string& aot, const std::vector<std::string>& arguments);
std::string RegistrarLine(const std::string& name, const std::string& window);
std::string PluginLine(const std::string& name, int index, const std::string& window);
// A handler installed on a channel of the window's messenger.
std::string ChannelLine(const std::string& channel, const std::string& window);
// Any other engine event that names only its window ("frame", "reloadFonts").
std::string WindowEventLine(const char* event, const std::string& window);

// The answer bytes of a call, decoded as a standard method envelope: success
// with its value, error with code, message and details, notImplemented for
// an empty answer, or "malformed".
std::string CallReplyLine(const std::string& channel, const std::string& method, const uint8_t* reply,
                          size_t replySize);
// The same for the secondary op, which asks the multi-window plug-in for a window.
std::string SecondaryReplyLine(const uint8_t* reply, size_t replySize);
// A call that got no answer: "unanswered" (dropped by the handler) or "timeout".
std::string CallMissingLine(const std::string& channel, const std::string& method, const char* reply);
std::string SecondaryMissingLine(const char* reply);

// `out` holds the parameter names and their values as JSON text; no result
// member when `result` is empty.
std::string FfiLine(const std::string& name, const std::optional<std::string>& result,
                    const std::vector<std::pair<std::string, std::string>>& out);
std::string ErrorLine(size_t line, const std::string& message);
// Lines for the other ops, so the transcript shows where the script was.
std::string OpLine(const char* op);
std::string WaitLine(uint32_t ms);

}  // namespace standin
