#include <QApplication>

#include <cstdio>

#include "controlpanel/app/QEL_CPLApp.h"
#include "sim/host/PlatformHost.h"

int main(int argc, char** argv)
{
    // The platform options (--rig, --rig=FILE, --driver, $QEL_PLATFORM) go
    // before Qt and the program's own switches see the command line.
    std::string error;
    auto host = qel::sim::CPlatformHost::fromCommandLine(argc, argv, error);
    if (!host) {
        std::fprintf(stderr, "Drevik_ControlPanel: %s\n", error.c_str());
        return 2;
    }
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Drevik_ControlPanel"));
    application.setQuitOnLastWindowClosed(false);  // the program lives on in the tray

    CQEL_CPLApp::Options options;
    options.platform = &host->platform();
    CQEL_CPLApp app(std::move(options));
    if (!app.InitInstance(application.arguments().mid(1)))
        return 0;
    QObject::connect(&app, &CQEL_CPLApp::Exited, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    return application.exec();
}
