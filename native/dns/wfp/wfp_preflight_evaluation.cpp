#include "native/dns/wfp/wfp_preflight_evaluation.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "native/dns/wfp/wfp_filter_verdict.h"

namespace orv::dns {

namespace {

bool Ignored(const Filter& f) { return (f.flags & (kFilterFlagBootTime | kFilterFlagDisabled)) != 0; }

bool IsCandidate(const Filter& f) {
  return !Ignored(f) && f.action == kActionBlock && f.layer == kLayerAleAuthConnectV4 && f.id != 0 &&
         !f.key.IsZero() && f.weight.has_value();
}

// A sublayer together with a provider (or none), for companion lookups.
struct ProviderInSublayer {
  Key sublayer;
  bool hasProvider = false;
  Key provider;
  bool operator==(const ProviderInSublayer&) const = default;
};

struct ProviderInSublayerHash {
  std::size_t operator()(const ProviderInSublayer& p) const noexcept {
    const KeyHash hash;
    return hash(p.sublayer) * 31 + (p.hasProvider ? hash(p.provider) + 1 : 0);
  }
};

ProviderInSublayer ProviderOf(const Filter& f) {
  return {f.sublayer, f.provider.has_value(), f.provider.value_or(Key{})};
}

// What decides shadowing inside one sublayer of the connect layer: filters
// that would hide a candidate of a given weight.
struct SublayerGroup {
  std::size_t unweightedShadows = 0;   // never skipped, whatever the weight
  std::vector<std::uint64_t> weights;  // sorted once built
};

// Hard permits of the connect layer, summarised by sublayer weight so each
// candidate asks only about the sublayers other than its own.
class HardPermits {
 public:
  HardPermits(const std::vector<Filter>& filters, const std::vector<Verdict>& other,
              const SublayerWeightLookup& lookup)
      : lookup_(lookup) {
    for (std::size_t i = 0; i < filters.size(); ++i) {
      const Filter& d = filters[i];
      if (Ignored(d) || d.layer != kLayerAleAuthConnectV4 || d.action != kActionPermit ||
          (d.flags & kFilterFlagClearActionRight) == 0 || other[i] == Verdict::kNoMatch) {
        continue;
      }
      sublayers_.insert(d.sublayer);
    }
  }

  bool Overrides(const Key& candidateSublayer) {
    const std::size_t others = sublayers_.size() - sublayers_.count(candidateSublayer);
    if (others == 0) return false;
    const std::optional<std::uint16_t> own = Weight(candidateSublayer);
    if (!own) return true;
    Summarise();
    // Own weight is known here, so an unknown one is always another sublayer's.
    if (unknown_ > 0) return true;
    std::optional<std::uint16_t> highest;
    if (best_) highest = best_->first == candidateSublayer ? second_ : std::optional<std::uint16_t>(best_->second);
    return highest && *highest >= *own;
  }

 private:
  std::optional<std::uint16_t> Weight(const Key& sublayer) {
    const auto found = weights_.find(sublayer);
    if (found != weights_.end()) return found->second;
    const std::optional<std::uint16_t> weight = lookup_(sublayer);
    weights_.emplace(sublayer, weight);
    return weight;
  }

  void Summarise() {
    if (summarised_) return;
    summarised_ = true;
    for (const Key& sublayer : sublayers_) {
      const std::optional<std::uint16_t> weight = Weight(sublayer);
      if (!weight) {
        ++unknown_;
      } else if (!best_ || *weight > best_->second) {
        if (best_) second_ = best_->second;
        best_ = std::make_pair(sublayer, *weight);
      } else if (!second_ || *weight > *second_) {
        second_ = *weight;
      }
    }
  }

  const SublayerWeightLookup& lookup_;
  std::unordered_set<Key, KeyHash> sublayers_;
  std::unordered_map<Key, std::optional<std::uint16_t>, KeyHash> weights_;
  bool summarised_ = false;
  std::size_t unknown_ = 0;
  std::optional<std::pair<Key, std::uint16_t>> best_;
  std::optional<std::uint16_t> second_;
};

}  // namespace

Evaluation EvaluatePreflight(const std::vector<Filter>& filters, const Context& context, std::uint32_t code,
                             const SublayerWeightLookup& sublayerWeight) {
  const std::size_t n = filters.size();
  std::vector<Verdict> other(n, Verdict::kNoMatch);
  std::vector<bool> port53(n, false);
  std::unordered_map<Key, SublayerGroup, KeyHash> groups;
  std::unordered_map<ProviderInSublayer, std::uint64_t, ProviderInSublayerHash> companionWeight;

  for (std::size_t i = 0; i < n; ++i) {
    const Filter& f = filters[i];
    if (Ignored(f) || f.layer != kLayerAleAuthConnectV4) continue;
    const FilterVerdict v = EvaluateFilter(f, context, kOtherInterface);
    other[i] = v.verdict;
    port53[i] = v.port53;
    SublayerGroup& group = groups[f.sublayer];
    if (f.action != kActionContinue && v.verdict != Verdict::kNoMatch) {
      if (f.weight) {
        group.weights.push_back(*f.weight);
      } else {
        ++group.unweightedShadows;
      }
    }
    if (f.action == kActionPermit && f.weight && MatchesListedInterface(f, context)) {
      std::uint64_t& highest = companionWeight[ProviderOf(f)];
      highest = std::max(highest, *f.weight);
    }
  }
  for (auto& entry : groups) std::sort(entry.second.weights.begin(), entry.second.weights.end());

  HardPermits hardPermits(filters, other, sublayerWeight);
  Evaluation result;
  result.code = code;
  for (std::size_t i = 0; i < n; ++i) {
    const Filter& f = filters[i];
    if (!IsCandidate(f) || other[i] != Verdict::kMatch || !port53[i]) continue;
    const std::uint64_t w = *f.weight;
    const SublayerGroup& group = groups.at(f.sublayer);
    // The candidate itself is one of the weighted shadows at or above w.
    const auto atOrAbove = static_cast<std::size_t>(
        group.weights.end() - std::lower_bound(group.weights.begin(), group.weights.end(), w));
    if (group.unweightedShadows + atOrAbove > 1) continue;
    const auto companion = companionWeight.find(ProviderOf(f));
    if (companion == companionWeight.end() || companion->second <= w) continue;
    if (hardPermits.Overrides(f.sublayer)) continue;
    if (result.reported.size() == kMaxReported) {
      result.code = kMoreData;
      break;
    }
    result.reported.push_back({f.id, f.key});
  }
  return result;
}

}  // namespace orv::dns
