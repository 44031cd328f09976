// Painting cost of the level meters: one meter repaint, and the 40 meters of
// a full surface updated at one reading and painted in one pass.
#include "mixer/controls/LevelMeter.h"

#include <QApplication>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

// Counts paint events, so a run that paints nothing shows up in the figures.
class CPaintCounter : public QObject {
public:
    long paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void Expose(QWidget& surface)
{
    surface.show();
    for (int i = 0; i < 10 && !surface.windowHandle()->isExposed(); ++i)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

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
    CPaintCounter counter;
    meter->installEventFilter(&counter);
    Expose(surface);
    counter.paints = 0;
    int reading = 0;
    for (auto _ : state) {
        reading = (reading + 37) % 101;
        meter->SetPos(reading);
        meter->repaint();
    }
    state.counters["paints/iter"] = double(counter.paints) / double(state.iterations());
}
BENCHMARK(OneMeterRepaint);

void FortyMetersOneReading(benchmark::State& state)
{
    QWidget surface;
    surface.resize(40 * 12, 200);
    std::vector<CLevelMeter*> meters;
    for (int i = 0; i < 40; ++i)
        meters.push_back(MakeMeter(&surface, i * 12));
    CPaintCounter counter;
    for (CLevelMeter* m : meters)
        m->installEventFilter(&counter);
    Expose(surface);
    counter.paints = 0;
    int reading = 0;
    for (auto _ : state) {
        reading = (reading + 37) % 101;
        for (size_t i = 0; i < meters.size(); ++i)
            meters[i]->SetPos((reading + int(i) * 7) % 101);
        // One paint pass of the surface, as the event loop does after a reading.
        QCoreApplication::sendPostedEvents(&surface, QEvent::UpdateRequest);
    }
    state.counters["paints/iter"] = double(counter.paints) / double(state.iterations());
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
