// The main window against the simulated rig: start-up with and without a
// configuration file and devices, the tabs and the window's size, the About
// item and box, devices plugged in while running, and the message boxes.
#include "mixer/app/tests/panel/MainWindowRig.h"

#include <QDir>
#include <QFile>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "device/QelContext.h"
#include "mixer/app/AboutDlg.h"
#include "mixer/app/DeviceList.h"
#include "mixer/app/KavroMixerPanelApp.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/app/PanelMessageBox.h"
#include "os/sim/SimOs.h"
#include "sim/Rig.h"
#include "sim/UsbDevice.h"
#include "ui/ControlId.h"
#include "ui/MessageBoxRecorder.h"
#include "os/tests/ForwardingOs.h"

namespace {

constexpr std::uint32_t k610 = 1;
constexpr std::uint32_t k1814 = 2;
constexpr std::uint32_t kU410 = 16;
using qel::mixer::test::kProgram;
using qel::mixer::test::ShippedConfig;

// The shipped configuration with one piece of text replaced.
std::string ShippedConfigWith(const std::string& from, const std::string& to)
{
    std::string text = ShippedConfig();
    const std::size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

// The default rig, the platform over it and a device-layer context. The
// window on it says it runs on the simulated rig; with kAsOnTheDriver it
// shows the texts it has on the interfaces' drivers.
constexpr bool kAsOnTheDriver = false;
struct Platform {
    explicit Platform(bool simulated = true)
        : rig(qel::sim::Rig::makeDefault()), sim(*rig), os(sim, simulated), context(os) {}
    std::unique_ptr<qel::sim::Rig> rig;
    qel::os::SimOs sim;
    qel::os::ForwardingOs os;
    qel::QelContext context;
};

QString OnTheRig(const QString& title)
{
    return title + QLatin1String(qel::os::kSimulatedRigNotice);
}

// The About box a command opened, read and closed from inside its loop.
struct AboutSeen {
    bool opened = false;
    QString title;
    QString driverVersion;
    QString panelVersion;
    QStringList texts;
    QStringList visibleTexts;
};

void ReadAboutWhenOpen(QObject* context, AboutSeen& seen)
{
    QTimer::singleShot(0, context, [&seen] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (!about)
            return;
        seen.opened = true;
        seen.title = about->windowTitle();
        seen.driverVersion = FindControl<QLabel>(about, CAboutDlg::IDC_DRIVER_VERSION)->text();
        seen.panelVersion = FindControl<QLabel>(about, CAboutDlg::IDC_PANEL_VERSION)->text();
        for (QLabel* l : about->findChildren<QLabel*>()) {
            seen.texts << l->text();
            if (l->isVisible())
                seen.visibleTexts << l->text();
        }
        about->accept();
    });
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<qel::mixer::test::ConfigFolder> m_folder;

    void WriteConfig(const std::string& text, const QString& name = qel::mixer::test::kConfigName)
    {
        QVERIFY(m_folder->Write(text, name));
    }

private slots:
    void init()
    {
        // Every case runs in an empty folder of its own as current directory.
        m_folder = std::make_unique<qel::mixer::test::ConfigFolder>();
        QVERIFY(m_folder->Valid());
    }

    void cleanup() { m_folder.reset(); }

    void configFileIsNamedAfterTheProgram()
    {
        QCOMPARE(CKavroMixerPanelDlg::ConfigFileName(QStringLiteral("/opt/kavro/KavroMixerPanel")),
                 QStringLiteral("KavroMixerPanelConfig.xml"));
        QCOMPARE(CKavroMixerPanelDlg::ConfigFileName(QStringLiteral("KavroMixerPanel.exe")),
                 QStringLiteral("KavroMixerPanelConfig.xml"));
        // Only the last extension goes.
        QCOMPARE(CKavroMixerPanelDlg::ConfigFileName(QStringLiteral("bin/Studio.Panel.exe")),
                 QStringLiteral("Studio.PanelConfig.xml"));
        // Without a program named, the running one's name counts.
        Platform p;
        CKavroMixerPanelDlg dlg(p.context);
        QCOMPARE(dlg.ConfigFile(), QStringLiteral("qel_panel_MainWindowTestConfig.xml"));
    }

    void withoutConfigurationFileTheWindowStaysEmpty()
    {
        // A file of another program's name does not count.
        WriteConfig(ShippedConfig(), QStringLiteral("OtherConfig.xml"));
        Platform p(kAsOnTheDriver);
        p.rig->takeTrace();
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);

        QVERIFY(dlg.OnInitDialog());
        QCOMPARE(boxes.Entries().size(), 1);
        QCOMPARE(boxes.Entries()[0].text, QStringLiteral("Mixer Panel Configuration File not found!"));
        QCOMPARE(boxes.Entries()[0].caption, QStringLiteral("KavroMixerPanel"));
        QCOMPARE(boxes.Entries()[0].icon, CMessageBoxService::Icon::None);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Kavro USB & 1394  MixerPanel"));
        QCOMPARE(dlg.TabCtrl()->count(), 0);
        QVERIFY(dlg.Containers().isEmpty());
        QVERIFY(dlg.DeviceList() == nullptr);
        QVERIFY(!dlg.ArrivalPollActive());
        QVERIFY(dlg.AboutItemText().isEmpty());
        // No request reached the drivers: no device was opened.
        QVERIFY(p.rig->takeTrace().empty());
    }

