#include "ElementHarness.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripHeadPhoneOut.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/LevelMeter.h"
#include "ui/ControlId.h"

#include <QFontMetrics>
#include <QLabel>

namespace {

template <typename Strip>
struct Rig {
    CMessageLog container;
    Strip* strip = new Strip;

    Rig()
    {
        strip->Create(&container);
        strip->SetBlockId(5);
        strip->UpdateData(false);
    }
    const QList<LoggedMessage>& Log() { return container.Drain(); }
};

using MainRig = Rig<CChannelStripMainOut>;
using PhonesRig = Rig<CChannelStripHeadPhoneOut>;

} // namespace

class OutputStripTest : public QObject {
    Q_OBJECT

private slots:
    void mainOutTemplate()
    {
        MainRig rig;
        CChannelStripMainOut* s = rig.strip;
        QCOMPARE(s->size(), QSize(86, 368));
        QCOMPARE(FindControl<QLabel>(s, 1008)->text(), QString("CH ID"));
        QCOMPARE(FindControl<QLabel>(s, 1008)->font().pixelSize(), 12);
        QCOMPARE(FindControl<QLabel>(s, 1022)->text(), QString("Master 1/2"));
        QCOMPARE(FindControl<CBitmapPushButton>(s, 1074), s->Mute());
        QCOMPARE(s->Mute()->size(), QSize(50, 14));
        QCOMPARE(FindControl<CBitmapSlider>(s, 1019), s->Volume());
        QCOMPARE(FindControl<CBitmapSlider>(s, 1020), s->Balance());
        QCOMPARE(FindControl<CLevelMeter>(s, 1014), s->MeterLeft());
        QCOMPARE(FindControl<CLevelMeter>(s, 1015), s->MeterRight());
        QCOMPARE(s->Readout()->Text(), QString("    0.0 dB"));
        QCOMPARE(s->Balance()->GetPos(), 0);
        QCOMPARE(s->Balance()->Minimum(), -127);
        QCOMPARE(s->Volume()->Maximum(), 63);
        QVERIFY(s->Volume()->IsVertical());
        QCOMPARE(s->MuteWord(), -1);
        QVERIFY(!Lit(s->Mute()));
    }

    void mainOutBalanceDeadZone()
    {
        MainRig rig;
        CChannelStripMainOut* s = rig.strip;
        const QList<int> positions = {2, 3, -1, -2, -3, 1, 127, -127};
        const QList<int> sent = {0, -3, 0, 0, 3, 0, -127, 127};
        for (int p : positions)
            Moved(s, 1020, p);
        const auto& log = rig.Log();
        QCOMPARE(log.size(), positions.size());
        for (int i = 0; i < positions.size(); ++i) {
            QCOMPARE(log[i].code, UM_BALANCE);
            QCOMPARE(High(log[i]), quint16(5));
            QCOMPARE(Low(log[i]), quint16(0));
            QCOMPARE(log[i].lParam, qintptr(sent[i]));
        }
        Moved(s, 1020, 2);
        QCOMPARE(s->Readout()->Text(), QString("Bal      0"));
        Moved(s, 1020, 3);
        QCOMPARE(s->Readout()->Text(), QString("Bal      3"));
    }

