#include "controlpanel/app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "controlpanel/app/ControlPanelIds.h"
#include "ui/ControlId.h"
#include "ui/DialogFont.h"
#include "ui/DialogUnits.h"
#include "ui/PlatformNotice.h"
#include "ui/SkinLoader.h"

namespace {
constexpr const char* kSecondText = "Settings of the Drevik audio driver.";
}

CAboutDlg::CAboutDlg(bool simulated, QWidget* parent) : QDialog(parent)
{
    setFont(DialogFont());
    setWindowTitle(simulated ? QStringLiteral("About Drevik Control Panel") + QLatin1String(qel::os::kSimulatedRigNotice)
                             : QStringLiteral("About Drevik Control Panel"));
    // The rig's line takes three more lines of the text.
    const int extra = simulated ? 24 : 0;
    setFixedSize(DuToPxX(233), DuToPxY(58 + extra));

    auto* icon = new QLabel(this);
    icon->setPixmap(CSkin::Icon(IDR_MAINFRAME).pixmap(32, 32));
    icon->setGeometry(DuRect(11, 10, 21, 20));

    auto* text = new QLabel(Text(simulated), this);
    SetControlId(text, IDC_ABOUT_TEXT);
    text->setGeometry(DuRect(40, 10, 130, 40 + extra));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setWordWrap(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    SetControlId(ok, kIdOk);
    ok->setGeometry(DuRect(176, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QString CAboutDlg::Text(bool simulated)
{
    const QString text = QString::asprintf("%s V%d.%d.%d\n\n%s", kWindowTitle, kVersionMajor, kVersionMinor,
                                           kVersionBuild, kSecondText);
    return simulated ? text + QStringLiteral("\n\n") + QLatin1String(kSimulatedRigAboutText) : text;
}
