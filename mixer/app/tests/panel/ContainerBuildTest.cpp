// Building mixer surfaces against the simulated rig: layout, strip records,
// device bindings and registrations, failure texts.
#include "PanelRig.h"

#include "device/QelAvcEventHandler.h"
#include "device/Qel1394DriverEventHandler.h"
#include "device/Requests.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripHeadPhoneOut.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerPanelTop.h"
#include "sim/FwFirmware.h"
#include "ui/ControlId.h"

#include <QTest>

#include <algorithm>

using qel::mixer::test::PanelRig;

namespace {

QString Strip(const char* dir, const char* type = "ANALOG", const char* ids = "AVC_FFB_ID='1' USB_FU_ID='1'",
              const char* caption = "Cap")
{
    return QStringLiteral("<ChannelStrip %1><Dir>%2</Dir><Caption>%3</Caption><Type>%4</Type></ChannelStrip>")
        .arg(ids, dir, caption, type);
}

std::string Config(const QString& body)
{
    return QStringLiteral("<ChannelConfig Name='default'>%1</ChannelConfig>").arg(body).toStdString();
}

QString Shown(const CMatrixStatic* display)
{
    return display->Text().trimmed();
}

int Right(const QWidget* w)
{
    return w->x() + w->width();
}

int Bottom(const QWidget* w)
{
    return w->y() + w->height();
}

} // namespace

class ContainerBuildTest : public QObject {
    Q_OBJECT

private slots:
    // Three stereo inputs side by side under the top panel, the control
    // section level with them, no crossfader: the surface ends 4 pixels right
    // of the control section and 8 pixels under the strips.
    void stripsAndControlSectionArePlacedEdgeToEdge()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(PanelRig::k610, Config(Strip("Input") + Strip("Input") + Strip("Input")));
        QVERIFY(c);
        QCOMPARE(c->TopPanel()->ElementWidth(), 795);
        QCOMPARE(c->TopPanel()->ElementHeight(), 28);
        QCOMPARE(c->TopPanel()->pos(), QPoint(4, 4));
        const auto& in = c->InputStrips();
        QCOMPARE(in.size(), 3);
        QCOMPARE(in[0]->size(), QSize(86, 368));
        QCOMPARE(in[0]->pos(), QPoint(4, 34));
        QCOMPARE(in[1]->pos(), QPoint(92, 34));
        QCOMPARE(in[2]->pos(), QPoint(180, 34));
        QCOMPARE(c->ControlSection()->pos(), QPoint(268, 34));
        QVERIFY(!c->CrossFader());
        QVERIFY(!c->MainOut());
        QVERIFY(!c->HeadPhone());

        QCOMPARE(c->MixerWidth(), Right(c->ControlSection()) + 4);
        QCOMPARE(c->MixerHeight(), Bottom(in[0]) + 8);
        QCOMPARE(c->geometry(), QRect(0, 0, c->MixerWidth(), c->MixerHeight()));
        QVERIFY(c->isHidden());
        // The top panel spans the surface less its margins; its status line
        // sits at the right end.
        QCOMPARE(c->TopPanel()->width(), c->MixerWidth() - 8);
        QCOMPARE(c->TopPanel()->Display()->pos(),
                 QPoint(c->MixerWidth() - c->TopPanel()->Display()->width() - 12, 5));

