#include <QApplication>

#include "mixer/app/KavroMixerPanelApp.h"
#include "sim/host/PlatformHost.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // The shared rig process when one runs, else the built-in rig in this process.
    qel::sim::CPlatformHost host;
    CKavroMixerPanelApp app(host.platform());
    app.InitInstance();
    return 0;
}
