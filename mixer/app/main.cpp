#include <QApplication>

#include <cstdio>

#include "mixer/app/KavroMixerPanelApp.h"
#include "sim/host/PlatformHost.h"

int main(int argc, char** argv)
{
    // The platform options (--rig, --rig=FILE, --driver, $QEL_PLATFORM) go
    // before Qt sees the command line.
    std::string error;
    auto host = qel::sim::CPlatformHost::fromCommandLine(argc, argv, error);
    if (!host) {
        std::fprintf(stderr, "KavroMixerPanel: %s\n", error.c_str());
        return 2;
    }
    QApplication application(argc, argv);
    CKavroMixerPanelApp app(host->platform());
    app.InitInstance();
    return 0;
}
