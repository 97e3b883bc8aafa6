#pragma once

#include "bench_options.hpp"

namespace superpixels::bench {

// The --data-costs mode: what the features asked for explicitly cost next to the default run,
// measured side by side on every photo. Prints a line per photo and count and a summary; returns
// the exit code.
int measureDataCosts(const BenchOptions& options);

}  // namespace superpixels::bench
