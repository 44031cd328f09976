#pragma once
// Message boxes of the device layer. The device layer only hands the text
// over; the user-interface layer shows the box on its own thread (tests
// record it). Callable from any thread, never blocks.
#include <string>

namespace qel {

enum class MessageBoxIcon { None, Information };

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void postMessageBox(const std::string& text, MessageBoxIcon icon) = 0;
};

}  // namespace qel
