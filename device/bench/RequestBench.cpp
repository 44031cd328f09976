// One control-handle request through the platform seam to the rig.
#include <benchmark/benchmark.h>

#include "device/QelContext.h"
#include "device/QelDevice.h"
#include "device/Requests.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"

namespace {

void BM_ControlRequest(benchmark::State& state) {
    auto rig = qel::sim::Rig::makeDefault();
    rig->setTraceEnabled(state.range(0) != 0);
    qel::os::SimOs os(*rig);
    qel::QelContext ctx(os);
    if (ctx.drv().openDriver(qel::sim::fireWireGuid()) != 0) state.SkipWithError("openDriver failed");
    qel::QEL_SYNC_SETTINGS settings;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ctx.drv().request(qel::QEL_REQ_GET_SYNC_SETTINGS, nullptr, 0, settings.data(), settings.size()));
        if (state.range(0) != 0) rig->takeTrace();
    }
}
BENCHMARK(BM_ControlRequest)->Arg(0)->Arg(1)->ArgName("trace");

void BM_DeviceRequest(benchmark::State& state) {
    auto rig = qel::sim::Rig::makeDefault();
    rig->setTraceEnabled(false);
    qel::os::SimOs os(*rig);
    qel::QelContext ctx(os);
    qel::CQelDevice dev(ctx, qel::sim::fireWireGuid(), 0xA0DE);
    if (dev.openDevice(qel::sim::fireWireGuid(), 1) != 0) state.SkipWithError("openDevice failed");
    std::uint32_t id = 0;
    for (auto _ : state) benchmark::DoNotOptimize(dev.getDeviceId(id));
}
BENCHMARK(BM_DeviceRequest);

}  // namespace

BENCHMARK_MAIN();
