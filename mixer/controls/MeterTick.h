#pragma once
// One timer for all level meters of the window thread. A meter that needs the
// clock (a bar falling after its readings stopped, a peak mark left without
// readings) asks for a tick after a delay; the ticker runs one timer for the
// earliest request and calls each meter that is due, so meters asking at the
// same moment are served in one wake-up and one repaint. Meters fed by
// readings move with them and ask for nothing.
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

#include <vector>

class CLevelMeter;

class CMeterTick : public QObject {
public:
    // Requests due within this of the earliest are served with it.
    static constexpr qint64 kJoinMs = 3;

    static CMeterTick& Instance();
    // The tick when one was made (and its application still runs), else null.
    static CMeterTick* IfAny();

    // `meter` gets OnTick after `delayMs` (replacing an earlier request of it).
    void Request(CLevelMeter* meter, int delayMs);
    void Cancel(CLevelMeter* meter);
    bool Requested(const CLevelMeter* meter) const;
    // Meters waiting for a tick; whether the timer runs.
    std::size_t Waiting() const { return m_waiting.size(); }
    bool Running() const { return m_timer.isActive(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    CMeterTick();
    struct Wait {
        CLevelMeter* meter;
        qint64 due;
    };
    qint64 Now() const { return m_clock.elapsed(); }
    // Starts the timer for the earliest request when it is earlier than the
    // one armed, or later by more than a tick's worth (a fed meter pushed
    // its request on); stops it when nothing waits.
    void Arm();

    QElapsedTimer m_clock;
    QBasicTimer m_timer;
    qint64 m_armedFor = 0;
    std::vector<Wait> m_waiting;
};
