#include "native/dns/wfp/wfp_filter_verdict.h"

namespace orv::dns {

namespace {

Verdict Is(bool match) { return match ? Verdict::kMatch : Verdict::kNoMatch; }

// Equal and not-equal against the modelled value; any other match type is
// beyond the model.
Verdict EqualityVerdict(std::uint32_t matchType, bool equal) {
  if (matchType == kMatchEqual) return Is(equal);
  if (matchType == kMatchNotEqual) return Is(!equal);
  return Verdict::kUnknown;
}

Verdict FlagsVerdict(std::uint32_t matchType, std::uint64_t value) {
  if (matchType == kMatchFlagsAllSet && (value & kConditionFlagIsLoopback) != 0) return Verdict::kNoMatch;
  if (value == kConditionFlagIsLoopback) {
    if (matchType == kMatchFlagsAnySet) return Verdict::kNoMatch;
    if (matchType == kMatchFlagsNoneSet) return Verdict::kMatch;
  }
  return Verdict::kUnknown;
}

Verdict AppIdVerdict(const Condition& c, const Context& context) {
  if (!context.selfAppId || !context.serviceHostAppId) return Verdict::kUnknown;
  // The connection may come from either program; which one is not modelled.
  const bool either = c.blob == *context.selfAppId || c.blob == *context.serviceHostAppId;
  return either ? Verdict::kUnknown : Verdict::kNoMatch;
}

template <typename Value, typename Member>
FilterVerdict InterfaceVerdict(const Condition& c, const Context& context, int probe, Value value, Member member) {
  FilterVerdict result;
  if (probe != kOtherInterface) {
    const bool equal = value == context.interfaces[static_cast<std::size_t>(probe)].*member;
    result.verdict = EqualityVerdict(c.matchType, equal);
    result.interfaceFlag = c.matchType == kMatchEqual && equal;
    return result;
  }
  bool listed = false;
  for (const ListedInterface& x : context.interfaces) listed = listed || value == x.*member;
  // An unlisted value could be the very interface the connection takes.
  result.verdict = listed ? EqualityVerdict(c.matchType, false) : Verdict::kUnknown;
  return result;
}

}  // namespace

FilterVerdict EvaluateCondition(const Condition& c, const Context& context, int probe) {
  FilterVerdict result;
  switch (c.field) {
    case Field::kRemotePort:
      if (c.valueType != kValueUInt16) break;
      result.verdict = EqualityVerdict(c.matchType, c.number == kDnsPort);
      result.port53 = c.matchType == kMatchEqual && c.number == kDnsPort;
      return result;
    case Field::kProtocol:
      if (c.valueType != kValueUInt8) break;
      result.verdict = EqualityVerdict(c.matchType, c.number == kUdpProtocol);
      return result;
    case Field::kFlags:
      if (c.valueType != kValueUInt32) break;
      result.verdict = FlagsVerdict(c.matchType, c.number);
      return result;
    case Field::kRemoteAddress:
      if (c.valueType == kValueUInt32) {
        result.verdict = EqualityVerdict(c.matchType, c.number == kDnsServerAddress);
        return result;
      }
      if (c.valueType != kValueV4AddrMask || !c.valuePresent) break;
      result.verdict = EqualityVerdict(c.matchType, (c.mask & c.address) == (c.mask & kDnsServerAddress));
      return result;
    case Field::kInterfaceIndex:
      if (c.valueType != kValueUInt32) break;
      return InterfaceVerdict(c, context, probe, static_cast<std::uint32_t>(c.number), &ListedInterface::index);
    case Field::kInterfaceLuid:
      if (c.valueType != kValueUInt64 || !c.valuePresent) break;
      return InterfaceVerdict(c, context, probe, c.number, &ListedInterface::luid);
    case Field::kAppId:
      if (c.valueType != kValueByteBlob || !c.valuePresent || c.blob.empty() || c.matchType != kMatchEqual) break;
      result.verdict = AppIdVerdict(c, context);
      return result;
    case Field::kOther:
      break;
  }
  result.verdict = Verdict::kUnknown;
  return result;
}

FilterVerdict EvaluateFilter(const Filter& filter, const Context& context, int probe) {
  FilterVerdict result;
  if (filter.conditionCount == 0) {
    result.verdict = Verdict::kMatch;
    return result;
  }
  if (filter.conditionsMissing || filter.conditionCount > kMaxConditions ||
      filter.conditions.size() != filter.conditionCount) {
    return result;  // unknown
  }
  bool unknown = false;
  const auto& conditions = filter.conditions;
  for (std::size_t i = 0; i < conditions.size(); ++i) {
    bool duplicated = false;
    for (std::size_t j = 0; j < conditions.size() && !duplicated; ++j) {
      duplicated = j != i && conditions[j].fieldKey == conditions[i].fieldKey;
    }
    if (duplicated) {
      unknown = true;
      continue;
    }
    const FilterVerdict one = EvaluateCondition(conditions[i], context, probe);
    if (one.verdict == Verdict::kNoMatch) {
      result.verdict = Verdict::kNoMatch;
      return result;
    }
    unknown = unknown || one.verdict == Verdict::kUnknown;
    result.port53 = result.port53 || one.port53;
    result.interfaceFlag = result.interfaceFlag || one.interfaceFlag;
  }
  result.verdict = unknown ? Verdict::kUnknown : Verdict::kMatch;
  return result;
}

bool MatchesListedInterface(const Filter& filter, const Context& context) {
  for (std::size_t x = 0; x < context.interfaces.size(); ++x) {
    const FilterVerdict v = EvaluateFilter(filter, context, static_cast<int>(x));
    if (v.verdict == Verdict::kMatch && v.interfaceFlag) return true;
  }
  return false;
}

}  // namespace orv::dns
