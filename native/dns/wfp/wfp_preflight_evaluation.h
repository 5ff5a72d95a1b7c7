#pragma once
// Finds the blocking filters the preflight reports: a block of DNS on every
// interface but the listed ones, paired with a higher-weighted permit of the
// same provider for a listed interface, neither shadowed in its sublayer nor
// overridden by a hard permit in a sublayer of at least equal weight.
// Each filter's verdicts are computed once and the scans are answered from
// per-sublayer summaries, so the work stays near-linear in the filter count.
// Portable.

#include "native/dns/wfp/wfp_preflight_model.h"

namespace orv::dns {

// `code` is the interface list's code; it stays the evaluation code unless
// more filters are reportable than fit.
Evaluation EvaluatePreflight(const std::vector<Filter>& filters, const Context& context, std::uint32_t code,
                             const SublayerWeightLookup& sublayerWeight);

}  // namespace orv::dns
