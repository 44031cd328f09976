#include "controlpanel/app/SubDlgNameEdit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controlpanel/app/ControlPanelIds.h"
#include "ui/ControlId.h"
#include "ui/DialogFont.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBoxService.h"

CSubDlgNameEdit::CSubDlgNameEdit(const QString& title, const QString& label, int editId, const QString& name,
                                 ToCodePage toCodePage, QWidget* parent)
    : QDialog(parent), m_toCodePage(std::move(toCodePage))
{
    setFont(DialogFont());
    setWindowTitle(title);
    setFixedSize(DuToPxX(152), DuToPxY(61));
    (new QLabel(label, this))->setGeometry(DuRect(7, 7, 138, 8));
    m_edit = new QLineEdit(name, this);
    SetControlId(m_edit, editId);
    m_edit->setGeometry(DuRect(7, 18, 138, 12));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    SetControlId(ok, kIdOk);
    ok->setGeometry(DuRect(41, 40, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    SetControlId(cancel, 2);
    cancel->setGeometry(DuRect(95, 40, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSubDlgNameEdit::accept()
{
    const std::optional<std::string> name = m_toCodePage(m_edit->text());
    if (!name) {
        // Cutting such a name into code-page bytes would store something else.
        QelMessageBox(this, QStringLiteral("The name contains characters that cannot be stored by the driver."),
                      QString::fromLatin1(kAppTitle), CMessageBoxService::Icon::Warning);
        m_edit->setFocus();
        return;
    }
    Store(*name);
    QDialog::accept();
}
