// Painting cost of the level meters: one meter repaint, and the 40 meters of
// a full surface updated at one reading.
#include "mixer/controls/LevelMeter.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

CLevelMeter* MakeMeter(QWidget* parent, int x)
{
    auto* m = new CLevelMeter(parent, 1014);
    m->SetTrack(143, 142, false);
    m->SetVertical(true);
    m->SetRange(0, 100);
    m->move(x, 0);
    return m;
}

void OneMeterRepaint(benchmark::State& state)
{
    QWidget surface;
    surface.resize(20, 200);
    CLevelMeter* meter = MakeMeter(&surface, 0);
    surface.show();
    int reading = 0;
    for (auto _ : state) {
        reading = (reading + 37) % 101;
        meter->SetPos(reading);
        meter->repaint();
    }
}
BENCHMARK(OneMeterRepaint);

void FortyMetersOneReading(benchmark::State& state)
{
    QWidget surface;
    surface.resize(40 * 12, 200);
    std::vector<CLevelMeter*> meters;
    for (int i = 0; i < 40; ++i)
        meters.push_back(MakeMeter(&surface, i * 12));
    surface.show();
    int reading = 0;
    for (auto _ : state) {
        reading = (reading + 37) % 101;
        for (size_t i = 0; i < meters.size(); ++i)
            meters[i]->SetPos((reading + int(i) * 7) % 101);
        for (CLevelMeter* m : meters)
            m->repaint();
    }
}
BENCHMARK(FortyMetersOneReading)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen"
                                                                     : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
