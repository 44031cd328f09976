#include "mixer/controls/MeterTick.h"

#include "mixer/controls/LevelMeter.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>

namespace {

// A fed meter pushes its request on by a reading period at a time: the timer
// is moved later only when it would otherwise wake for nothing by more than this.
constexpr qint64 kPushSlackMs = 20;

// Owned by the application, so that its timer ends with the event loop.
QPointer<CMeterTick>& TheTick()
{
    static QPointer<CMeterTick> tick;
    return tick;
}

}  // namespace

CMeterTick& CMeterTick::Instance()
{
    QPointer<CMeterTick>& tick = TheTick();
    if (!tick) {
        tick = new CMeterTick;
        tick->setParent(QCoreApplication::instance());
    }
    return *tick;
}

CMeterTick* CMeterTick::IfAny()
{
    return TheTick().data();
}

CMeterTick::CMeterTick()
{
    m_clock.start();
}

void CMeterTick::Request(CLevelMeter* meter, int delayMs)
{
    const qint64 due = Now() + std::max(delayMs, 0);
    const auto it = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const Wait& w) { return w.meter == meter; });
    if (it != m_waiting.end())
        it->due = due;
    else
        m_waiting.push_back({meter, due});
    Arm();
}

void CMeterTick::Cancel(CLevelMeter* meter)
{
    const auto it = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const Wait& w) { return w.meter == meter; });
    if (it == m_waiting.end())
        return;
    m_waiting.erase(it);
    Arm();
}

bool CMeterTick::Requested(const CLevelMeter* meter) const
{
    return std::any_of(m_waiting.begin(), m_waiting.end(), [&](const Wait& w) { return w.meter == meter; });
}

void CMeterTick::Arm()
{
    if (m_waiting.empty()) {
        m_timer.stop();
        return;
    }
    const qint64 earliest =
        std::min_element(m_waiting.begin(), m_waiting.end(), [](const Wait& a, const Wait& b) { return a.due < b.due; })
            ->due;
    if (m_timer.isActive() && earliest >= m_armedFor && earliest <= m_armedFor + kPushSlackMs)
        return;
    m_armedFor = earliest;
    m_timer.start(int(std::max<qint64>(earliest - Now(), 0)), Qt::PreciseTimer, this);
}

void CMeterTick::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    m_timer.stop();
    const qint64 now = Now();
    std::vector<CLevelMeter*> due;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (it->due <= now + kJoinMs) {
            due.push_back(it->meter);
            it = m_waiting.erase(it);
        } else {
            ++it;
        }
    }
    // A meter asks again from its tick when it still needs the clock.
    for (CLevelMeter* meter : due)
        meter->OnTick();
    Arm();
}
