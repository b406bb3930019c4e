#pragma once

#include <functional>

#include "engine/fit_context.h"

namespace calvane {

// Shows `reached` (the value of each constant by index; the first n are the phase's point) as
// the paused run's snapshot, with the engine's step and cycle counters. CurrentValue and the
// formula's paramValue hold the point while the view shows it and are restored afterwards, so
// the phase goes on exactly where it was.
void ShowReachedPoint(FitContext& ctx, const double* reached, int n);

// A phase's pause and abort check between two of its moves. While the run is paused it calls
// `show_snapshot` once and waits for resume or abort. Returns false as soon as an abort is
// requested, true when the run goes on.
bool WaitWhilePaused(FitContext& ctx, const std::function<void()>& show_snapshot);

}  // namespace calvane
