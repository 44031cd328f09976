#pragma once
// A device-interface notification registration through the OS seam that
// delivers arrival and removal broadcasts on the receiver's thread. The
// platform calls back on its own thread; after destruction nothing more is
// delivered.
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "os/Os.h"

class CDeviceNotification {
public:
    using Handler = std::function<void(unsigned eventCode, const QString& name)>;

    // handler runs on receiver's thread; receiver must outlive this object.
    CDeviceNotification(qel::os::IOs& os, const qel::os::Guid& interfaceGuid, QObject* receiver, Handler handler);
    ~CDeviceNotification();
    CDeviceNotification(const CDeviceNotification&) = delete;
    CDeviceNotification& operator=(const CDeviceNotification&) = delete;

    // False when the platform refused the registration.
    bool IsRegistered() const { return m_registration != nullptr; }

private:
    struct Shared;
    qel::os::IOs& m_os;
    std::shared_ptr<Shared> m_shared;
    qel::os::Handle m_registration = nullptr;
};
