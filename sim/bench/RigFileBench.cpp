// Reading rig files: the compiled-in rig's text, parsed alone and built into a rig.
#include <benchmark/benchmark.h>

#include <string>

#include "sim/RigFile.h"

namespace {

void BM_ParseDefaultRig(benchmark::State& state) {
    std::string error;
    for (auto _ : state) benchmark::DoNotOptimize(qel::sim::parseRig(qel::sim::defaultRigText(), error));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * qel::sim::defaultRigText().size()));
}
BENCHMARK(BM_ParseDefaultRig);

void BM_MakeDefaultRig(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(qel::sim::Rig::makeDefault());
}
BENCHMARK(BM_MakeDefaultRig);

// A long timeline: 10000 events.
void BM_ParseLongTimeline(benchmark::State& state) {
    std::string text = "[firewire 1]\nblocks 1\n[timeline]\n";
    for (int i = 0; i < 10000; ++i) text += "at " + std::to_string(i) + "ms knob 1 1 0 -" + std::to_string(i % 90) + "\n";
    std::string error;
    for (auto _ : state) benchmark::DoNotOptimize(qel::sim::parseRig(text, error));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseLongTimeline);

}  // namespace

BENCHMARK_MAIN();
