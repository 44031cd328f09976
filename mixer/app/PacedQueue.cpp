#include "mixer/app/PacedQueue.h"

#include <QTimerEvent>

void CPacedQueue::Enqueue(int pauseMs, std::function<void()> step)
{
    m_steps.push_back({pauseMs < 0 ? 0 : pauseMs, std::move(step)});
    if (!m_running && !m_timer.isActive())
        Arm();
}

void CPacedQueue::Clear()
{
    m_steps.clear();
    m_timer.stop();
}

void CPacedQueue::Flush()
{
    m_timer.stop();
    while (!m_steps.empty()) {
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        m_running = true;
        step.run();
        m_running = false;
    }
}

void CPacedQueue::Arm()
{
    if (!m_steps.empty())
        m_timer.start(m_steps.front().pauseMs, Qt::PreciseTimer, this);
}

void CPacedQueue::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    m_timer.stop();
    if (m_steps.empty())
        return;
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    // A step may queue more steps; the next pause starts after it ran.
    m_running = true;
    step.run();
    m_running = false;
    Arm();
}
