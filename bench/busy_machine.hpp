#pragma once

#include <ostream>

#include "bench_options.hpp"

namespace superpixels::bench {

// The engine with its default threads against one thread, on an idle machine and on a busy one
// (one competing process spinning per CPU the process may use), rounds of the two alternating.
// Prints one line per round and a Markdown table of the median ratios. Returns the exit code.
int measureBusyMachine(const BenchOptions& options, std::ostream& out);

}  // namespace superpixels::bench
