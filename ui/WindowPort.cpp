#include "ui/WindowPort.h"

#include "device/EventMessages.h"
#include "ui/WindowMessage.h"

static_assert(CWindowPort::kDeviceChangeMessage == QEvent::User + qel::QEL_MSG_DEVICE_CHANGE);

CWindowPort::CWindowPort(QObject* target) : m_target(target) {}

CWindowPort::~CWindowPort()
{
    Detach();
}

void CWindowPort::postMessage(std::uint32_t message, std::uintptr_t wParam, std::uintptr_t lParam)
{
    // Held while posting so Detach cannot return while a post to the target is under way.
    std::lock_guard<std::mutex> guard(m_lock);
    if (message == qel::QEL_MSG_DEVICE_CHANGE)
        message = kDeviceChangeMessage;
    if (m_target)
        CWindowMessage::Post(m_target, message, quintptr(wParam), qintptr(lParam));
}

void CWindowPort::Detach()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_target = nullptr;
}
