// Level meters and event delivery through the seam and the rig: one meter
// block read of 32 meters, the time from a firmware value change to the
// posted message, and closing a device whose two event threads run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "device/EventMessages.h"
#include "device/QelContext.h"
#include "device/QelDevice.h"
#include "os/sim/SimOs.h"
#include "sim/FwFirmware.h"
#include "sim/Rig.h"

namespace {

using namespace qel;

struct Bench {
    Bench() : rig(sim::Rig::makeDefault()), os(*rig), ctx(os), device(ctx, sim::fireWireGuid(), QEL_KAVRO_COMPANY_ID) {
        rig->setTraceEnabled(false);
    }
    ~Bench() { device.closeDevice(); }
    std::unique_ptr<sim::Rig> rig;
    os::SimOs os;
    QelContext ctx;
    CQelDevice device;
};

class SignalWindow : public IWindow {
public:
    void postMessage(std::uint32_t, std::uintptr_t, std::uintptr_t) override {
        std::lock_guard lock(mutex_);
        ++posted_;
        cv_.notify_all();
    }
    void waitFor(std::uint64_t n) {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return posted_ >= n; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::uint64_t posted_ = 0;
};

void BM_ReadHsciMeters32(benchmark::State& state) {
    Bench b;
    b.rig->withFwDevice(1, [](sim::FwDeviceModel& m) {
        auto& mem = sim::FwFirmware::of(m)->memory();
        mem = sim::FwMemory(32);
        for (std::uint32_t i = 0; i < 32; ++i) mem.setSignal(i, sim::FwMemory::Signal::Sine, 90);
    });
    b.device.openDevice(sim::fireWireGuid(), 1);
    if (!b.device.initHsci()) state.SkipWithError("no meter block");
    std::vector<double> meters;
    for (auto _ : state) benchmark::DoNotOptimize(b.device.readHsciMeters(meters));
}
BENCHMARK(BM_ReadHsciMeters32);

void BM_ValueChangeToPostedMessage(benchmark::State& state) {
    Bench b;
    b.device.openDevice(sim::fireWireGuid(), 1);
    SignalWindow window;
    AVCSUFeatureBlockNotifyCMD block4(4);
    b.device.registerForAVCEvents(&block4, &window, 0x8005);
    std::vector<double> us;
    std::uint64_t n = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        b.rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { sim::FwFirmware::of(m)->knob(4, 0, -static_cast<double>(n % 60 + 1)); });
        window.waitFor(++n);
        const auto dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(dt);
        us.push_back(dt * 1e6);
        // the next change must find the NOTIFY armed again
        while (true) {
            std::size_t armed = 0;
            b.rig->withFwDevice(1, [&](sim::FwDeviceModel& m) { armed = sim::FwFirmware::of(m)->armedCount(); });
            if (armed == 1) break;
        }
    }
    std::sort(us.begin(), us.end());
    if (!us.empty()) {
        state.counters["median_us"] = us[us.size() / 2];
        state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    }
}
BENCHMARK(BM_ValueChangeToPostedMessage)->UseManualTime()->Iterations(2000);

void BM_CloseDeviceWithBothThreads(benchmark::State& state) {
    Bench b;
    SignalWindow window;
    AVCSUFeatureBlockNotifyCMD block4(4);
    for (auto _ : state) {
        state.PauseTiming();
        b.device.openDevice(sim::fireWireGuid(), 1);
        b.device.registerForDriverEvents(0, &window, QEL_MSG_DRIVER_EVENT);
        b.device.registerForAVCEvents(&block4, &window, 0x8005);
        state.ResumeTiming();
        b.device.closeDevice();
    }
}
BENCHMARK(BM_CloseDeviceWithBothThreads)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
