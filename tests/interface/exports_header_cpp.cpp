// The public export header in a C++ unit of its own, without windows.h: it
// must not lean on anything the product's sources happen to include first.
#include "kilna/kilna_exports.h"

#include <type_traits>

static_assert(std::is_same_v<decltype(&OrvSetUserProxy), uint32_t(KILNA_CALL*)(uint32_t) noexcept>);
static_assert(std::is_same_v<decltype(&orv_kernel_log_pop), int32_t (*)(char*, int32_t, char*, int32_t) noexcept>);
