#include "tests/native/dns/wfp/preflight_reference.h"

namespace orv::dns::reference {

namespace {

enum { kNo = 0, kUnknown = 1, kYes = 2 };

struct Answer {
  int verdict = kUnknown;
  bool port53 = false;
  bool interfaceFlag = false;
};

class Reader {
 public:
  Reader(const Context& context, std::uint64_t& count) : context_(context), count_(count) {}

  // probe < 0: on some interface that is not listed; else on listed interface `probe`.
  Answer Condition(const dns::Condition& c, int probe) const {
    ++count_;
    Answer a;
    const bool eq = c.matchType == kMatchEqual;
    const bool ne = c.matchType == kMatchNotEqual;
    if (c.field == Field::kRemotePort && c.valueType == kValueUInt16) {
      if (eq) a.verdict = c.number == 53 ? kYes : kNo;
      if (ne) a.verdict = c.number == 53 ? kNo : kYes;
      a.port53 = eq && c.number == 53;
    } else if (c.field == Field::kProtocol && c.valueType == kValueUInt8) {
      if (eq) a.verdict = c.number == 17 ? kYes : kNo;
      if (ne) a.verdict = c.number == 17 ? kNo : kYes;
    } else if (c.field == Field::kFlags && c.valueType == kValueUInt32) {
      if (c.matchType == kMatchFlagsAllSet && (c.number & 1) != 0) {
        a.verdict = kNo;
      } else if (c.number == 1 && c.matchType == kMatchFlagsAnySet) {
        a.verdict = kNo;
      } else if (c.number == 1 && c.matchType == kMatchFlagsNoneSet) {
        a.verdict = kYes;
      }
    } else if (c.field == Field::kRemoteAddress && c.valueType == kValueUInt32) {
      if (eq) a.verdict = c.number == 0xAC130002 ? kYes : kNo;
      if (ne) a.verdict = c.number == 0xAC130002 ? kNo : kYes;
    } else if (c.field == Field::kRemoteAddress && c.valueType == kValueV4AddrMask && c.valuePresent) {
      const bool m = (c.mask & c.address) == (c.mask & 0xAC130002u);
      if (eq) a.verdict = m ? kYes : kNo;
      if (ne) a.verdict = m ? kNo : kYes;
    } else if (c.field == Field::kInterfaceIndex && c.valueType == kValueUInt32) {
      a = Interface(c, probe, false);
    } else if (c.field == Field::kInterfaceLuid && c.valueType == kValueUInt64 && c.valuePresent) {
      a = Interface(c, probe, true);
    } else if (c.field == Field::kAppId && c.valueType == kValueByteBlob && c.valuePresent && !c.blob.empty() && eq) {
      if (context_.selfAppId && context_.serviceHostAppId) {
        a.verdict = c.blob == *context_.selfAppId || c.blob == *context_.serviceHostAppId ? kUnknown : kNo;
      }
    }
    return a;
  }

  Answer Whole(const dns::Filter& f, int probe) const {
    Answer a;
    if (f.conditionCount == 0) {
      a.verdict = kYes;
      return a;
    }
    if (f.conditionsMissing || f.conditionCount > 64) return a;
    bool atBestUnknown = false;
    for (std::size_t i = 0; i < f.conditions.size(); ++i) {
      bool twin = false;
      for (std::size_t j = 0; j < f.conditions.size(); ++j) {
        if (j != i && f.conditions[j].fieldKey == f.conditions[i].fieldKey) twin = true;
      }
      if (twin) {
        atBestUnknown = true;
        continue;
      }
      const Answer one = Condition(f.conditions[i], probe);
      if (one.verdict == kNo) {
        a.verdict = kNo;
        return a;
      }
      if (one.verdict == kUnknown) atBestUnknown = true;
      if (one.port53) a.port53 = true;
      if (one.interfaceFlag) a.interfaceFlag = true;
    }
    a.verdict = atBestUnknown ? kUnknown : kYes;
    return a;
  }

