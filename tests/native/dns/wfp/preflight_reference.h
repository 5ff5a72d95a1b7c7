#pragma once
// A plain, literal reading of the preflight's rules, written for the tests
// and the benchmark: every scan re-evaluates every filter it meets, as the
// rules are stated. It counts the conditions it evaluates.

#include <cstdint>

#include "native/dns/wfp/wfp_preflight_model.h"

namespace orv::dns::reference {

struct Outcome {
  Evaluation evaluation;
  std::uint64_t conditionEvaluations = 0;
};

Outcome Evaluate(const std::vector<Filter>& filters, const Context& context, std::uint32_t code,
                 const SublayerWeightLookup& sublayerWeight);

}  // namespace orv::dns::reference
