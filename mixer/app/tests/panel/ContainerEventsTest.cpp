// The mixer container's message and timer handling end to end against the
// simulated rig: what element messages send to the device, how driver events,
// device messages and AV/C notifications show, the input strips' mute and solo
// logic, the meters, and a device that goes away and comes back.
#include <QCoreApplication>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/Device.h"
#include "device/UsbDriver.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/app/tests/panel/PanelRig.h"
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/BitmapStatusDisplay.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MeterLayer.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/MixerPanelTop.h"
#include "sim/FwFirmware.h"
#include "sim/Requests.h"
#include "sim/UsbDevice.h"
#include "ui/WindowMessage.h"
#include "ui/WindowPort.h"

using qel::mixer::test::PanelRig;

namespace {

constexpr std::uint32_t kFw1814 = 2;
constexpr std::uint32_t kUsbU410 = 0x10;
// Blocks of the 1814's default layout: inputs 1..5, main out 6, phones 7, crossfader 8.
constexpr std::uint8_t k1814Master = 6;
constexpr std::uint8_t k1814CrossFader = 8;
// Units of the U410: inputs 1 and 2, main out 3.
constexpr std::uint8_t kU410Master = 3;

void Send(CMixerCtrlContainer* c, unsigned code, quintptr wParam, qintptr lParam)
{
    CWindowMessage message(code, wParam, lParam);
    QCoreApplication::sendEvent(c, &message);
}

quintptr Words(quint16 high, quint16 low) { return CWindowMessage::MakeWParam(high, low); }

// The top panel's text without the alignment padding (trailing blanks kept).
QString Shown(CMixerCtrlContainer* c)
{
    const QString text = c->TopPanel()->Display()->Text();
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    return text.mid(i);
}

// The title slides along the top panel for a while after the build and
// would move a status text with it.
bool TitleSettled(CMixerCtrlContainer* c) { return !c->TopPanel()->Display()->IsScrolling(); }

bool Lit(const CBitmapPushButton* button) { return button->GetCheck() & CBitmapPushButton::StateChecked; }

void Click(QWidget* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    // The strip posts its message to the container.
    QCoreApplication::sendPostedEvents();
}

qel::sim::FwFirmware::Channel FwChannel(PanelRig& r, std::uint8_t block, std::uint8_t ch)
{
    qel::sim::FwFirmware::Channel out;
    r.rig->withFwDevice(kFw1814, [&](qel::sim::FwDeviceModel& m) {
        if (const auto* c = qel::sim::FwFirmware::of(m)->channel(block, ch))
            out = *c;
    });
    return out;
}

void WithFirmware(PanelRig& r, const std::function<void(qel::sim::FwFirmware&)>& fn)
{
    r.rig->withFwDevice(kFw1814, [&](qel::sim::FwDeviceModel& m) { fn(*qel::sim::FwFirmware::of(m)); });
}

qel::sim::UsbFeatureUnit UsbUnit(PanelRig& r, std::uint8_t unit)
{
    qel::sim::UsbFeatureUnit out;
    r.rig->withUsbDevice(kUsbU410, [&](qel::sim::UsbDeviceModel& m) { out = m.units[unit]; });
    return out;
}

// The muted sides of the 1814's five input strips, side s = block (s / 2 + 1), channel 1 or 2.
std::vector<bool> MutedSides(PanelRig& r)
{
    std::vector<bool> muted;
    for (std::uint8_t s = 0; s < 10; ++s)
        muted.push_back(FwChannel(r, static_cast<std::uint8_t>(s / 2 + 1), static_cast<std::uint8_t>(s % 2 + 1)).mute);
    return muted;
}

// Counts the paints of one widget.
class PaintCounter : public QObject {
public:
    PaintCounter(QWidget* widget, int* paints) : m_paints(paints) { widget->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++*m_paints;
        return QObject::eventFilter(watched, event);
    }

private:
    int* m_paints;
};

int CountLines(const std::vector<std::string>& trace, const std::string& part)
{
    int n = 0;
    for (const std::string& line : trace)
        if (line.find(part) != std::string::npos)
            ++n;
    return n;
}

}  // namespace

class ContainerEventsTest : public QObject {
    Q_OBJECT

private slots:
    void balanceValueFollowsTheCurveAndTheBus()
    {
        const double atZero = 2.0 / 4.51;
        QVERIFY(std::abs(CMixerCtrlContainer::BalanceValue(0, CMixerCtrlContainer::kBusUsb) - 0.4435) < 5e-5);
        QCOMPARE(CMixerCtrlContainer::BalanceValue(0, CMixerCtrlContainer::kBusFireWire), -atZero);
        const double full = (std::exp(6.35) + 1) / 4.51;
        QCOMPARE(CMixerCtrlContainer::BalanceValue(127, CMixerCtrlContainer::kBusUsb), -full);
        QCOMPARE(CMixerCtrlContainer::BalanceValue(127, CMixerCtrlContainer::kBusFireWire), full);
        QCOMPARE(CMixerCtrlContainer::BalanceValue(-127, CMixerCtrlContainer::kBusUsb), full);
        // Positions beyond the slider's range end at its ends.
        QCOMPARE(CMixerCtrlContainer::BalanceValue(100000, CMixerCtrlContainer::kBusUsb), -full);
    }

