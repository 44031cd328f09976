#pragma once
// A posted window message: the event type is the message code itself, with
// its two parameters. Codes lie in Qt's user event range (QEvent::User..MaxUser).
#include <QEvent>
#include <QtGlobal>

class QObject;
class QWidget;

class CWindowMessage : public QEvent {
public:
    CWindowMessage(unsigned code, quintptr wParam, qintptr lParam);

    unsigned Code() const { return static_cast<unsigned>(type()); }
    quintptr WParam() const { return m_wParam; }
    qintptr LParam() const { return m_lParam; }
    quint16 HighWord() const { return static_cast<quint16>(m_wParam >> 16); }
    quint16 LowWord() const { return static_cast<quint16>(m_wParam & 0xFFFF); }

    // True when the code can travel as an event type.
    static bool IsValidCode(unsigned code);
    static quintptr MakeWParam(quint16 high, quint16 low) { return (quintptr(high) << 16) | low; }

    // Queues the message for target; safe from any thread. False for a null
    // target or a code outside the user event range.
    static bool Post(QObject* target, unsigned code, quintptr wParam, qintptr lParam);
    // Queues the message for window's parent widget.
    static bool PostToParent(const QWidget* window, unsigned code, quintptr wParam, qintptr lParam);

    // The message if event is one, else null.
    static const CWindowMessage* From(const QEvent* event);

private:
    quintptr m_wParam;
    qintptr m_lParam;
};
