#pragma once
// How a filter condition is shown in a filter description: the name of a
// well-known field, and the text of a value. Identifying values (application
// and user ids, descriptors, blobs, strings) are never shown.

#include <windows.h>

#include <fwpmu.h>

#include <string>

namespace orv::dns {

struct KnownConditionField {
  const char* name;
  bool isAddress;
};

// Null for a field that is not in the well-known list.
const KnownConditionField* FindKnownConditionField(const GUID& fieldKey) noexcept;

// Empty when the value cannot be shown.
std::string ConditionValueText(const FWP_CONDITION_VALUE0& value, bool isAddressField);

// Why a value without text is not shown: "redacted" or "unavailable"; null for
// FWP_EMPTY, which shows nothing at all.
const char* ConditionValueStatus(const FWP_CONDITION_VALUE0& value, bool isAddressField) noexcept;

}  // namespace orv::dns
