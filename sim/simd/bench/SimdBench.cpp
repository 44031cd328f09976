// One driver request through the rig process's socket against the same
// request on an in-process rig: the cost a program pays for sharing the rig.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include "os/remote/RemoteOs.h"
#include "os/sim/SimOs.h"
#include "sim/Requests.h"
#include "sim/Rig.h"
#include "sim/simd/SimdServer.h"

namespace {

using namespace qel;

std::string controlPath() { return "\\\\.\\" + sim::fireWireGuid().registryText(); }

struct Served {
    std::unique_ptr<sim::Rig> rig = sim::Rig::makeDefault();
    std::string dir;
    std::unique_ptr<sim::SimdServer> server;
    std::unique_ptr<os::RemoteOs> os;
    Served() {
        char tmpl[] = "/tmp/qel-simd-bench-XXXXXX";
        dir = ::mkdtemp(tmpl);
        rig->setTraceEnabled(false);
        server = std::make_unique<sim::SimdServer>(*rig);
        std::string error;
        if (!server->start(dir + "/s.sock", error)) std::abort();
        os = std::make_unique<os::RemoteOs>(dir + "/s.sock");
    }
    ~Served() {
        os.reset();
        server.reset();
        ::rmdir(dir.c_str());
    }
};

void request(benchmark::State& state, os::IOs& os, std::uint32_t code, std::uint32_t outLen) {
    std::uint32_t error = 0;
    os::Handle h = os.openPath(controlPath(), false, error);
    if (h == nullptr) {
        state.SkipWithError("open failed");
        return;
    }
    std::uint8_t out[260] = {};
    for (auto _ : state) {
        std::uint32_t got = 0;
        if (os.ioctl(h, code, nullptr, 0, out, outLen, &got) != 0) state.SkipWithError("request failed");
        benchmark::DoNotOptimize(out);
    }
    os.closeHandle(h);
}

void BM_VersionInProcess(benchmark::State& state) {
    auto rig = sim::Rig::makeDefault();
    rig->setTraceEnabled(false);
    os::SimOs os(*rig);
    request(state, os, sim::req::kGetDriverVersion, 12);
}
BENCHMARK(BM_VersionInProcess);

void BM_VersionThroughSocket(benchmark::State& state) {
    Served s;
    request(state, *s.os, sim::req::kGetDriverVersion, 12);
}
BENCHMARK(BM_VersionThroughSocket);

void BM_DeviceListInProcess(benchmark::State& state) {
    auto rig = sim::Rig::makeDefault();
    rig->setTraceEnabled(false);
    os::SimOs os(*rig);
    request(state, os, sim::req::kGetDeviceList, 260);
}
BENCHMARK(BM_DeviceListInProcess);

void BM_DeviceListThroughSocket(benchmark::State& state) {
    Served s;
    request(state, *s.os, sim::req::kGetDeviceList, 260);
}
BENCHMARK(BM_DeviceListThroughSocket);

}  // namespace

BENCHMARK_MAIN();
