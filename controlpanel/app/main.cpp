#include <QApplication>

#include "controlpanel/app/QEL_CPLApp.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Drevik_ControlPanel"));
    application.setQuitOnLastWindowClosed(false);  // the program lives on in the tray

    CQEL_CPLApp app;
    if (!app.InitInstance(application.arguments().mid(1)))
        return 0;
    QObject::connect(&app, &CQEL_CPLApp::Exited, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    return application.exec();
}