    void mainOutFaderResendsTheBalance()
    {
        MainRig rig;
        CChannelStripMainOut* s = rig.strip;
        s->Balance()->SetPos(2);
        Moved(s, 1019, 20);
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].code, UM_VOLUME);
        QCOMPARE(log[0].wParam, quintptr(0x00050000));
        QCOMPARE(log[0].lParam, qintptr(-20));
        QCOMPARE(log[1].code, UM_BALANCE);
        QCOMPARE(log[1].lParam, qintptr(-2));
        QCOMPARE(s->Readout()->Text(), QString("  -20.0 dB"));
        Moved(s, 1019, 0);
        QCOMPARE(rig.Log()[2].lParam, qintptr(0));
        QCOMPARE(Shown(s->Readout()), QString("0.0 dB"));
    }

    void balanceReleaseShowsTheLevel()
    {
        MainRig rig;
        rig.strip->Volume()->SetPos(20);
        Moved(rig.strip, 1020, -40);
        Released(rig.strip, 1020, -40);
        QCOMPARE(Shown(rig.strip->Readout()), QString("-20.0 dB"));
        // Releasing the fader changes nothing.
        Moved(rig.strip, 1020, 10);
        Released(rig.strip, 1019, 20);
        QCOMPARE(Shown(rig.strip->Readout()), QString("Bal     10"));

        PhonesRig phones;
        phones.strip->Volume()->SetPos(20);
        Moved(phones.strip, 1069, 7);
        Released(phones.strip, 1069, 7);
        QCOMPARE(phones.strip->Readout()->Text(), QString("-20.0 dB"));
    }

    void muteClicksToggle()
    {
        MainRig rig;
        CChannelStripMainOut* s = rig.strip;
        ClickButton(s->Mute());
        QVERIFY(Lit(s->Mute()));
        QCOMPARE(s->MuteWord(), 0);
        ClickButton(s->Mute());
        QVERIFY(!Lit(s->Mute()));
        QCOMPARE(s->MuteWord(), -1);
        ClickButton(s->Mute());
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 3);
        for (const LoggedMessage& m : log) {
            QCOMPARE(m.code, UM_MUTE);
            QCOMPARE(m.wParam, quintptr(0x00050000));
        }
        QCOMPARE(log[0].lParam, qintptr(-1));
        QCOMPARE(log[1].lParam, qintptr(0));
        QCOMPARE(log[2].lParam, qintptr(-1));
    }

    void muteDoubleClickIsOneClick()
    {
        MainRig rig;
        DoubleClickButton(rig.strip->Mute());
        QVERIFY(Lit(rig.strip->Mute()));
        QCOMPARE(rig.strip->MuteWord(), 0);
        PhonesRig phones;
        DoubleClickButton(phones.strip->Mute());
        QVERIFY(Lit(phones.strip->Mute()));
        for (auto log : {rig.Log(), phones.Log()}) {
            QCOMPARE(log.size(), 1);
            QCOMPARE(log[0].code, UM_MUTE);
            QCOMPARE(log[0].lParam, qintptr(-1));
        }
    }

    void mainOutTakesDeviceValuesOnAnyChannel()
    {
        MainRig rig;
        CChannelStripMainOut* s = rig.strip;
        s->SetVolume(-20.7, 0);
        QCOMPARE(s->Volume()->GetPos(), 20);
        QCOMPARE(s->Readout()->Text(), QString("  -20.7 dB"));
        s->SetVolume(-6, 1);
        QCOMPARE(s->Volume()->GetPos(), 6);
        s->SetBalance(200, 0);
        QCOMPARE(s->Balance()->GetPos(), -127);
        s->SetBalance(-12.9, 2);
        QCOMPARE(s->Balance()->GetPos(), 12);
        s->SetMute(1, 0);
        QVERIFY(Lit(s->Mute()));
        QCOMPARE(s->MuteWord(), 0);
        // The device's mute then decides what the next click does.
        ClickButton(s->Mute());
        QVERIFY(!Lit(s->Mute()));
        QCOMPARE(rig.Log().last().lParam, qintptr(0));
        s->SetMute(0x100, 0);
        QCOMPARE(s->MuteWord(), -1);

        s->SetMeterLevels(0, 1);
        QCOMPARE(s->MeterRight()->GetPos(), 1);
        s->DropMeters();
        QVERIFY(s->MeterLeft()->IsFalling());
        QVERIFY(s->MeterRight()->IsFalling());
    }

    void headphoneTemplate()
    {
        PhonesRig rig;
        CChannelStripHeadPhoneOut* s = rig.strip;
        QCOMPARE(s->size(), QSize(56, 368));
        QCOMPARE(FindControl<QLabel>(s, 1008)->text(), QString("CH ID"));
        QCOMPARE(FindControl<CBitmapPushButton>(s, 1075), s->Mute());
        QCOMPARE(s->Mute()->text(), QString("Radio1"));
        QCOMPARE(FindControl<CBitmapSlider>(s, 1068), s->Volume());
        QCOMPARE(FindControl<CBitmapSlider>(s, 1069), s->Balance());
        QVERIFY(!FindControl(s, 1014));
        QCOMPARE(s->Readout()->Columns(), 8);
        QCOMPARE(s->Readout()->Text(), QString("  0.0 dB"));
        QCOMPARE(s->Balance()->GetPos(), 0);
        s->SetKindText("Phones");
        s->UpdateData(false);
        QCOMPARE(FindControl<QLabel>(s, 1008)->text(), QString("Phones"));
        // The container gives it the strip's kind; the narrow label still shows it whole.
        s->SetKindText("Headphone");
        s->UpdateData(false);
        QLabel* kind = FindControl<QLabel>(s, 1008);
        QCOMPARE(kind->text(), QString("Headphone"));
        QVERIFY(QFontMetrics(kind->font()).horizontalAdvance(kind->text()) <= kind->width());
    }

    void headphoneUsesItsOwnBlockId()
    {
        PhonesRig rig;
        CChannelStripHeadPhoneOut* s = rig.strip;
        s->SetOwnBlockId(0x10B);
        QCOMPARE(s->OwnBlockId(), quint8(0x0B));
        Moved(s, 1068, 30);
        Moved(s, 1069, -50);
        ClickButton(s->Mute());
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log[0].code, UM_VOLUME);
        QCOMPARE(log[0].wParam, quintptr(0x000B0000));
        QCOMPARE(log[0].lParam, qintptr(-30));
        QCOMPARE(log[1].code, UM_BALANCE);
        QCOMPARE(log[1].wParam, quintptr(0x000B0000));
        QCOMPARE(log[1].lParam, qintptr(50));
        QCOMPARE(log[2].code, UM_MUTE);
        QCOMPARE(log[2].wParam, quintptr(0x000B0000));
        QCOMPARE(log[2].lParam, qintptr(-1));
        QCOMPARE(s->Readout()->Text(), QString("Bal  -50"));
        // No dead zone and no balance after a volume move.
        Moved(s, 1069, 2);
        QCOMPARE(rig.Log().last().lParam, qintptr(-2));
        Moved(s, 1068, 12);
        QCOMPARE(rig.Log().last().code, UM_VOLUME);
        QCOMPARE(s->Readout()->Text(), QString("-12.0 dB"));
    }

    void headphoneVolumeOnlyOnChannelZero()
    {
        PhonesRig rig;
        CChannelStripHeadPhoneOut* s = rig.strip;
        s->SetVolume(-6, 1);
        QCOMPARE(s->Volume()->GetPos(), 0);
        QCOMPARE(s->Readout()->Text(), QString("  0.0 dB"));
        s->SetVolume(-6, 0);
        QCOMPARE(s->Volume()->GetPos(), 6);
        QCOMPARE(s->Readout()->Text(), QString("    -6.0"));
    }

    void headphoneTakesMuteAndBalanceAsTheContainerSendsThem()
    {
        PhonesRig rig;
        CChannelStripHeadPhoneOut* s = rig.strip;
        // The container passes both on channel 1.
        s->SetMute(1, 1);
        QVERIFY(Lit(s->Mute()));
        QCOMPARE(s->MuteWord(), 0);
        s->SetBalance(-40, 1);
        QCOMPARE(s->Balance()->GetPos(), 40);
        s->SetBalance(-500, 1);
        QCOMPARE(s->Balance()->GetPos(), 127);
        // A click on the lit button unmutes.
        ClickButton(s->Mute());
        QVERIFY(!Lit(s->Mute()));
        QCOMPARE(rig.Log().last().lParam, qintptr(0));
        s->SetMute(0, 1);
        QCOMPARE(s->MuteWord(), -1);
    }
};

QTEST_MAIN(OutputStripTest)
#include "OutputStripTest.moc"
