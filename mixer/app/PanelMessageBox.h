#pragma once
// The mixer panel's message boxes over the message-box service: the boxes of
// the main window and the containers (shown at once, on the window thread)
// and those the device layer hands over from its threads (queued to the
// window thread, then shown).
#include <QPointer>
#include <QString>
#include <QWidget>

#include <string>

#include "device/MessageBox.h"
#include "mixer/app/MixerMessageBox.h"

class CPanelMessageBox final : public qel::mixer::IMixerMessageBox, public qel::IMessageBox {
public:
    // `caption` is used for the device layer's boxes, which bring none.
    CPanelMessageBox(QWidget* parent, QString caption);

    // Window thread only.
    void ShowMessage(const std::string& text, const std::string& caption, Icon icon) override;
    // Any thread; dropped once the parent window is gone.
    void postMessageBox(const std::string& text, qel::MessageBoxIcon icon) override;

private:
    QPointer<QWidget> m_parent;
    QString m_caption;
};
