#pragma once
// Pieces the mixer panel's timed harnesses share: where the shipped
// configuration is, CPU time, running the event loop for a while, and the
// time from a knob turned on the device to the fader painted at its new place.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "mixer/controls/BitmapSlider.h"

namespace qel::mixer::bench {

// The shipped configuration: beside the program (the build copies it there),
// else in the source tree.
inline std::string ShippedConfigPath()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/KavroMixerPanelConfig.xml");
    if (QFileInfo::exists(beside))
        return beside.toStdString();
    const std::string self = __FILE__;
    const std::size_t at = self.rfind("mixer/app/bench/");
    return (at == std::string::npos ? std::string() : self.substr(0, at)) + "resources/KavroMixerPanelConfig.xml";
}

// CPU seconds of this thread (RUSAGE_THREAD) or process (RUSAGE_SELF).
inline double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Quits `loop` when the fader is painted at `position`.
class FaderPaintWatch : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && armed && fader->GetPos() == position) {
            painted = std::chrono::steady_clock::now();
            armed = false;
            loop->quit();
        }
        return false;
    }
    CBitmapSlider* fader = nullptr;
    QEventLoop* loop = nullptr;
    int position = 0;
    bool armed = false;
    std::chrono::steady_clock::time_point painted;
};

// `turns` times: `turn(position)` moves the knob on the device so that the
// fader goes to `position` (10 and 20 in turn); prints the median, 99th
// percentile and maximum time until the fader is painted there.
inline void MeasureKnobToPaint(CBitmapSlider* fader, const std::function<void(int)>& turn, int turns)
{
    QEventLoop loop;
    FaderPaintWatch watch;
    watch.fader = fader;
    watch.loop = &loop;
    fader->installEventFilter(&watch);
    std::vector<double> ms;
    int lost = 0;
    for (int i = 0; i < turns; ++i) {
        const int position = 10 + (i % 2) * 10;
        watch.position = position;
        watch.armed = true;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(1000);
        const auto turned = std::chrono::steady_clock::now();
        turn(position);
        loop.exec();
        if (watch.armed) {
            ++lost;
            watch.armed = false;
            continue;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(watch.painted - turned).count());
        // Between turns, as a hand would: the meters keep running.
        RunFor(20);
    }
    fader->removeEventFilter(&watch);
    if (ms.empty()) {
        std::printf("knob to fader paint: no paint seen in %d turns\n", turns);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size() - 1) + 0.5))]; };
    std::printf("%-34s %zu turns (%d lost): median %.3f ms  p99 %.3f ms  max %.3f ms\n", "knob to fader paint",
                ms.size(), lost, at(0.5), at(0.99), ms.back());
    std::fflush(stdout);
}

}  // namespace qel::mixer::bench
