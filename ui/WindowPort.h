#pragma once
// The device layer's window (qel::IWindow) for a Qt object, in the mixer and
// the control panel alike: every
// postMessage becomes a posted CWindowMessage. Safe from any thread; after
// Detach (call it before the target goes away) messages are dropped.
#include "device/Window.h"

#include <mutex>

class QObject;

class CWindowPort final : public qel::IWindow {
public:
    // The device layer posts the device-interface arrival and removal as the
    // platform's device-change message (0x0219), below Qt's user range; the
    // target receives it with this code and the same parameters.
    static constexpr unsigned kDeviceChangeMessage = 1000 + 0x0219;  // QEvent::User + 0x0219

    explicit CWindowPort(QObject* target);
    ~CWindowPort() override;
    CWindowPort(const CWindowPort&) = delete;
    CWindowPort& operator=(const CWindowPort&) = delete;

    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::uintptr_t lParam) override;
    void Detach();

private:
    std::mutex m_lock;
    QObject* m_target;
};