    void withoutDevicesTheProgramEnds()
    {
        WriteConfig(ShippedConfig());
        Platform p;
        QVERIFY(p.rig->unplug(k610));
        QVERIFY(p.rig->unplug(k1814));
        QVERIFY(p.rig->usbRemove(kU410));
        CMessageBoxRecorder boxes;

        CKavroMixerPanelApp app(p.os, kProgram);
        // The modal loop must not run: a window left open would be closed
        // with 42 from inside it.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] {
            if (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                w->done(42);
        });
        guard.start(0);
        QVERIFY(!app.InitInstance());
        QCOMPARE(app.ModalResult(), 0);
        QCOMPARE(boxes.Entries().size(), 1);
        QCOMPARE(boxes.Entries()[0].text, QStringLiteral("No device connected!"));
        QCOMPARE(boxes.Entries()[0].caption, QStringLiteral("KavroMixerPanel"));
    }

    void undescribedDevicesAreReportedAndOnlyAPanelWithoutMixersEnds()
    {
        WriteConfig(ShippedConfig());
        {
            // The USB device is taken in whatever its model; without a
            // description it gets no mixer, and with no other device the
            // program ends.
            Platform p;
            QVERIFY(p.rig->unplug(k610));
            QVERIFY(p.rig->unplug(k1814));
            p.rig->withUsbDevice(kU410, [](qel::sim::UsbDeviceModel& m) { m.model = "Kavro U999"; });
            CMessageBoxRecorder boxes;
            CKavroMixerPanelDlg dlg(p.context, kProgram);
            QVERIFY(!dlg.OnInitDialog());
            QCOMPARE(dlg.result(), 0);
            QCOMPARE(boxes.Entries().size(), 1);
            QCOMPARE(boxes.Entries()[0].text,
                     QStringLiteral("XML-configuration for the device Desk U410 not found.\nPlease check XML config file"));
            QCOMPARE(boxes.Entries()[0].caption, QStringLiteral("Warning"));
            QCOMPARE(boxes.Entries()[0].icon, CMessageBoxService::Icon::Warning);
            QCOMPARE(dlg.TabCtrl()->count(), 0);
        }
        {
            // A described device before it keeps its mixer and the window.
            Platform p;
            QVERIFY(p.rig->unplug(k1814));
            p.rig->withUsbDevice(kU410, [](qel::sim::UsbDeviceModel& m) { m.model = "Kavro U999"; });
            CMessageBoxRecorder boxes;
            CKavroMixerPanelDlg dlg(p.context, kProgram);
            QVERIFY(dlg.OnInitDialog());
            QCOMPARE(boxes.Entries().size(), 1);
            QVERIFY(boxes.Entries()[0].text.contains(QStringLiteral("Desk U410")));
            QCOMPARE(dlg.TabCtrl()->count(), 1);
            QCOMPARE(dlg.TabCtrl()->tabText(0), QStringLiteral("Studio 610"));
            QCOMPARE(dlg.Containers().size(), 1);
            QCOMPARE(dlg.windowTitle(), OnTheRig(QStringLiteral("Kavro 610 MixerPanel")));
            QVERIFY(dlg.ArrivalPollActive());
        }
        {
            // A model without a "default" channel configuration: a box
            // captioned "default", and the others get their mixers.
            WriteConfig(ShippedConfigWith("<ChannelConfig Name=\"default\">", "<ChannelConfig Name=\"studio\">"));
            Platform p;
            CMessageBoxRecorder boxes;
            CKavroMixerPanelDlg dlg(p.context, kProgram);
            QVERIFY(dlg.OnInitDialog());
            QCOMPARE(boxes.Entries().size(), 1);
            QCOMPARE(boxes.Entries()[0].text, QStringLiteral("Configuration for Device not found:"));
            QCOMPARE(boxes.Entries()[0].caption, QStringLiteral("default"));
            QCOMPARE(boxes.Entries()[0].icon, CMessageBoxService::Icon::None);
            QCOMPARE(dlg.TabCtrl()->count(), 2);
            QCOMPARE(dlg.TabCtrl()->tabText(0), QStringLiteral("Stage 1814"));
            QCOMPARE(dlg.TabCtrl()->tabText(1), QStringLiteral("Desk U410"));
            QCOMPARE(dlg.Containers().size(), 2);
        }
    }

    // A device name holding control bytes: its tab keeps one line. The code
    // page's letters stay; a line feed, other control bytes and DEL show as
    // the replacement character.
    void aNameWithControlBytesKeepsItsTabOnOneLine()
    {
        WriteConfig(ShippedConfig());
        Platform p;
        p.rig->withFwDevice(k610, [](qel::sim::FwDeviceModel& m) { m.deviceName = "A\nB\x01\x7f" "C\xe9\t"; });
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        const bool built = dlg.OnInitDialog();
        QCOMPARE(boxes.Entries().isEmpty() ? QString() : boxes.Entries()[0].text, QString());
        QVERIFY(built);
        QCOMPARE(dlg.TabCtrl()->tabText(0), QStringLiteral(u"A\uFFFDB\uFFFD\uFFFDC\u00E9\uFFFD"));
    }

    void oneTabLeavesTheMixerAtTheTop()
    {
        WriteConfig(ShippedConfig());
        Platform p;
        QVERIFY(p.rig->unplug(k1814));
        QVERIFY(p.rig->usbRemove(kU410));
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QVERIFY(dlg.OnInitDialog());
        QVERIFY(boxes.Entries().isEmpty());

        QCOMPARE(dlg.TabCtrl()->count(), 1);
        QCOMPARE(ControlId(dlg.TabCtrl()), CKavroMixerPanelDlg::IDC_TAB);
        CMixerCtrlContainer* mixer = dlg.Containers().at(0);
        QVERIFY(mixer->MixerWidth() > 0 && mixer->MixerHeight() > 0);
        QVERIFY(mixer->isVisible());
        QCOMPARE(mixer->geometry(), QRect(0, 0, mixer->MixerWidth(), mixer->MixerHeight()));
        QCOMPARE(dlg.frameGeometry().size(), QSize(mixer->MixerWidth() + 4, mixer->MixerHeight() + 30));
        QCOMPARE(dlg.windowTitle(), OnTheRig(QStringLiteral("Kavro 610 MixerPanel")));
        // Shown by its first mixer, it is already the modal window its loop runs.
        QCOMPARE(QApplication::activeModalWidget(), &dlg);
        QCOMPARE(dlg.TabImage(0), CKavroMixerPanelDlg::kFireWireImage);
        QCOMPARE(mixer->BusKind(), 1);
        QCOMPARE(mixer->ConnectionKind(), 2);
    }

    void twoOrMoreTabsPutTheMixerBelowThem()
    {
        WriteConfig(ShippedConfig());
        Platform p(kAsOnTheDriver);
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QVERIFY(dlg.OnInitDialog());
        QVERIFY(boxes.Entries().isEmpty());

        QTabBar* tabs = dlg.TabCtrl();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Studio 610"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Stage 1814"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("Desk U410"));
        QCOMPARE(dlg.TabImage(0), CKavroMixerPanelDlg::kFireWireImage);
        QCOMPARE(dlg.TabImage(1), CKavroMixerPanelDlg::kFireWireImage);
        QCOMPARE(dlg.TabImage(2), CKavroMixerPanelDlg::kUsbImage);
        QCOMPARE(dlg.MixerCount(), 3);
        QCOMPARE(dlg.Containers().at(2)->BusKind(), 0);
        QCOMPARE(dlg.Containers().at(2)->ConnectionKind(), 1);

        auto checkShown = [&](int index, const QString& title) {
            CMixerCtrlContainer* mixer = dlg.Containers().at(index);
            QCOMPARE(dlg.ShownIndex(), index);
            for (int i = 0; i < dlg.Containers().size(); ++i)
                QCOMPARE(dlg.Containers().at(i)->isVisible(), i == index);
            QCOMPARE(mixer->geometry(), QRect(0, 31, mixer->MixerWidth(), mixer->MixerHeight()));
            QCOMPARE(dlg.frameGeometry().size(), QSize(mixer->MixerWidth() + 4, mixer->MixerHeight() + 61));
            QCOMPARE(dlg.windowTitle(), title);
        };
        checkShown(0, QStringLiteral("Kavro 610 MixerPanel"));
        // The window keeps its place while it changes size.
        dlg.move(40, 50);
        const QPoint topLeft = dlg.pos();
        tabs->setCurrentIndex(2);
        checkShown(2, QStringLiteral("Kavro U410 MixerPanel"));
        tabs->setCurrentIndex(1);
        checkShown(1, QStringLiteral("Kavro 1814 MixerPanel"));
        QCOMPARE(dlg.pos(), topLeft);
        // Indexes outside the mixers change nothing.
        dlg.ShowMixer(3);
        dlg.ShowMixer(-1);
        checkShown(1, QStringLiteral("Kavro 1814 MixerPanel"));
    }

    void connectionKindIsTakenOnlyFromExactTypeTexts()
    {
        std::string text = ShippedConfigWith("Type=\"USB2\"", "Type=\"usb2\"");
        const std::size_t at = text.find("Type=\"1394a\"");
        QVERIFY(at != std::string::npos);
        text.replace(at, 12, "Type=\"combi\"");
        WriteConfig(text);
        Platform p;
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QVERIFY(dlg.OnInitDialog());
        QCOMPARE(dlg.Containers().size(), 3);
        QCOMPARE(dlg.Containers().at(0)->ConnectionKind(), 0);   // "combi"
        QCOMPARE(dlg.Containers().at(1)->ConnectionKind(), 2);   // "1394a"
        QCOMPARE(dlg.Containers().at(2)->ConnectionKind(), -1);  // "usb2"
        QCOMPARE(dlg.Containers().at(2)->BusKind(), 0);
    }

    void onTheSimulatedRigEveryTitleAndTheAboutBoxSayItIsTheRig()
    {
        WriteConfig(ShippedConfig());
        Platform p;  // the simulated rig
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Kavro USB & 1394  MixerPanel (simulated rig)"));
        QVERIFY(dlg.OnInitDialog());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Kavro 610 MixerPanel (simulated rig)"));
        dlg.TabCtrl()->setCurrentIndex(2);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Kavro U410 MixerPanel (simulated rig)"));

        AboutSeen seen;
        ReadAboutWhenOpen(&dlg, seen);
        dlg.OnSysCommand(CKavroMixerPanelDlg::IDM_ABOUTBOX);
        QVERIFY(seen.opened);
        QCOMPARE(seen.title, QStringLiteral("About KavroMixerPanel (simulated rig)"));
        QVERIFY(seen.visibleTexts.contains(QStringLiteral("Running on the simulated rig, not on the hardware.")));
        QVERIFY(seen.visibleTexts.contains(QStringLiteral("Drevik 1394 & USB Mixer Panel")));
    }

    void aboutItemOpensTheAboutBox()
    {
        WriteConfig(ShippedConfig());
        Platform p(kAsOnTheDriver);
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QVERIFY(dlg.OnInitDialog());
        QCOMPARE(dlg.ApplicationName(), QStringLiteral("Kavro Mixer Panel"));
        QCOMPARE(dlg.AboutItemText(), QStringLiteral("About Kavro Mixer Panel ..."));

        AboutSeen seen;
        ReadAboutWhenOpen(&dlg, seen);
        dlg.OnSysCommand(CKavroMixerPanelDlg::IDM_ABOUTBOX);
        QVERIFY(seen.opened);
        QCOMPARE(seen.title, QStringLiteral("About KavroMixerPanel"));
        QCOMPARE(seen.driverVersion, QStringLiteral("5.21.0"));
        QCOMPARE(seen.panelVersion, QStringLiteral("3.2.2"));
        QVERIFY(seen.texts.contains(QStringLiteral("Driver Version:")));
        QVERIFY(seen.texts.contains(QStringLiteral("Mixer Panel Version:")));
        QVERIFY(seen.texts.contains(QStringLiteral("Drevik 1394 & USB Mixer Panel")));
        QVERIFY(!seen.visibleTexts.join(QLatin1Char('|')).contains(QStringLiteral("simulated rig")));

        // The menu item and the other ids of its group open it too.
        for (int id : {17, 31}) {
            AboutSeen again;
            ReadAboutWhenOpen(&dlg, again);
            dlg.OnSysCommand(id);
            QVERIFY2(again.opened, qPrintable(QString::number(id)));
        }
        AboutSeen viaMenu;
        ReadAboutWhenOpen(&dlg, viaMenu);
        dlg.AboutAction()->trigger();
        QVERIFY(viaMenu.opened);
        // Other window commands do not.
        for (int id : {0, 15, 32, 0xF060}) {
            AboutSeen none;
            ReadAboutWhenOpen(&dlg, none);
            dlg.OnSysCommand(id);
            QCoreApplication::processEvents();
            QVERIFY2(!none.opened, qPrintable(QString::number(id)));
        }
        QVERIFY(boxes.Entries().isEmpty());
    }

    void aboutItemIsOfferedInTheContextMenus()
    {
        WriteConfig(ShippedConfig());
        Platform p;
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QVERIFY(dlg.OnInitDialog());
        CMixerCtrlContainer* mixer = dlg.Containers().at(0);
        QWidget* inMixer = mixer->childAt(mixer->width() / 2, mixer->height() / 2);
        QVERIFY(inMixer != nullptr);

        for (QWidget* target : {static_cast<QWidget*>(dlg.TabCtrl()), inMixer, static_cast<QWidget*>(&dlg)}) {
            QStringList items;
            QTimer::singleShot(0, &dlg, [&items] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    for (QAction* a : menu->actions())
                        items << a->text();
                    menu->close();
                }
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(target, &event);
            // The scene items of the shown mixer, a separator, the About item.
            QCOMPARE(items, (QStringList{QStringLiteral("Save scene..."), QStringLiteral("Load scene..."), QString(),
                                         QStringLiteral("About Kavro Mixer Panel ...")}));
        }
    }

    void aboutItemWithoutApplicationName()
    {
        WriteConfig(ShippedConfigWith("<Application Name=\"Kavro Mixer Panel\"/>", ""));
        Platform p;
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QVERIFY(dlg.OnInitDialog());
        QCOMPARE(dlg.AboutItemText(), QStringLiteral("About  ..."));
    }

    void deviceArrivingWhileRunningGetsATab()
    {
        WriteConfig(ShippedConfig());
        Platform p;
        QVERIFY(p.rig->unplug(k1814));
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QVERIFY(dlg.OnInitDialog());
        QCOMPARE(dlg.TabCtrl()->count(), 2);
        QVERIFY(dlg.ArrivalPollActive());

        // Nothing new: nothing changes.
        dlg.PollDeviceArrival();
        QCOMPARE(dlg.TabCtrl()->count(), 2);
        QCOMPARE(dlg.windowTitle(), OnTheRig(QStringLiteral("Kavro 610 MixerPanel")));

        QVERIFY(p.rig->plug(k1814));
        dlg.PollDeviceArrival();
        QCOMPARE(dlg.DeviceList()->size(), std::size_t(3));
        QCOMPARE(dlg.TabCtrl()->count(), 3);
        QCOMPARE(dlg.TabCtrl()->tabText(2), QStringLiteral("Stage 1814"));
        QCOMPARE(dlg.TabImage(2), CKavroMixerPanelDlg::kFireWireImage);
        QCOMPARE(dlg.TabCtrl()->currentIndex(), 2);
        QCOMPARE(dlg.MixerCount(), 3);
        QCOMPARE(dlg.ShownIndex(), 2);
        CMixerCtrlContainer* added = dlg.Containers().at(2);
        QVERIFY(added->isVisible());
        QVERIFY(!dlg.Containers().at(0)->isVisible());
        QCOMPARE(added->geometry(), QRect(0, 31, added->MixerWidth(), added->MixerHeight()));
        QCOMPARE(added->GetDevice(), dlg.DeviceList()->device(2));
        // Its title is not read from the file.
        QCOMPARE(dlg.windowTitle(), OnTheRig(QStringLiteral("Kavro MixerPanel")));
        QCOMPARE(added->ConnectionKind(), 2);

        // Taken in once.
        dlg.PollDeviceArrival();
        QCOMPARE(dlg.TabCtrl()->count(), 3);
        QVERIFY(boxes.Entries().isEmpty());
    }

    void arrivingDeviceTabStaysWithItsMixerWhenAnEarlierDeviceHasNone()
    {
        WriteConfig(ShippedConfig());
        Platform p;
        QVERIFY(p.rig->unplug(k1814));
        p.rig->withUsbDevice(kU410, [](qel::sim::UsbDeviceModel& m) { m.model = "Kavro U999"; });
        CMessageBoxRecorder boxes;
        CKavroMixerPanelDlg dlg(p.context, kProgram);
        QVERIFY(dlg.OnInitDialog());
        QCOMPARE(dlg.TabCtrl()->count(), 1);

        QVERIFY(p.rig->plug(k1814));
        dlg.PollDeviceArrival();
        // Entry 2 of the list, mixer 1: its tab is tab 1.
        QCOMPARE(dlg.DeviceList()->size(), std::size_t(3));
        QCOMPARE(dlg.TabCtrl()->count(), 2);
        QCOMPARE(dlg.TabCtrl()->tabText(1), QStringLiteral("Stage 1814"));
        QCOMPARE(dlg.ShownIndex(), 1);
        QCOMPARE(dlg.Containers().at(1)->GetDevice(), dlg.DeviceList()->device(2));
        dlg.TabCtrl()->setCurrentIndex(0);
        QCOMPARE(dlg.ShownIndex(), 0);
        QCOMPARE(dlg.windowTitle(), OnTheRig(QStringLiteral("Kavro 610 MixerPanel")));
        dlg.TabCtrl()->setCurrentIndex(1);
        QVERIFY(dlg.Containers().at(1)->isVisible());
    }

    void messageBoxesReachTheService()
    {
        CMessageBoxRecorder boxes;
        QWidget window;
        CPanelMessageBox box(&window, QStringLiteral("KavroMixerPanel"));
        box.ShowMessage("careful", "Warning", qel::mixer::IMixerMessageBox::Icon::Exclamation);
        box.ShowMessage("plain", "KavroMixerPanel", qel::mixer::IMixerMessageBox::Icon::None);
        // The device layer's boxes come from its threads and are shown on this one.
        std::thread worker([&box] { box.postMessageBox("ERROR: registerForDriverEvents FAILED", qel::MessageBoxIcon::Information); });
        worker.join();
        QCOMPARE(boxes.Entries().size(), 2);
        QCoreApplication::processEvents();
        QCOMPARE(boxes.Entries().size(), 3);
        QCOMPARE(boxes.Entries()[0].icon, CMessageBoxService::Icon::Warning);
        QCOMPARE(boxes.Entries()[1].icon, CMessageBoxService::Icon::None);
        QCOMPARE(boxes.Entries()[2].text, QStringLiteral("ERROR: registerForDriverEvents FAILED"));
        QCOMPARE(boxes.Entries()[2].caption, QStringLiteral("KavroMixerPanel"));
        QCOMPARE(boxes.Entries()[2].icon, CMessageBoxService::Icon::Information);

        // A box still queued when its window goes is dropped.
        auto* gone = new QWidget;
        CPanelMessageBox late(gone, QStringLiteral("KavroMixerPanel"));
        late.postMessageBox("late", qel::MessageBoxIcon::None);
        delete gone;
        QCoreApplication::processEvents();
        QCOMPARE(boxes.Entries().size(), 3);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
