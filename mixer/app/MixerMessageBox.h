#pragma once
// How the Qt-free part of the mixer panel shows a message box: the main
// window implements it over its message-box service, tests record it.
#include <string>

namespace qel::mixer {

class IMixerMessageBox {
public:
    enum class Icon { None, Exclamation };
    virtual ~IMixerMessageBox() = default;
    virtual void ShowMessage(const std::string& text, const std::string& caption, Icon icon) = 0;
};

}  // namespace qel::mixer
