#include "runner/ticket_picker/dialog_platform.h"

#include <atomic>

namespace orv {
namespace {

const DialogPlatform kRealPlatform{};
std::atomic<const DialogPlatform*> g_active{&kRealPlatform};

}  // namespace

const DialogPlatform& ActiveDialogPlatform() noexcept { return *g_active.load(); }

DialogPlatformOverride::DialogPlatformOverride(const DialogPlatform& platform) noexcept
    : previous_(g_active.exchange(&platform)) {}

DialogPlatformOverride::~DialogPlatformOverride() { g_active.store(previous_); }

}  // namespace orv