    void balanceReachesTheFireWireDevice()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        // The device keeps the balance in 1/256.
        Send(c, UM_BALANCE, Words(k1814Master, 0), 0);
        QVERIFY(std::abs(FwChannel(r, k1814Master, 0).balance / 256.0 - (-0.4435)) < 1.0 / 256);
        Send(c, UM_BALANCE, Words(k1814Master, 0), 127);
        QVERIFY(std::abs(FwChannel(r, k1814Master, 0).balance / 256.0 - (std::exp(6.35) + 1) / 4.51) < 1.0 / 256);
    }

    void balanceReachesTheUsbDevice()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::kU410);
        QVERIFY(c);
        c->Pacer().Flush();
        // The device pans with the two channel volumes below the master's
        // -0.99 dB, in whole dB toward zero: a value of 0.4435 lowers the
        // left side to -1.2 dB (sent as -1), its negative the right side.
        r.rig->withUsbDevice(kUsbU410, [](qel::sim::UsbDeviceModel& m) { m.units[kU410Master].volume = {-253, 0, 0}; });
        Send(c, UM_BALANCE, Words(kU410Master, 0), 0);
        QCOMPARE(UsbUnit(r, kU410Master).volume[1], std::int16_t(-256));
        QCOMPARE(UsbUnit(r, kU410Master).volume[2], std::int16_t(0));
        // 127 sends -(e^6.35 + 1) / 4.51 = -127.3: the right side goes to the bottom.
        r.rig->withUsbDevice(kUsbU410, [](qel::sim::UsbDeviceModel& m) { m.units[kU410Master].volume = {0, 0, 0}; });
        Send(c, UM_BALANCE, Words(kU410Master, 0), 127);
        QCOMPARE(UsbUnit(r, kU410Master).volume[1], std::int16_t(0));
        QCOMPARE(UsbUnit(r, kU410Master).volume[2], std::int16_t(-63 * 256));
    }

    void elementMessagesReachTheDevice()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        Send(c, UM_VOLUME, Words(2, 1), -20);
        QCOMPARE(FwChannel(r, 2, 1).volume, std::int16_t(-20 * 256));
        QCOMPARE(FwChannel(r, 2, 2).volume, std::int16_t(0));
        Send(c, UM_CROSSFADE, Words(k1814CrossFader, 0), 40);
        QCOMPARE(FwChannel(r, k1814CrossFader, 0).volume, std::int16_t(40 * 256));
        // An output strip's mute: -1 (dark before the click) mutes, 0 unmutes.
        Send(c, UM_MUTE, Words(k1814Master, 0), -1);
        QVERIFY(FwChannel(r, k1814Master, 0).mute);
        Send(c, UM_MUTE, Words(k1814Master, 0), 0);
        QVERIFY(!FwChannel(r, k1814Master, 0).mute);
        // The pan of an input side goes to the device negated.
        Send(c, UM_PAN, Words(3, 2), 50);
        QCOMPARE(FwChannel(r, 3, 2).balance, std::int16_t(-50 * 256));
        // Digital mode: the device takes it.
        Send(c, UM_DIGITAL_MODE, 0, 2);
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { QCOMPARE(fw.deviceMode(), std::uint8_t(2)); });
        // Sample rate: the driver's rate changes and the section shows it.
        Send(c, UM_SAMPLE_RATE, 0, 44100);
        QCOMPARE(r.rig->sampleRates().current, 44100u);
        QCOMPARE(c->ControlSection()->CurrentRate(), 44100u);
    }

    void inputMuteTogglesAndARefusalTurnsItDark()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        CChannelStripStereoIn* strip = c->InputStrips().at(1);
        Click(strip->MuteRight());
        QVERIFY(Lit(strip->MuteRight()));
        QVERIFY(FwChannel(r, 2, 2).mute);
        QVERIFY(c->ChannelStates().at(3).mute);
        Click(strip->MuteRight());
        QVERIFY(!Lit(strip->MuteRight()));
        QVERIFY(!FwChannel(r, 2, 2).mute);
        QVERIFY(!c->ChannelStates().at(3).mute);

        r.rig->failNext(qel::sim::req::kAvcTransaction, 1, 0xC0000001);
        Click(strip->MuteLeft());
        QVERIFY(!Lit(strip->MuteLeft()));
        QVERIFY(!FwChannel(r, 2, 1).mute);
        QVERIFY(!c->ChannelStates().at(2).mute);
        // Out-of-range sides are ignored.
        Send(c, UM_MUTE, 0, 10);
        Send(c, UM_SOLO, 0, -1);
        QVERIFY(!FwChannel(r, 2, 1).mute);
    }

    void inputMuteAfterAMasterStripReachesItsOwnSide()
    {
        // The master strip takes meter indexes 0 and 1, so the input strip
        // posts 2 and 3 while its records sit at 0 and 1.
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(PanelRig::k1814,
            "<ChannelConfig>"
            "<ChannelStrip AVC_FFB_ID='6'><Dir>Master</Dir><Caption>Main</Caption><Type>ANALOG</Type></ChannelStrip>"
            "<ChannelStrip AVC_FFB_ID='2'><Dir>Input</Dir><Caption>In</Caption><Type>ANALOG</Type></ChannelStrip>"
            "</ChannelConfig>");
        QVERIFY(c);
        c->Pacer().Flush();
        CChannelStripStereoIn* strip = c->InputStrips().at(1);
        QCOMPARE(strip->LeftMeterIndex(), 2);
        Click(strip->MuteLeft());
        QVERIFY(Lit(strip->MuteLeft()));
        QVERIFY(FwChannel(r, 2, 1).mute);
        QVERIFY(!FwChannel(r, 2, 2).mute);
        QVERIFY(c->ChannelStates().at(0).mute);

        Click(strip->SoloRight());
        c->Pacer().Flush();
        QVERIFY(Lit(strip->SoloRight()));
        QVERIFY(c->ChannelStates().at(1).solo);
        // The master's own meter indexes address no input side.
        Send(c, UM_SOLO, 0, 0);
        QVERIFY(c->ChannelStates().at(1).solo);
    }

    void soloMutesTheOtherSidesWithoutHoldingTheWindow()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        r.rig->takeTrace();
        CChannelStripStereoIn* first = c->InputStrips().at(0);
        CChannelStripStereoIn* third = c->InputStrips().at(2);
        // Side 5 is muted already: it keeps its own state.
        Click(third->MuteRight());
        QVERIFY(FwChannel(r, 3, 2).mute);

        Click(first->SoloLeft());
        // The soloed side goes to the device at once, the eight others wait
        // their turn, 10 ms apart, in the event loop.
        QCOMPARE(c->Pacer().Pending(), std::size_t(8));
        QVERIFY(Lit(first->SoloLeft()));
        QVERIFY(!Lit(first->MuteLeft()));
        QVERIFY(Lit(first->MuteRight()));
        QVERIFY(Lit(c->InputStrips().at(4)->MuteRight()));
        c->Pacer().Flush();
        std::vector<bool> expected(10, true);
        expected[0] = false;
        QCOMPARE(MutedSides(r), expected);

        // A second solo while one is on: only that side changes.
        Click(third->SoloLeft());
        QVERIFY(c->Pacer().Idle());
        QVERIFY(Lit(third->SoloLeft()));
        QVERIFY(!Lit(third->MuteLeft()));
        QVERIFY(!FwChannel(r, 3, 1).mute);
        QVERIFY(FwChannel(r, 1, 2).mute);

        // Solo off on the first side while the third is still soloed: it is muted.
        Click(first->SoloLeft());
        c->Pacer().Flush();
        QVERIFY(!Lit(first->SoloLeft()));
        QVERIFY(Lit(first->MuteLeft()));
        QVERIFY(FwChannel(r, 1, 1).mute);

        // The last solo off unmutes every side that was muted by the solo,
        // but not side 5, which the user muted.
        Click(third->SoloLeft());
        c->Pacer().Flush();
        expected.assign(10, false);
        expected[5] = true;
        QCOMPARE(MutedSides(r), expected);
        QVERIFY(CountLines(r.rig->takeTrace(), "QEL_REQ_AVC_TRANSACTION") > 0);
    }

    void muteDuringPendingSoloEndsAsShown()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        CChannelStripStereoIn* second = c->InputStrips().at(1);
        Click(c->InputStrips().at(0)->SoloLeft());
        QCOMPARE(c->Pacer().Pending(), std::size_t(9));
        // M on a side the solo darkened: that side joins the solo, unmuted.
        Click(second->MuteRight());
        QVERIFY(!Lit(second->MuteRight()));
        QVERIFY(Lit(second->SoloRight()));
        c->Pacer().Flush();
        QVERIFY(!FwChannel(r, 2, 2).mute);
        QVERIFY(FwChannel(r, 2, 1).mute);
    }

    // Just after the build the paced output refresh has read nothing yet. A
    // mute clicked then waits behind the reads; the reads of the clicked
    // side must not bring back the state the click replaced. The other
    // sides still show what the device holds.
    void muteClickedBehindAPendingRefreshEndsAsClicked()
    {
        PanelRig r;
        QCOMPARE(r.DeviceAt(PanelRig::k1814)->fireWire()->setMute(2, 1, 1), qel::QEL_OK);
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        QVERIFY(!c->Pacer().Idle());
        CChannelStripStereoIn* second = c->InputStrips().at(1);
        Click(second->MuteRight());
        QVERIFY(Lit(second->MuteRight()));
        c->Pacer().Flush();
        QVERIFY(FwChannel(r, 2, 2).mute);
        QVERIFY(Lit(second->MuteRight()));
        QVERIFY(c->ChannelStates().at(3).mute);
        QVERIFY(Lit(second->MuteLeft()));

        // The other way round: a muted side unmuted before its read ran.
        c->RefreshOutputValues();
        Click(second->MuteRight());
        QVERIFY(!Lit(second->MuteRight()));
        c->Pacer().Flush();
        QVERIFY(!FwChannel(r, 2, 2).mute);
        QVERIFY(!Lit(second->MuteRight()));
        // With nothing of the user's waiting, the next refresh reads it again.
        QCOMPARE(r.DeviceAt(PanelRig::k1814)->fireWire()->setMute(2, 2, 1), qel::QEL_OK);
        c->RefreshOutputValues();
        c->Pacer().Flush();
        QVERIFY(Lit(second->MuteRight()));
    }

    // A solo clicked behind a pending refresh: the sides it mutes stay lit
    // and end muted on the device, the soloed side ends unmuted.
    void soloClickedBehindAPendingRefreshEndsAsShown()
    {
        PanelRig r;
        QCOMPARE(r.DeviceAt(PanelRig::k1814)->fireWire()->setMute(1, 1, 1), qel::QEL_OK);
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        QVERIFY(!c->Pacer().Idle());
        CChannelStripStereoIn* first = c->InputStrips().at(0);
        Click(first->SoloLeft());
        c->Pacer().Flush();
        std::vector<bool> expected(10, true);
        expected[0] = false;
        QCOMPARE(MutedSides(r), expected);
        QVERIFY(Lit(first->SoloLeft()));
        QVERIFY(!Lit(first->MuteLeft()));
        for (int i = 0; i < 5; ++i) {
            CChannelStripStereoIn* strip = c->InputStrips().at(i);
            QVERIFY(Lit(strip->MuteRight()));
            if (i > 0)
                QVERIFY(Lit(strip->MuteLeft()));
        }
    }

    void soloStepsRunByThemselves()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        Click(c->InputStrips().at(4)->SoloRight());
        QVERIFY(!c->Pacer().Idle());
        QTRY_VERIFY(c->Pacer().Idle());
        std::vector<bool> expected(10, true);
        expected[9] = false;
        QCOMPARE(MutedSides(r), expected);
    }

    void driverEventsShowTheirTexts()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        QTRY_VERIFY(TitleSettled(c));
        Send(c, CMixerCtrlContainer::kDriverEventMessage, 120, 0);
        QVERIFY(!c->TopPanel()->MessageShowing());
        Send(c, CMixerCtrlContainer::kDriverEventMessage, 9, 0);
        QVERIFY(c->TopPanel()->MessageShowing());
        QCOMPARE(Shown(c), QStringLiteral("Unknown driver event received ( 9 )"));
        Send(c, CMixerCtrlContainer::kDriverEventMessage, 1, 0);
        QCOMPARE(Shown(c), QStringLiteral("BusReset equitable"));
        // The codes of the device-interface broadcasts are no driver events.
        Send(c, CMixerCtrlContainer::kDriverEventMessage, 0x8004, 0);
        QCOMPARE(Shown(c), QStringLiteral("Unknown driver event received ( 32772 )"));
        // Through the driver: the event thread posts, the window shows it.
        r.rig->queueDriverEvent(3);
        QTRY_COMPARE(Shown(c), QStringLiteral("Domain Configuration Changed"));
        r.rig->queueDriverEvent(2);
        QTRY_COMPARE(Shown(c), QStringLiteral("Domain Streaming Restarted"));
    }

    void deviceMessagesShowTheSyncStatus()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        QTRY_VERIFY(TitleSettled(c));
        c->HandleDeviceMessage(6);
        QCOMPARE(Shown(c), QStringLiteral("Sync Status: System In log "));
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.deviceMessage(7); });
        QTRY_COMPARE(Shown(c), QStringLiteral("Sync Status: System Out of log "));
        // Without the command object the message is unknown.
        Send(c, CMixerCtrlContainer::kDeviceMessageMessage, 0, 0);
        QCOMPARE(Shown(c), QStringLiteral("OnAvcDeviceMessage: Unknown driver event received"));
        c->HandleDeviceMessage(6);
        // A value that is no command of this device is not followed.
        Send(c, CMixerCtrlContainer::kDeviceMessageMessage, 0x10, 0);
        QCOMPARE(Shown(c), QStringLiteral("OnAvcDeviceMessage: Unknown driver event received"));
    }

    void syncErrorsNeedTheInputAsClock()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        CChannelStripStereoIn* coax = c->InputStrips().at(3);
        QCOMPARE(coax->GetConnectionName(), QStringLiteral("COAX_SPDIF"));
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.setDigitalInput(1, true, 4); });
        QTRY_VERIFY(c->CoaxialInput().locked);
        // Not clocked from the coaxial input: its sync errors are not shown.
        c->HandleDeviceMessage(3);
        QVERIFY(!coax->AlertBlinking());
        Send(c, UM_SYNC_SOURCE, 0, 1);
        QVERIFY(r.DeviceAt(PanelRig::k1814)->firstFlag());
        c->HandleDeviceMessage(4);
        QVERIFY(coax->AlertBlinking());
        c->HandleDeviceMessage(1);
        QVERIFY(!coax->AlertBlinking());
        // The optical flag is the device's other one.
        c->HandleDeviceMessage(5);
        QVERIFY(!c->InputStrips().at(4)->AlertBlinking());
    }

    void usbSyncErrorsFollowTheShownInputs()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(
            PanelRig::kU410, "<ChannelConfig><ChannelStrip USB_FU_ID='1'><Dir>Input</Dir><Caption>Coax</Caption>"
                             "<Type>COAX_SPDIF</Type></ChannelStrip></ChannelConfig>");
        QVERIFY(c);
        c->Pacer().Flush();
        CChannelStripStereoIn* coax = c->InputStrips().at(0);
        // The rig's coaxial input is locked at 48 kHz.
        c->OnUsbStateTimer();
        QCOMPARE(c->CoaxialInput(), (CMixerCtrlContainer::InputState{true, 4}));
        r.rig->withUsbDevice(kUsbU410, [](qel::sim::UsbDeviceModel& m) { m.messages.push_back(3); });
        c->OnUsbMessageTimer();
        QVERIFY(coax->AlertBlinking());
        r.rig->withUsbDevice(kUsbU410, [](qel::sim::UsbDeviceModel& m) { m.messages.push_back(1); });
        c->OnUsbMessageTimer();
        QVERIFY(!coax->AlertBlinking());
    }

    void usbDeviceMessagesArePolled()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::kU410);
        QVERIFY(c);
        c->Pacer().Flush();
        r.rig->withUsbDevice(kUsbU410, [](qel::sim::UsbDeviceModel& m) { m.messages.push_back(6); });
        c->OnUsbMessageTimer();
        QCOMPARE(Shown(c), QStringLiteral("Sync Status: System In log "));
        r.rig->withUsbDevice(kUsbU410, [](qel::sim::UsbDeviceModel& m) { m.messages.push_back(9); });
        c->OnUsbMessageTimer();
        QCOMPARE(Shown(c), QStringLiteral("Sync Status: System In log "));
    }

    void featureBlockEventsMoveTheirControls()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        // -0.5 dB is FF 80 in the device's 1/256 steps.
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { QVERIFY(fw.knob(k1814Master, 0, -0.5)); });
        QTRY_COMPARE(c->MainOut()->Readout()->Text().trimmed(), QStringLiteral("-0.5 dB"));
        QCOMPARE(c->MainOut()->Volume()->GetPos(), 0);
        // A knob turn moves the main out fader and nothing else.
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.knob(k1814Master, 0, -20); });
        QTRY_COMPARE(c->MainOut()->Volume()->GetPos(), 20);
        QCOMPARE(c->CrossFader()->Slider()->GetPos(), 0);
        QCOMPARE(c->InputStrips().at(0)->VolumeLeft()->GetPos(), 0);
        // The crossfader follows its block.
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.knob(k1814CrossFader, 0, 40.7); });
        QTRY_COMPARE(c->CrossFader()->Slider()->GetPos(), -40);
        QCOMPARE(c->MainOut()->Volume()->GetPos(), 20);
    }

    // The crossfader set to 40, turned on the device to 10, and set back to
    // 40 by the user: the device takes 40 again (the value the device
    // reported replaced the one last written).
    void aMoveBackAfterAKnobTurnReachesTheDevice()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        Send(c, UM_CROSSFADE, Words(k1814CrossFader, 0), 40);
        QCOMPARE(FwChannel(r, k1814CrossFader, 0).volume, std::int16_t(40 * 256));
        // The write itself ends the block's NOTIFY; the turn comes once the
        // AV/C thread has armed it again.
        QTest::qWait(300);
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.knob(k1814CrossFader, 0, 10); });
        QTRY_COMPARE(c->CrossFader()->Slider()->GetPos(), -10);
        Send(c, UM_CROSSFADE, Words(k1814CrossFader, 0), 40);
        QCOMPARE(FwChannel(r, k1814CrossFader, 0).volume, std::int16_t(40 * 256));
    }

    // A knob turned while the user holds the same fader: the fader stays
    // under the user's hand and the device is given the user's value back;
    // after the release the fader follows the knob again.
    void aKnobTurnDoesNotMoveAHeldFader()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        QTest::qWait(300);  // the AV/C thread arms the block's NOTIFY
        CBitmapSlider* fader = c->MainOut()->Volume();
        auto mouse = [fader](QEvent::Type type, int position) {
            const int along = fader->PosToPixel(position);
            const QPointF at = fader->IsVertical() ? QPointF(fader->width() / 2.0, along) : QPointF(along, fader->height() / 2.0);
            QMouseEvent event(type, at, fader->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(fader, &event);
        };
        mouse(QEvent::MouseButtonPress, fader->GetPos());
        mouse(QEvent::MouseMove, 12);
        // Where the pointer put it (pixels round down to a position).
        const int held = fader->GetPos();
        QVERIFY(held >= 10 && held <= 12);
        QVERIFY(fader->IsDragging());
        QTRY_COMPARE(FwChannel(r, k1814Master, 0).volume, std::int16_t(-held * 256));

        WithFirmware(r, [](qel::sim::FwFirmware& fw) { QVERIFY(fw.knob(k1814Master, 0, -30)); });
        QTest::qWait(200);
        QCOMPARE(fader->GetPos(), held);
        QTRY_COMPARE(FwChannel(r, k1814Master, 0).volume, std::int16_t(-held * 256));

        mouse(QEvent::MouseButtonRelease, held);
        QVERIFY(!fader->IsDragging());
        QCOMPARE(fader->GetPos(), held);
        QTest::qWait(300);  // the write ended the NOTIFY; it is armed again
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { QVERIFY(fw.knob(k1814Master, 0, -20)); });
        QTRY_COMPARE(fader->GetPos(), 20);
        QCOMPARE(FwChannel(r, k1814Master, 0).volume, std::int16_t(-20 * 256));
    }

    // A write the device does not take is read back: the control shows what
    // the device holds.
    void aFailedWriteIsReadBack()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        c->MainOut()->Volume()->PlaceByUser(25);
        QTRY_COMPARE(FwChannel(r, k1814Master, 0).volume, std::int16_t(-25 * 256));
        QTest::qWait(300);  // the NOTIFY the write ended is armed again
        r.rig->failNext(qel::QEL_REQ_AVC_TRANSACTION, 1, 0xE0000001);
        c->MainOut()->Volume()->PlaceByUser(40);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(c->MainOut()->Volume()->GetPos(), 40);
        QTRY_COMPARE(c->MainOut()->Volume()->GetPos(), 25);
        QCOMPARE(FwChannel(r, k1814Master, 0).volume, std::int16_t(-25 * 256));
    }

    // The same on USB, without putting the pans back to their defaults.
    void aFailedUsbWriteIsReadBackAndKeepsThePans()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::kU410);
        QVERIFY(c);
        c->Pacer().Flush();
        CChannelStripStereoIn* first = c->InputStrips().at(0);
        first->PanLeft()->PlaceByUser(30);
        first->VolumeLeft()->PlaceByUser(25);
        QTest::qWait(100);
        const int pan = first->PanLeft()->GetPos();
        const auto devicePans = UsbUnit(r, std::uint8_t(first->BlockId())).balance;
        r.rig->failNext(qel::QEL_USB_REQ_CONTROL_TRANSFER, 1, 0xE0000001);
        first->VolumeLeft()->PlaceByUser(40);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(first->VolumeLeft()->GetPos(), 40);
        QTRY_COMPARE(first->VolumeLeft()->GetPos(), 25);
        QCOMPARE(first->PanLeft()->GetPos(), pan);
        c->Pacer().Flush();
        QCOMPARE(first->PanLeft()->GetPos(), pan);
        QCOMPARE(UsbUnit(r, std::uint8_t(first->BlockId())).balance, devicePans);
    }

    void featureBlockEventsWithoutACommandAreReported()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        Send(c, CMixerCtrlContainer::kFeatureBlockMessage, 0, 0);
        QCOMPARE(Shown(c), QStringLiteral("OnAvcFBEvent: Unknown driver event received "));
        c->HandleDeviceMessage(6);
        Send(c, CMixerCtrlContainer::kFeatureBlockMessage, 0x1234, 0);
        QCOMPARE(Shown(c), QStringLiteral("OnAvcFBEvent: Unknown driver event received "));
        Send(c, CMixerCtrlContainer::kDigitalInputMessage, 0, 0);
        QCOMPARE(Shown(c), QStringLiteral("OnAvcEvent: Unknown driver event received "));
        QCOMPARE(c->MainOut()->Volume()->GetPos(), 0);
    }

    void digitalInputEventsUpdateTheInputState()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.setDigitalInput(1, true, 4); });
        QTRY_COMPARE(c->CoaxialInput(), (CMixerCtrlContainer::InputState{true, 4}));
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.setDigitalInput(2, true, 3); });
        QTRY_COMPARE(c->OpticalInput(), (CMixerCtrlContainer::InputState{true, 3}));
        QCOMPARE(c->CoaxialInput(), (CMixerCtrlContainer::InputState{true, 4}));
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.setDigitalInput(1, false, 15); });
        QTRY_COMPARE(c->CoaxialInput(), (CMixerCtrlContainer::InputState{false, 15}));
    }

    void metersFollowTheDevice()
    {
        PanelRig r;
        WithFirmware(r, [](qel::sim::FwFirmware& fw) {
            fw.memory().setSignal(0, qel::sim::FwMemory::Signal::Constant, 25);
            fw.memory().setSignal(3, qel::sim::FwMemory::Signal::Constant, 100);
        });
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        // A meter falls at most 3 per reading: enough readings to settle.
        for (int i = 0; i < 40; ++i)
            c->OnMeterTimer();
        QVERIFY(c->Levels().size() >= 12);
        // The meters show 100 minus the level in whole units.
        QVERIFY(std::abs(c->Levels()[0] - 25) < 1e-6);
        const int quarter = c->InputStrips().at(0)->MeterLeft()->GetPos();
        QVERIFY(quarter == 74 || quarter == 75);
        QCOMPARE(c->InputStrips().at(0)->MeterRight()->GetPos(), 100);
        QCOMPARE(c->InputStrips().at(1)->MeterRight()->GetPos(), 0);
        QCOMPARE(c->MainOut()->MeterLeft()->GetPos(), 100);
        QVERIFY(c->Connected());
    }

    void metersThatDoNotMoveAreNotPainted()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->show();
        c->Pacer().Flush();
        CLevelMeter* meter = c->InputStrips().at(0)->MeterLeft();
        // The surface's meter layer paints its meters.
        QVERIFY(meter->Layer());
        int paints = 0;
        PaintCounter counter(meter->Layer(), &paints);
        // Silent inputs: the meters settle dark and stay there.
        for (int i = 0; i < 40; ++i)
            c->OnMeterTimer();
        QCoreApplication::processEvents();
        QCOMPARE(meter->GetPos(), 100);
        paints = 0;
        for (int i = 0; i < 5; ++i) {
            c->OnMeterTimer();
            QCoreApplication::processEvents();
        }
        QCOMPARE(paints, 0);
        // A level that moves is painted.
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.memory().setSignal(0, qel::sim::FwMemory::Signal::Constant, 50); });
        c->OnMeterTimer();
        QTRY_VERIFY(paints > 0);
        QCOMPARE(meter->GetPos(), static_cast<int>(100 - c->Levels()[0]));
    }

    void oneFailedLevelReadKeepsTheDevice()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        r.rig->failNext(qel::sim::req::kAsyncReadBlock, 1, 0xC000009D);
        c->OnMeterTimer();
        QVERIFY(c->MeterTimerActive());
        QVERIFY(!c->ReconnectTimerActive());
        c->OnMeterTimer();
        r.rig->failNext(qel::sim::req::kAsyncReadBlock, 1, 0xC000009D);
        c->OnMeterTimer();
        QVERIFY(c->MeterTimerActive());
        QVERIFY(c->Connected());
    }

    void usbLevelFailureReconnects()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::kU410);
        QVERIFY(c);
        c->Pacer().Flush();
        QVERIFY(c->MeterTimerActive());
        QVERIFY(c->UsbStateTimerActive());
        QVERIFY(c->UsbMessageTimerActive());
        // Two level reads in a row fail: the device is taken for gone.
        r.rig->failNext(qel::QEL_USB_REQ_CONTROL_TRANSFER, 2, 0xC000009D);
        c->OnMeterTimer();
        c->OnMeterTimer();
        QVERIFY(!c->MeterTimerActive());
        QVERIFY(!c->UsbStateTimerActive());
        QVERIFY(!c->UsbMessageTimerActive());
        QVERIFY(c->ReconnectTimerActive());
        QVERIFY(!c->Connected());
        // The retry runs from its timer and restarts the three polls.
        QTRY_VERIFY(c->Connected());
        QVERIFY(c->MeterTimerActive());
        QVERIFY(c->UsbStateTimerActive());
        QVERIFY(c->UsbMessageTimerActive());
        QVERIFY(!c->ReconnectTimerActive());
        QCOMPARE(c->ControlSection()->LampMode(), 0);
    }

    // A USB surface with no channel strips has no levels to read: it keeps
    // its device instead of taking the empty read for a lost device.
    void usbSurfaceWithoutStripsKeepsItsDevice()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(PanelRig::kU410,
            "<ChannelConfig><CrossFader USB_FU_ID='300'/></ChannelConfig>");
        QVERIFY(c);
        QCOMPARE(c->AudioChannelCount(), 0);
        c->Pacer().Flush();
        r.rig->takeTrace();
        for (int i = 0; i < 4; ++i)
            c->OnMeterTimer();
        QVERIFY(c->Connected());
        QVERIFY(c->MeterTimerActive());
        QVERIFY(!c->ReconnectTimerActive());
        QVERIFY(c->UsbStateTimerActive());
        QVERIFY(c->Levels().empty());
        // Nothing was asked of the device, and it was not reopened.
        QCOMPARE(CountLines(r.rig->takeTrace(), "QEL_USB_REQ"), 0);
        // Its crossfader still reaches the device.
        Send(c, UM_CROSSFADE, Words(300, 0), 40);
        QVERIFY(CountLines(r.rig->takeTrace(), "QEL_USB_REQ_CONTROL_TRANSFER") > 0);
    }

    // The driver's device-interface broadcasts do not say which device came
    // or went: on a removal each container asks its own device at once and
    // drops it when it does not answer; on an arrival a container that lost
    // its device reopens it at once instead of at its next retry.
    void deviceChangesDropAndReopenAtOnce()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        CMixerCtrlContainer* other = r.Build(PanelRig::k610);
        QVERIFY(c && other);
        c->Pacer().Flush();
        other->Pacer().Flush();
        c->OnMeterTimer();
        other->OnMeterTimer();
        QVERIFY(c->Connected() && other->Connected());

        QVERIFY(r.rig->unplug(kFw1814));
        QCoreApplication::sendPostedEvents();
        QVERIFY(!c->Connected());
        QVERIFY(!c->MeterTimerActive());
        QVERIFY(c->ReconnectTimerActive());
        QVERIFY(c->InputStrips().at(0)->MeterLeft()->IsFalling());
        QVERIFY(other->Connected());
        QVERIFY(other->MeterTimerActive());
        QVERIFY(!other->ReconnectTimerActive());
        // A broadcast of another kind changes nothing.
        Send(c, CWindowPort::kDeviceChangeMessage, 0x8006, 0);
        QVERIFY(c->ReconnectTimerActive());

        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.knob(1, 1, -30); });
        QVERIFY(r.rig->plug(kFw1814));
        QCoreApplication::sendPostedEvents();
        QVERIFY(c->Connected());
        QVERIFY(c->MeterTimerActive());
        QVERIFY(!c->ReconnectTimerActive());
        QCOMPARE(c->ControlSection()->LampMode(), 1);
        c->Pacer().Flush();
        QCOMPARE(c->InputStrips().at(0)->VolumeLeft()->GetPos(), 30);
        QVERIFY(other->Connected());
        QVERIFY(!other->ReconnectTimerActive());
    }

    void unplugDropsTheMetersAndReplugRestores()
    {
        PanelRig r;
        WithFirmware(r, [](qel::sim::FwFirmware& fw) {
            for (std::uint32_t m = 0; m < 18; ++m)
                fw.memory().setSignal(m, qel::sim::FwMemory::Signal::Constant, 100);
        });
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        c->Pacer().Flush();
        QTRY_VERIFY(TitleSettled(c));
        c->OnMeterTimer();
        CChannelStripStereoIn* strip = c->InputStrips().at(0);
        QCOMPARE(strip->MeterLeft()->GetPos(), 0);

        QVERIFY(r.rig->unplug(kFw1814));
        c->OnMeterTimer();
        c->OnMeterTimer();
        QVERIFY(!c->Connected());
        QVERIFY(!c->MeterTimerActive());
        QVERIFY(c->ReconnectTimerActive());
        QVERIFY(strip->MeterLeft()->IsFalling());
        QVERIFY(c->MainOut()->MeterRight()->IsFalling());

        // While away the lamps blink together on every attempt.
        c->OnReconnectTimer();
        QCOMPARE(c->ControlSection()->LampMode(), -1);
        const bool lit = Lit(c->ControlSection()->FireWireLamp());
        QCOMPARE(Lit(c->ControlSection()->UsbLamp()), lit);
        c->OnReconnectTimer();
        QCOMPARE(Lit(c->ControlSection()->FireWireLamp()), !lit);
        QVERIFY(!c->Connected());

        // Changed on the device meanwhile.
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.knob(1, 1, -30); });
        QVERIFY(r.rig->plug(kFw1814));
        c->OnReconnectTimer();
        QVERIFY(c->Connected());
        QVERIFY(c->MeterTimerActive());
        QVERIFY(!c->ReconnectTimerActive());
        QCOMPARE(c->ControlSection()->LampMode(), 1);
        QVERIFY(Lit(c->ControlSection()->FireWireLamp()));
        c->Pacer().Flush();
        QCOMPARE(strip->VolumeLeft()->GetPos(), 30);

        // Events and watched blocks reach the window again.
        r.rig->queueDriverEvent(9);
        QTRY_COMPARE(Shown(c), QStringLiteral("Unknown driver event received ( 9 )"));
        WithFirmware(r, [](qel::sim::FwFirmware& fw) { fw.knob(k1814Master, 0, -12); });
        QTRY_COMPARE(c->MainOut()->Volume()->GetPos(), 12);
    }
};

QTEST_MAIN(ContainerEventsTest)
#include "ContainerEventsTest.moc"
