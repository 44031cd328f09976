#pragma once
// Device requests that must reach the device spaced out in time (the output
// refresh reads one element every 50 ms, the solo logic mutes one side every
// 10 ms) without blocking the window thread: each step runs from the event
// loop after its pause, in the order queued.
#include <QBasicTimer>
#include <QObject>

#include <deque>
#include <functional>

class CPacedQueue : public QObject {
public:
    explicit CPacedQueue(QObject* parent = nullptr) : QObject(parent) {}

    // Runs step pauseMs after the previous step ran (or after now, when idle).
    void Enqueue(int pauseMs, std::function<void()> step);
    // Drops every step not yet run.
    void Clear();
    bool Idle() const { return m_steps.empty(); }
    std::size_t Pending() const { return m_steps.size(); }
    // Runs every pending step now, in order, ignoring the pauses (tests, shutdown).
    void Flush();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Step {
        int pauseMs;
        std::function<void()> run;
    };
    void Arm();

    std::deque<Step> m_steps;
    QBasicTimer m_timer;
    bool m_running = false;
};