 private:
  Answer Interface(const dns::Condition& c, int probe, bool luid) const {
    Answer a;
    const bool eq = c.matchType == kMatchEqual;
    const bool ne = c.matchType == kMatchNotEqual;
    auto valueOf = [&](const ListedInterface& x) { return luid ? x.luid : x.index; };
    const std::uint64_t value = luid ? c.number : static_cast<std::uint32_t>(c.number);
    if (probe >= 0) {
      const bool same = value == valueOf(context_.interfaces[probe]);
      if (eq) a.verdict = same ? kYes : kNo;
      if (ne) a.verdict = same ? kNo : kYes;
      a.interfaceFlag = eq && same;
      return a;
    }
    bool anyListed = false;
    for (const auto& x : context_.interfaces) {
      if (value == valueOf(x)) anyListed = true;
    }
    if (anyListed && eq) a.verdict = kNo;
    if (anyListed && ne) a.verdict = kYes;
    return a;
  }

  const Context& context_;
  std::uint64_t& count_;
};

bool BootOrDisabled(const Filter& f) { return (f.flags & 0x2) != 0 || (f.flags & 0x20) != 0; }

bool SameProvider(const Filter& a, const Filter& b) {
  if (!a.provider && !b.provider) return true;
  return a.provider && b.provider && *a.provider == *b.provider;
}

}  // namespace

Outcome Evaluate(const std::vector<Filter>& filters, const Context& context, std::uint32_t code,
                 const SublayerWeightLookup& sublayerWeight) {
  Outcome out;
  Reader reader(context, out.conditionEvaluations);
  out.evaluation.code = code;
  for (std::size_t fi = 0; fi < filters.size(); ++fi) {
    const Filter& F = filters[fi];
    if (BootOrDisabled(F) || F.action != 0x1001 || !(F.layer == kLayerAleAuthConnectV4) || F.id == 0 ||
        F.key.IsZero() || !F.weight) {
      continue;
    }
    const std::uint64_t w = *F.weight;
    const Answer own = reader.Whole(F, -1);
    if (own.verdict != kYes || !own.port53) continue;

    bool shadowed = false;
    bool companion = false;
    for (std::size_t si = 0; si < filters.size() && !shadowed; ++si) {
      const Filter& S = filters[si];
      if (si == fi || !(S.layer == F.layer) || !(S.sublayer == F.sublayer) || BootOrDisabled(S)) continue;
      if (S.weight && *S.weight < w) continue;
      const Answer s = reader.Whole(S, -1);
      if (S.action != 0x2006 && (s.verdict == kYes || s.verdict == kUnknown)) {
        shadowed = true;
        break;
      }
      if (!companion && S.weight && *S.weight > w && S.action == 0x1002 && SameProvider(S, F)) {
        for (std::size_t x = 0; x < context.interfaces.size() && !companion; ++x) {
          const Answer listed = reader.Whole(S, static_cast<int>(x));
          companion = listed.verdict == kYes && listed.interfaceFlag;
        }
      }
    }
    if (shadowed || !companion) continue;

    bool overridden = false;
    std::optional<std::uint16_t> fWeight;
    for (std::size_t di = 0; di < filters.size() && !overridden; ++di) {
      const Filter& D = filters[di];
      if (!(D.layer == F.layer) || D.sublayer == F.sublayer || BootOrDisabled(D) || D.action != 0x1002 ||
          (D.flags & 0x8) == 0) {
        continue;
      }
      if (reader.Whole(D, -1).verdict == kNo) continue;
      if (!fWeight) fWeight = sublayerWeight(F.sublayer);
      const std::optional<std::uint16_t> dWeight = sublayerWeight(D.sublayer);
      if (fWeight && dWeight && *dWeight < *fWeight) continue;
      overridden = true;
    }
    if (overridden) continue;

    if (out.evaluation.reported.size() == 16) {
      out.evaluation.code = 234;
      break;
    }
    out.evaluation.reported.push_back({F.id, F.key});
  }
  return out;
}

}  // namespace orv::dns::reference
