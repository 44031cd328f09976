#pragma once
// A parent widget that records the window messages posted to it.
#include "ui/WindowMessage.h"

#include <QCoreApplication>
#include <QList>
#include <QWidget>

struct LoggedMessage {
    unsigned code;
    quintptr wParam;
    qintptr lParam;
};

class CMessageLog : public QWidget {
public:
    QList<LoggedMessage> messages;

    // Delivers what is queued and returns everything received so far.
    const QList<LoggedMessage>& Drain()
    {
        QCoreApplication::sendPostedEvents(this);
        return messages;
    }
    int Count(unsigned code)
    {
        Drain();
        int n = 0;
        for (const LoggedMessage& m : messages)
            n += m.code == code;
        return n;
    }

protected:
    void customEvent(QEvent* event) override
    {
        if (const CWindowMessage* m = CWindowMessage::From(event))
            messages.append({m->Code(), m->WParam(), m->LParam()});
    }
};
