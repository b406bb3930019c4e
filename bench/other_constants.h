#pragma once

#include <cmath>
#include <limits>

#include "formula/compiled_formula.h"

namespace calvane::bench {

// Moves k0 by one unit in the last place, so that the next sum is at other constants: the run's
// SumWorkers answer a sum asked for again from what they know, so a benchmark of the sums must
// ask for a new one each time, as a search does.
inline void MoveK0(CompiledFormula& formula) {
  double& k0 = formula.paramValue[formula.paramIndex[0]];
  k0 = std::nextafter(k0, std::numeric_limits<double>::infinity());
}

}  // namespace calvane::bench
