#include "native/dns/wfp/wfp_preflight_records.h"

#include <cstring>

namespace orv::dns {

static_assert(sizeof(GUID) == sizeof(Key));
static_assert(FWP_MATCH_EQUAL == kMatchEqual && FWP_MATCH_NOT_EQUAL == kMatchNotEqual);
static_assert(FWP_MATCH_FLAGS_ALL_SET == kMatchFlagsAllSet && FWP_MATCH_FLAGS_ANY_SET == kMatchFlagsAnySet &&
              FWP_MATCH_FLAGS_NONE_SET == kMatchFlagsNoneSet);
static_assert(FWP_UINT8 == kValueUInt8 && FWP_UINT16 == kValueUInt16 && FWP_UINT32 == kValueUInt32 &&
              FWP_UINT64 == kValueUInt64 && FWP_BYTE_BLOB_TYPE == kValueByteBlob &&
              FWP_V4_ADDR_MASK == kValueV4AddrMask);
static_assert(FWP_ACTION_BLOCK == kActionBlock && FWP_ACTION_PERMIT == kActionPermit &&
              FWP_ACTION_CONTINUE == kActionContinue);
static_assert(FWPM_FILTER_FLAG_BOOTTIME == kFilterFlagBootTime &&
              FWPM_FILTER_FLAG_DISABLED == kFilterFlagDisabled &&
              FWPM_FILTER_FLAG_CLEAR_ACTION_RIGHT == kFilterFlagClearActionRight);
static_assert(FWP_CONDITION_FLAG_IS_LOOPBACK == kConditionFlagIsLoopback);

namespace {

Field FieldOf(const GUID& key) {
  struct Known {
    const GUID* key;
    Field field;
  };
  static const Known kKnown[] = {
      {&FWPM_CONDITION_IP_REMOTE_PORT, Field::kRemotePort},
      {&FWPM_CONDITION_IP_PROTOCOL, Field::kProtocol},
      {&FWPM_CONDITION_FLAGS, Field::kFlags},
      {&FWPM_CONDITION_IP_REMOTE_ADDRESS, Field::kRemoteAddress},
      {&FWPM_CONDITION_INTERFACE_INDEX, Field::kInterfaceIndex},
      {&FWPM_CONDITION_NEXTHOP_INTERFACE_INDEX, Field::kInterfaceIndex},
      {&FWPM_CONDITION_IP_LOCAL_INTERFACE, Field::kInterfaceLuid},
      {&FWPM_CONDITION_IP_NEXTHOP_INTERFACE, Field::kInterfaceLuid},
      {&FWPM_CONDITION_ALE_APP_ID, Field::kAppId},
  };
  for (const Known& known : kKnown) {
    if (::IsEqualGUID(*known.key, key)) return known.field;
  }
  return Field::kOther;
}

Condition PlainCondition(const FWPM_FILTER_CONDITION0& condition) {
  Condition c;
  c.fieldKey = KeyOfGuid(condition.fieldKey);
  c.field = FieldOf(condition.fieldKey);
  c.matchType = static_cast<std::uint32_t>(condition.matchType);
  const FWP_CONDITION_VALUE0& value = condition.conditionValue;
  c.valueType = static_cast<std::uint32_t>(value.type);
  switch (value.type) {
    case FWP_UINT8:
      c.number = value.uint8;
      break;
    case FWP_UINT16:
      c.number = value.uint16;
      break;
    case FWP_UINT32:
      c.number = value.uint32;
      break;
    case FWP_UINT64:
      c.valuePresent = value.uint64 != nullptr;
      if (c.valuePresent) c.number = *value.uint64;
      break;
    case FWP_V4_ADDR_MASK:
      c.valuePresent = value.v4AddrMask != nullptr;
      if (c.valuePresent) {
        c.address = value.v4AddrMask->addr;
        c.mask = value.v4AddrMask->mask;
      }
      break;
    case FWP_BYTE_BLOB_TYPE:
      c.valuePresent = value.byteBlob != nullptr;
      if (c.valuePresent && c.field == Field::kAppId) c.blob = BlobBytes(*value.byteBlob);
      break;
    default:
      break;
  }
  return c;
}

}  // namespace

Key KeyOfGuid(const GUID& guid) noexcept {
  Key key;
  std::memcpy(key.bytes.data(), &guid, sizeof guid);
  return key;
}

GUID GuidOfKey(const Key& key) noexcept {
  GUID guid;
  std::memcpy(&guid, key.bytes.data(), sizeof guid);
  return guid;
}

std::vector<std::uint8_t> BlobBytes(const FWP_BYTE_BLOB& blob) {
  // A size without data is as good as empty.
  if (blob.data == nullptr) return {};
  return std::vector<std::uint8_t>(blob.data, blob.data + blob.size);
}

Filter PlainFilter(const FWPM_FILTER0& filter) {
  Filter f;
  f.id = filter.filterId;
  f.key = KeyOfGuid(filter.filterKey);
  f.flags = filter.flags;
  if (filter.providerKey != nullptr) f.provider = KeyOfGuid(*filter.providerKey);
  f.layer = KeyOfGuid(filter.layerKey);
  f.sublayer = KeyOfGuid(filter.subLayerKey);
  f.action = filter.action.type;
  if (filter.effectiveWeight.type == FWP_UINT64 && filter.effectiveWeight.uint64 != nullptr) {
    f.weight = *filter.effectiveWeight.uint64;
  }
  f.conditionCount = filter.numFilterConditions;
  f.conditionsMissing = filter.filterCondition == nullptr;
  if (!f.conditionsMissing && f.conditionCount <= kMaxConditions) {
    f.conditions.reserve(f.conditionCount);
    for (UINT32 i = 0; i < filter.numFilterConditions; ++i) {
      f.conditions.push_back(PlainCondition(filter.filterCondition[i]));
    }
  }
  return f;
}

}  // namespace orv::dns
