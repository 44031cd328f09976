#pragma once
// The notificator's message target for a Qt object: every post becomes a
// posted CWindowMessage. Safe from any thread.
#include "controlpanel/driver/MessageTarget.h"

class QObject;

class CMessageTargetPort final : public qel::cpl::IMessageTarget {
public:
    explicit CMessageTargetPort(QObject* target) : m_target(target) {}
    void post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;

private:
    QObject* m_target;
};
