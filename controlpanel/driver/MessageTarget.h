#pragma once
// Where the device layer's threads deliver window messages. The user-interface
// layer implements it (posting to its own event loop); post must not block.
#include <cstdint>

namespace qel::cpl {

class IMessageTarget {
public:
    virtual ~IMessageTarget() = default;
    virtual void post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

}  // namespace qel::cpl
