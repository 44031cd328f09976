#include "controlpanel/app/MessageTargetPort.h"

#include "ui/WindowMessage.h"

void CMessageTargetPort::post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    CWindowMessage::Post(m_target, message, quintptr(wParam), qintptr(lParam));
}
