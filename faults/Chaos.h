#pragma once
// The chaos soak: random user actions on the program's window and random rig
// faults of the fault matrix's kinds, both drawn from one seed, in rounds of
// 7 s of faults and 3 s of quiet; at the end of each round the matrix's
// checks run (stall, nothing lost, driver settings), and at the end the
// leak check. The seed is printed first; the same seed replays the same
// actions and faults at the same times.
#include <chrono>
#include <cstdint>

namespace qel::faults {

// 0 when every round passed, 1 when one failed (the run stops there).
// `verbose` prints each round's faults.
int RunChaos(std::chrono::seconds length, std::uint32_t seed, bool verbose = false);

}  // namespace qel::faults
