#pragma once
// A window that receives posted messages: the mixer's event handlers and the
// control panel's notificator post through it. The device layer only posts;
// the user-interface layer implements it (ui/WindowPort for both programs)
// and tests record the messages.
#include <cstdint>

namespace qel {

class IWindow {
public:
    virtual ~IWindow() = default;
    // Must not block: it is called from the device layer's threads too.
    virtual void postMessage(std::uint32_t message, std::uintptr_t wParam, std::uintptr_t lParam) = 0;
};

}  // namespace qel
