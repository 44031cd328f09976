// Timed harness of building a mixer surface and of its output refresh on the
// built-in rig, offscreen:
//  - BuildMixer of each shipped model (device requests included), median of RUNS;
//  - the output refresh: how long RefreshOutputValues keeps the caller, how
//    long the paced reads take to reach the device, and the longest the
//    event loop went without serving a 5 ms timer meanwhile (the window
//    thread must stay responsive: no step waits inside the loop).
//
//   qel_panel_ContainerRefreshBench [RUNS]
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mixer/app/MixerCtrlContainer.h"

#ifndef QEL_SHIPPED_CONFIG
// The shipped configuration, found from this file's place in the tree.
#define QEL_SHIPPED_CONFIG (std::string(__FILE__).substr(0, std::string(__FILE__).rfind("/mixer/")) + \
                            "/resources/KavroMixerPanelConfig.xml").c_str()
#endif
#include "mixer/app/tests/panel/PanelRig.h"

namespace {

using qel::mixer::test::PanelRig;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const struct {
        std::size_t entry;
        const char* name;
    } models[] = {{PanelRig::k610, "Kavro 610"}, {PanelRig::k1814, "Kavro 1814"}, {PanelRig::kU410, "Kavro U410"}};

    for (const auto& model : models) {
        std::vector<double> build;
        std::vector<double> call;
        std::vector<double> paced;
        std::vector<double> gap;
        for (int run = 0; run < runs; ++run) {
            PanelRig r;
            QElapsedTimer clock;
            clock.start();
            CMixerCtrlContainer* c = r.Build(model.entry);
            build.push_back(clock.nsecsElapsed() / 1e6);
            if (!c)
                return 1;
            c->Pacer().Clear();

            // The refresh alone, with a 5 ms ticker standing in for the user.
            qint64 lastTick = 0;
            qint64 longest = 0;
            QElapsedTimer loop;
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&] {
                const qint64 now = loop.nsecsElapsed();
                longest = std::max(longest, now - lastTick);
                lastTick = now;
            });
            loop.start();
            c->RefreshOutputValues();
            call.push_back(loop.nsecsElapsed() / 1e6);
            lastTick = loop.nsecsElapsed();
            ticker.start(5);
            while (!c->Pacer().Idle())
                app.processEvents(QEventLoop::WaitForMoreEvents, 20);
            paced.push_back(loop.nsecsElapsed() / 1e6);
            ticker.stop();
            gap.push_back(longest / 1e6);
        }
        std::printf("%-11s BuildMixer %.2f ms | RefreshOutputValues returns after %.3f ms, reads done after %.1f ms, "
                    "longest event-loop gap %.2f ms (median of %d)\n",
                    model.name, Median(build), Median(call), Median(paced), Median(gap), runs);
    }
    return 0;
}
