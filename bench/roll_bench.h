// The whole-roll benchmarks: each scenario with each implementation, side by side.
#pragma once

namespace bench {

// Runs every implementation once per scenario with the relay recording, and reports (to
// stderr) any that does not do the same job: the same deliveries, and for "conventional"
// the very line RollCommand sends from the same engine state.
bool CheckSameWork();

// Registers "roll/<scenario>/<implementation>" for every pair.
void RegisterRollBenchmarks();

}  // namespace bench