        // Elements in creation order; strip records and channel counts.
        QCOMPARE(c->Elements().size(), 5);
        QCOMPARE(c->Elements().first(), c->TopPanel());
        QCOMPARE(c->Elements().last(), c->ControlSection());
        QCOMPARE(c->StripCount(), 3);
        QCOMPARE(c->AudioChannelCount(), 6);
        QCOMPARE(c->ChannelStates().size(), std::size_t(6));
        QCOMPARE(c->ChannelStates()[4].muteWord, &in[2]->MuteLeftWord());
        QCOMPARE(c->ChannelStates()[5].soloWord, &in[2]->SoloRightWord());
        QVERIFY(r.box.entries.empty());
    }

    // "Master" before "Input": the input strips array keeps the master's
    // position empty, and the numbering follows the element order.
    void masterFirstKeepsPositionsAndRenumbersMeters()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(
            PanelRig::k610,
            Config(Strip("Master", "ANALOG", "AVC_FFB_ID='3'") + Strip("Input", "ANALOG", "AVC_FFB_ID='2'")));
        QVERIFY(c);
        const auto& in = c->InputStrips();
        QCOMPARE(in.size(), 2);
        QVERIFY(in[0] == nullptr);
        QVERIFY(in[1] != nullptr);
        QVERIFY(c->MainOut());
        QCOMPARE(c->MainOut()->LeftMeterIndex(), 0);
        QCOMPARE(c->MainOut()->RightMeterIndex(), 1);
        QCOMPARE(in[1]->LeftMeterIndex(), 2);
        QCOMPARE(in[1]->RightMeterIndex(), 3);
        QCOMPARE(c->MainOut()->pos(), QPoint(4, 34));
        QCOMPARE(in[1]->pos(), QPoint(Right(c->MainOut()) + 2, 34));
        // The input's two sides, bound to its block.
        QCOMPARE(c->ChannelStates().size(), std::size_t(2));
        QCOMPARE(c->ChannelStates()[0].blockId, 2);
        QCOMPARE(c->ChannelStates()[0].muteWord, &in[1]->MuteLeftWord());
        QCOMPARE(c->ChannelStates()[1].muteWord, &in[1]->MuteRightWord());
        QCOMPARE(c->MainOut()->BlockId(), quint8(3));
        QCOMPARE(c->MainOut()->Caption(), QString("Cap"));
        QCOMPARE(c->MainOut()->KindText(), QString("Master"));
    }

    void digitalInputStripsSetBothFlagsAndShowTheirReadout()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(
            PanelRig::k1814, Config(Strip("Input", "OPT_SPDIF", "AVC_FFB_ID='5'") + Strip("Input", "COAX_SPDIF", "AVC_FFB_ID='4'")));
        QVERIFY(c);
        QVERIFY(c->HasOpticalInput());
        QVERIFY(c->HasCoaxialInput());
        QCOMPARE(c->InputStrips()[0]->GetConnectionName(), QString("OPT_SPDIF"));
        QVERIFY(!c->InputStrips()[0]->ConnectionReadout()->isHidden());

        PanelRig plain;
        CMixerCtrlContainer* p = plain.BuildFromText(PanelRig::k1814, Config(Strip("Input")));
        QVERIFY(!p->HasOpticalInput());
        QVERIFY(!p->HasCoaxialInput());
        QVERIFY(p->InputStrips()[0]->ConnectionReadout()->isHidden());
    }

    // Options marked Show='False' hide the control section's control of that
    // id; unknown ids and shown options change nothing.
    void hiddenOptionsHideControlSectionControls()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(
            PanelRig::k610, Config(Strip("Input") +
                                   "<ControlSection><Option ID='1063' Show='False'/><Option ID='1031' Show='False'/>"
                                   "<Option ID='1036' Show='True'/><Option ID='9999' Show='False'/>"
                                   "<Option ID='1037' Show='false'/></ControlSection>"));
        QVERIFY(c);
        CControlSection* cs = c->ControlSection();
        QVERIFY(FindControl(cs, 1063)->isHidden());
        QVERIFY(FindControl(cs, 1031)->isHidden());
        QVERIFY(!FindControl(cs, 1036)->isHidden());
        QVERIFY(!FindControl(cs, 1037)->isHidden());
        QVERIFY(!FindControl(cs, 1035)->isHidden());
    }

    // FireWire model with a device-controlled crossfader: it lies under the
    // strips, as wide as strips and outputs; the surface grows by its height.
    void crossfaderSpansTheStripsAndOutputs()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        CCrossFaderStrip* x = c->CrossFader();
        QVERIFY(x);
        QCOMPARE(x->BlockId(), quint8(8));
        const int stripsBottom = Bottom(c->InputStrips()[0]);
        QCOMPARE(x->pos(), QPoint(4, stripsBottom + 2));
        const int rightEdge = Right(c->HeadPhone());
        QCOMPARE(x->width(), rightEdge - 4);
        QCOMPARE(c->MixerHeight(), stripsBottom + x->height() + 8);
        QCOMPARE(c->Elements().last(), x);
        QCOMPARE(c->HighestBlockId(), 8);
        // Wide enough: the track keeps its length.
        const int track = x->SliderTrackWidth();
        QVERIFY(track + 130 <= rightEdge);
        x->Slider()->grab();
        QCOMPARE(x->SliderTrackWidth(), track);
        // Both the master strip (6) and the crossfader (8) are watched.
        QCOMPARE(c->NotificationWindows().size(), 9);
        QCOMPARE(c->NotificationWindows()[6], c);
        QCOMPARE(c->NotificationWindows()[8], c);
        QVERIFY(c->NotificationWindows()[7] == nullptr);
    }

    // USB: the crossfader takes the low 8 bits of its unit id, and a surface
    // too short for the track shortens it, the right-end label following.
    void usbCrossfaderUsesTheLowByteAndNarrows()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(
            PanelRig::kU410, Config(Strip("Input", "ANALOG", "USB_FU_ID='1'") + Strip("Master", "ANALOG", "USB_FU_ID='3'") +
                                    "<CrossFader USB_FU_ID='300' AVC_FFB_ID='7'/>"));
        QVERIFY(c);
        CCrossFaderStrip* x = c->CrossFader();
        QVERIFY(x);
        QCOMPARE(x->BlockId(), quint8(44));
        QCOMPARE(c->HighestBlockId(), 44);
        const int rightEdge = Right(c->MainOut());
        QCOMPARE(x->width(), rightEdge - 4);
        CCrossFaderStrip fresh;
        fresh.Create(nullptr);
        const int track = fresh.SliderTrackWidth();
        QWidget* freshLabel = FindControl(&fresh, CCrossFaderStrip::kRightLabelId);
        const int gap = freshLabel->x() - (fresh.Slider()->x() + track);
        QVERIFY(track + 130 > rightEdge);
        // The cut takes effect with the next paint.
        x->Slider()->grab();
        QCOMPARE(x->SliderTrackWidth(), rightEdge - 130);
        // The right-end label keeps its distance to the shortened track's
        // end on the lower row, but never reaches past the strip's end.
        QWidget* label = FindControl(x, CCrossFaderStrip::kRightLabelId);
        QCOMPARE(label->y(), 27);
        QCOMPARE(label->x(), std::max(0, std::min(x->Slider()->x() + rightEdge - 130 + gap,
                                                  x->width() - label->width() - 4)));
        QVERIFY(label->x() + label->width() <= x->width());
        QCOMPARE(c->BusKind(), 0);
        QVERIFY(c->UsbStateTimerActive());
        QVERIFY(c->UsbMessageTimerActive());
        QVERIFY(c->MeterTimerActive());
    }

    void noChannelStripsIsReportedAndLeavesTheFrame()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(PanelRig::k610, Config("<CrossFader AVC_FFB_ID='8'/>"));
        QVERIFY(c);
        QCOMPARE(r.box.entries.size(), std::size_t(1));
        QCOMPARE(r.box.entries[0].text, std::string("No Mixerchannels defined in for device config!"));
        QCOMPARE(c->StripCount(), 0);
        QCOMPARE(c->AudioChannelCount(), 0);
        QCOMPARE(c->Elements().size(), 3);  // top panel, control section, crossfader
        QVERIFY(c->InputStrips().isEmpty());
        QCOMPARE(c->ControlSection()->pos(), QPoint(4, 34));
        QCOMPARE(c->CrossFader()->width(), 0);
        // No output strip, no right edge: the track is not cut to a negative width.
        const int track = c->CrossFader()->SliderTrackWidth();
        c->CrossFader()->Slider()->grab();
        QCOMPARE(c->CrossFader()->SliderTrackWidth(), track);
        QVERIFY(track > 0);
    }

    // Unknown directions create nothing and are not reported; a headphone
    // strip carries its block id twice and has no meters.
    void unknownDirectionAndHeadphone()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.BuildFromText(
            PanelRig::k610, Config(Strip("Sideways") + Strip("Headphone", "ANALOG", "AVC_FFB_ID='4'") + Strip("Input")));
        QVERIFY(c);
        QVERIFY(r.box.entries.empty());
        QCOMPARE(c->StripCount(), 3);
        QCOMPARE(c->Elements().size(), 4);
        QVERIFY(c->HeadPhone());
        QCOMPARE(c->HeadPhone()->pos(), QPoint(4, 34));
        QCOMPARE(c->HeadPhone()->BlockId(), quint8(4));
        QCOMPARE(c->HeadPhone()->OwnBlockId(), quint8(4));
        QVERIFY(!c->HeadPhone()->VisibleFlag());
        QCOMPARE(c->InputStrips()[2]->LeftMeterIndex(), 0);
        QCOMPARE(c->ChannelStates().size(), std::size_t(2));
    }

    // A refused NOTIFY leaves a text on the top panel; the build goes on.
    void failedNotificationRegistrationIsShownOnTheTopPanel()
    {
        PanelRig r;
        qel::CQelDevice* fw = r.DeviceAt(PanelRig::k610)->fireWire();
        QVERIFY(fw);
        // The main out's NOTIFY is the first AV/C transaction of the build.
        r.rig->failNext(qel::QEL_REQ_AVC_TRANSACTION, 1, 0xE0000001);
        CMixerCtrlContainer* c = r.Build(PanelRig::k610);
        QVERIFY(c);
        QCOMPARE(Shown(c->TopPanel()->Display()), QString("Main out:Unable to register notification event"));
        QVERIFY(c->TopPanel()->MessageShowing());
        QVERIFY(c->MainOut());
        QVERIFY(c->HeadPhone());
        QCOMPARE(c->NotificationWindows().size(), 4);
        QCOMPARE(c->NotificationWindows()[3], c);

        PanelRig fader;
        fader.rig->failNext(qel::QEL_REQ_AVC_TRANSACTION, 1, 0xE0000001);
        CMixerCtrlContainer* f = fader.BuildFromText(
            PanelRig::k1814, Config(Strip("Input") + Strip("Master", "ANALOG", "AVC_FFB_ID='6'") +
                                    "<CrossFader AVC_FFB_ID='8' DeviceControlled='true'/>"));
        QCOMPARE(Shown(f->TopPanel()->Display()), QString("Crossfader: Unable to register notification event"));
    }

    // FireWire: driver events, both digital-input detections and device
    // messages come to this window; a destroyed container leaves nothing
    // registered behind.
    void fireWireRegistrationsAndTeardown()
    {
        PanelRig r;
        CMixerCtrlContainer* c = r.Build(PanelRig::k1814);
        QVERIFY(c);
        qel::CQelDevice* fw = r.DeviceAt(PanelRig::k1814)->fireWire();
        QVERIFY(fw->avcEventHandler());
        QVERIFY(fw->getDriverEventHandler());
        qel::AvcCommands& avc = r.ctx.avc();
        std::map<const qel::AVC_NotifyCMD*, std::uint32_t> messages;
        for (const auto& reg : fw->avcEventHandler()->registrations())
            messages[reg.command] = reg.message;
        QCOMPARE(messages.size(), std::size_t(5));  // 2 inputs, device messages, master, crossfader
        QCOMPARE(messages[&avc.coaxialInput], 0x8002u);
        QCOMPARE(messages[&avc.opticalInput], 0x8002u);
        QCOMPARE(messages[&avc.deviceMessage], 0x8004u);
        const auto drivers = fw->getDriverEventHandler()->registrations();
        QCOMPARE(drivers.size(), std::size_t(1));
        QCOMPARE(drivers[0].key, 0u);
        QCOMPARE(drivers[0].message, 0x8001u);
        QVERIFY(c->MeterTimerActive());
        QVERIFY(!c->UsbStateTimerActive());
        QVERIFY(fw->hsci());
        QCOMPARE(c->BusKind(), 1);
        QCOMPARE(c->ConnectionKind(), 2);
        QCOMPARE(c->Title(), QString("Kavro 1814 MixerPanel"));
        QCOMPARE(c->TopPanel()->Title(), QString::fromStdString(r.PropsAt(PanelRig::k1814).displayName));

        r.Destroy(c);
        QVERIFY(fw->avcEventHandler()->registrations().empty());
        QVERIFY(fw->getDriverEventHandler()->registrations().empty());
        // Events after the container went reach nobody.
        r.rig->queueDriverEvent(2);
        r.rig->withFwDevice(r.PropsAt(PanelRig::k1814).deviceId, [](qel::sim::FwDeviceModel& m) {
            qel::sim::FwFirmware::of(m)->deviceMessage(6);
        });
        QTest::qWait(50);
    }
};

QTEST_MAIN(ContainerBuildTest)
#include "ContainerBuildTest.moc"
