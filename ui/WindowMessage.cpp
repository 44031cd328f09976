#include "ui/WindowMessage.h"

#include <QCoreApplication>
#include <QWidget>

CWindowMessage::CWindowMessage(unsigned code, quintptr wParam, qintptr lParam)
    : QEvent(static_cast<QEvent::Type>(code)), m_wParam(wParam), m_lParam(lParam)
{
}

bool CWindowMessage::IsValidCode(unsigned code)
{
    return code >= QEvent::User && code <= QEvent::MaxUser;
}

bool CWindowMessage::Post(QObject* target, unsigned code, quintptr wParam, qintptr lParam)
{
    if (!target || !IsValidCode(code))
        return false;
    QCoreApplication::postEvent(target, new CWindowMessage(code, wParam, lParam));
    return true;
}

bool CWindowMessage::PostToParent(const QWidget* window, unsigned code, quintptr wParam, qintptr lParam)
{
    return window && Post(window->parentWidget(), code, wParam, lParam);
}

const CWindowMessage* CWindowMessage::From(const QEvent* event)
{
    // Every event of a message code is created here, so the type range is the test.
    if (!event || !IsValidCode(static_cast<unsigned>(event->type())))
        return nullptr;
    return dynamic_cast<const CWindowMessage*>(event);
}
