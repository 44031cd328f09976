#include "ui/MessageBoxService.h"

#include <QMessageBox>

namespace {

class CQtMessageBoxService final : public CMessageBoxService {
public:
    int Show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
             Buttons buttons) override
    {
        QMessageBox box(parent);
        box.setText(text);
        box.setWindowTitle(caption);
        switch (icon) {
        case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
        case Icon::Error: box.setIcon(QMessageBox::Critical); break;
        case Icon::Question: box.setIcon(QMessageBox::Question); break;
        }
        switch (buttons) {
        case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        }
        switch (box.exec()) {
        case QMessageBox::Cancel: return ResultCancel;
        case QMessageBox::Yes: return ResultYes;
        case QMessageBox::No: return ResultNo;
        default: return ResultOk;
        }
    }
};

CQtMessageBoxService g_qtService;
CMessageBoxService* g_current = &g_qtService;

} // namespace

CMessageBoxService& CMessageBoxService::Current()
{
    return *g_current;
}

CMessageBoxService* CMessageBoxService::Install(CMessageBoxService* service)
{
    CMessageBoxService* previous = g_current;
    g_current = service ? service : &g_qtService;
    return previous;
}

int QelMessageBox(QWidget* parent, const QString& text, const QString& caption,
                  CMessageBoxService::Icon icon, CMessageBoxService::Buttons buttons)
{
    return CMessageBoxService::Current().Show(parent, text, caption, icon, buttons);
}
