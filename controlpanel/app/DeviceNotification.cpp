#include "controlpanel/app/DeviceNotification.h"

#include <mutex>

struct CDeviceNotification::Shared {
    std::mutex lock;
    QObject* receiver = nullptr;
    Handler handler;
};

CDeviceNotification::CDeviceNotification(qel::os::IOs& os, const qel::os::Guid& interfaceGuid, QObject* receiver,
                                         Handler handler)
    : m_os(os), m_shared(std::make_shared<Shared>())
{
    m_shared->receiver = receiver;
    m_shared->handler = std::move(handler);
    // The callback keeps the shared part alive: it may still run after unregistering.
    m_registration = m_os.registerDeviceNotification(
        interfaceGuid, [shared = m_shared](std::uint32_t code, const std::string& path) {
            std::lock_guard<std::mutex> guard(shared->lock);
            if (!shared->receiver)
                return;
            const QString name = QString::fromStdString(path);
            QMetaObject::invokeMethod(
                shared->receiver, [handler = shared->handler, code, name] { handler(code, name); },
                Qt::QueuedConnection);
        });
}

CDeviceNotification::~CDeviceNotification()
{
    if (m_registration)
        m_os.unregisterDeviceNotification(m_registration);
    std::lock_guard<std::mutex> guard(m_shared->lock);
    m_shared->receiver = nullptr;
}
