#include "mixer/app/PanelMessageBox.h"

#include <QMetaObject>

#include "ui/MessageBoxService.h"

CPanelMessageBox::CPanelMessageBox(QWidget* parent, QString caption)
    : m_parent(parent), m_caption(std::move(caption))
{
}

void CPanelMessageBox::ShowMessage(const std::string& text, const std::string& caption, Icon icon)
{
    QelMessageBox(m_parent, QString::fromStdString(text), QString::fromStdString(caption),
                  icon == Icon::Exclamation ? CMessageBoxService::Icon::Warning : CMessageBoxService::Icon::None);
}

void CPanelMessageBox::postMessageBox(const std::string& text, qel::MessageBoxIcon icon)
{
    QWidget* parent = m_parent.data();
    if (parent == nullptr)
        return;
    const QString message = QString::fromStdString(text);
    const CMessageBoxService::Icon shown =
        icon == qel::MessageBoxIcon::Information ? CMessageBoxService::Icon::Information : CMessageBoxService::Icon::None;
    // The parent is the call's context: a window destroyed meanwhile drops it.
    QMetaObject::invokeMethod(
        parent, [parent, message, caption = m_caption, shown] { QelMessageBox(parent, message, caption, shown); },
        Qt::QueuedConnection);
}
