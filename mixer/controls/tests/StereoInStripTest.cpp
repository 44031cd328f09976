#include "ElementHarness.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/LevelMeter.h"
#include "ui/ControlId.h"

#include <QElapsedTimer>
#include <QLabel>

namespace {

using Strip = CChannelStripStereoIn;

struct Rig {
    CMessageLog container;
    Strip* strip = new Strip;

    explicit Rig(quint32 blockId = 9)
    {
        strip->Create(&container);
        strip->SetBlockId(blockId);
        strip->SetMeterIndices(4, 5);
        strip->UpdateData(false);
    }
    const QList<LoggedMessage>& Log() { return container.Drain(); }
};

QLabel* Label(QWidget* w, int id)
{
    return FindControl<QLabel>(w, id);
}

// Distinct texts the connection read-out shows over ms milliseconds.
QStringList Watch(Strip* strip, int ms)
{
    QStringList seen;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QTest::qWait(40);
        const QString now = Shown(strip->ConnectionReadout());
        if (seen.isEmpty() || seen.last() != now)
            seen << now;
    }
    return seen;
}

} // namespace

class StereoInStripTest : public QObject {
    Q_OBJECT

private slots:
    void templateAndInitialisation()
    {
        Rig rig;
        Strip* s = rig.strip;
        QCOMPARE(s->size(), QSize(86, 368));
        QCOMPARE(Label(s, 1008)->text(), QString("CH ID"));
        QCOMPARE(Label(s, 1008)->font().pixelSize(), 12);
        QCOMPARE(Label(s, 1009)->text(), QString("Line n   Line n"));
        QVERIFY(Label(s, 1009)->alignment() & Qt::AlignHCenter);
        for (int id : {1010, 1011, 1012, 1013})
            QVERIFY(FindControl<CBitmapSlider>(s, id));
        for (int id : {1014, 1015})
            QVERIFY(FindControl<CLevelMeter>(s, id));
        for (int id : {1023, 1024, 1025, 1026, 1029})
            QVERIFY(FindControl<CBitmapPushButton>(s, id)->ImagesLoaded());
        QCOMPARE(s->Link()->size(), QSize(68, 12));
        QCOMPARE(s->MuteLeft()->size(), QSize(30, 16));
        // Hard left and hard right; faders 0..63 vertical.
        QCOMPARE(s->PanLeft()->GetPos(), -127);
        QCOMPARE(s->PanRight()->GetPos(), 127);
        QCOMPARE(s->VolumeLeft()->Maximum(), 63);
        QVERIFY(s->VolumeRight()->IsVertical());
        QVERIFY(!s->PanLeft()->IsVertical());
        QVERIFY(s->MeterLeft()->HasSecondTrack());
        QCOMPARE(s->ReadoutLeft()->Text(), QString("  0.0"));
        QCOMPARE(s->ReadoutRight()->Text(), QString("  0.0"));
        QCOMPARE(s->ConnectionReadout()->Text(), QString("      -      "));
        QCOMPARE(s->ConnectionReadout()->Columns(), 13);
        // Every button dark, link off.
        for (CBitmapPushButton* b : {s->MuteLeft(), s->MuteRight(), s->SoloLeft(), s->SoloRight(), s->Link()})
            QVERIFY(!Lit(b));
        QVERIFY(!s->IsLinked());
        QVERIFY(rig.Log().isEmpty());
    }

    void faderMovesPostTheLevel()
    {
        Rig rig;
        Moved(rig.strip, 1013, 20);
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].code, UM_VOLUME);
        QCOMPARE(High(log[0]), quint16(9));
        QCOMPARE(Low(log[0]), quint16(2));
        QCOMPARE(log[0].lParam, qintptr(-20));
        QCOMPARE(Shown(rig.strip->ReadoutRight()), QString("-20.0"));
        QCOMPARE(Shown(rig.strip->ReadoutLeft()), QString("0.0"));
        QCOMPARE(rig.strip->VolumeLeft()->GetPos(), 0);
    }

    void linkedFadersMoveTogether()
    {
        Rig rig;
        ClickButton(rig.strip->Link());
        QVERIFY(rig.strip->IsLinked());
        QVERIFY(Lit(rig.strip->Link()));
        rig.strip->VolumeLeft()->SetPos(20);
        Moved(rig.strip, 1012, 20);
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].code, UM_VOLUME);
        QCOMPARE(Low(log[0]), quint16(2));
        QCOMPARE(log[0].lParam, qintptr(-20));
        QCOMPARE(log[1].code, UM_VOLUME);
        QCOMPARE(Low(log[1]), quint16(1));
        QCOMPARE(log[1].lParam, qintptr(-20));
        QCOMPARE(rig.strip->VolumeRight()->GetPos(), 20);
        QCOMPARE(Shown(rig.strip->ReadoutLeft()), QString("-20.0"));
        QCOMPARE(Shown(rig.strip->ReadoutRight()), QString("-20.0"));

        // The mirror image from the right fader.
        Moved(rig.strip, 1013, 35);
        QCOMPARE(rig.strip->VolumeLeft()->GetPos(), 35);
        QCOMPARE(Low(rig.Log()[2]), quint16(1));
        QCOMPARE(Low(rig.Log()[3]), quint16(2));
    }

    void linkButtonShowsTheCouplingAfterFaderMoves()
    {
        Rig rig;
        ClickButton(rig.strip->Link());
        Moved(rig.strip, 1012, 10);
        Moved(rig.strip, 1010, -5);
        // The container pushes the bound values after a mute or solo change.
        rig.strip->UpdateData(false);
        QVERIFY(Lit(rig.strip->Link()));
        QVERIFY(rig.strip->IsLinked());
        rig.strip->SetMute(1, 1);
        QVERIFY(Lit(rig.strip->Link()));
        // The next click unlinks.
        ClickButton(rig.strip->Link());
        QVERIFY(!rig.strip->IsLinked());
        QVERIFY(!Lit(rig.strip->Link()));
        rig.Log();
        rig.container.messages.clear();
        Moved(rig.strip, 1012, 30);
        QCOMPARE(rig.container.Count(UM_VOLUME), 1);
        QCOMPARE(rig.strip->VolumeRight()->GetPos(), 10);
    }

    void panMoveAndRelease()
    {
        Rig rig;
        rig.strip->VolumeLeft()->SetPos(20);
        rig.strip->VolumeRight()->SetPos(0);
        Moved(rig.strip, 1010, -30);
        QCOMPARE(Shown(rig.strip->ReadoutLeft()), QString("Pan L"));
        QCOMPARE(Shown(rig.strip->ReadoutRight()), QString("-30"));
        Released(rig.strip, 1010, -30);
        QCOMPARE(rig.strip->ReadoutLeft()->Text(), QString("-20.0"));
        QCOMPARE(rig.strip->ReadoutRight()->Text(), QString("  0.0"));

        Moved(rig.strip, 1011, 64);
        QCOMPARE(Shown(rig.strip->ReadoutLeft()), QString("Pan R"));
        QCOMPARE(Shown(rig.strip->ReadoutRight()), QString("64"));
        // Releasing a fader leaves the read-outs alone.
        Released(rig.strip, 1012, 20);
        QCOMPARE(Shown(rig.strip->ReadoutLeft()), QString("Pan R"));

        const auto& log = rig.Log();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].code, UM_PAN);
        QCOMPARE(High(log[0]), quint16(9));
        QCOMPARE(Low(log[0]), quint16(1));
        QCOMPARE(log[0].lParam, qintptr(-30));
        QCOMPARE(Low(log[1]), quint16(2));
        QCOMPARE(log[1].lParam, qintptr(64));
    }

    void sendOperationsClamp()
    {
        Rig rig;
        rig.strip->SendVolume(7, 1, -80);
        rig.strip->SendVolume(7, 2, 5);
        rig.strip->SendPan(7, 2, 300);
        rig.strip->SendPan(7, 1, -300);
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[0].lParam, qintptr(-63));
        QCOMPARE(log[1].lParam, qintptr(0));
        QCOMPARE(log[2].lParam, qintptr(127));
        QCOMPARE(log[3].lParam, qintptr(-127));
        QCOMPARE(High(log[0]), quint16(7));
        QCOMPARE(Shown(rig.strip->ReadoutLeft()), QString("-63.0"));
        // A level of 0 shows 0.0, never a negative zero.
        QCOMPARE(Shown(rig.strip->ReadoutRight()), QString("0.0"));
    }

    void deviceValuesReachTheControls()
    {
        Rig rig;
        Strip* s = rig.strip;
        s->SetVolume(-12.5, 1);
        QCOMPARE(s->VolumeLeft()->GetPos(), 12);
        QCOMPARE(Shown(s->ReadoutLeft()), QString("-12.5"));
        s->SetVolume(-63.5, 2);
        QCOMPARE(s->VolumeRight()->GetPos(), 63);
        s->SetVolume(0.4, 2);
        QCOMPARE(s->VolumeRight()->GetPos(), 0);
        s->SetVolume(-90, 2);
        QCOMPARE(s->VolumeRight()->GetPos(), 63);
        // Other channels are ignored.
        s->SetVolume(-30, 0);
        s->SetVolume(-30, 3);
        QCOMPARE(s->VolumeLeft()->GetPos(), 12);
        QCOMPARE(s->VolumeRight()->GetPos(), 63);

        s->SetBalance(-300, 2);
        QCOMPARE(s->PanRight()->GetPos(), 127);
        s->SetBalance(50.7, 1);
        QCOMPARE(s->PanLeft()->GetPos(), -50);
        s->SetBalance(10, 0);
        QCOMPARE(s->PanLeft()->GetPos(), -50);
        QCOMPARE(s->PanRight()->GetPos(), 127);
        QVERIFY(rig.Log().isEmpty());
    }

    void muteStateFromTheDevice()
    {
        Rig rig;
        Strip* s = rig.strip;
        s->SetMute(1, 1);
        QVERIFY(Lit(s->MuteLeft()));
        QCOMPARE(s->MuteLeftWord(), 0);
        QCOMPARE(s->MuteRightWord(), -1);
        s->SetMute(1, 2);
        QCOMPARE(s->MuteRightWord(), 0);
        // Only the low byte counts.
        s->SetMute(0x100, 1);
        QVERIFY(!Lit(s->MuteLeft()));
        QCOMPARE(s->MuteLeftWord(), -1);
        s->SetMute(1, 0);
        QCOMPARE(s->MuteLeftWord(), -1);
        QVERIFY(rig.Log().isEmpty());
    }

    void buttonsReportTheirSide()
    {
        Rig rig;
        Strip* s = rig.strip;
        ClickButton(s->MuteLeft());
        ClickButton(s->SoloRight());
        ClickButton(s->MuteRight());
        ClickButton(s->SoloLeft());
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[0].code, UM_MUTE);
        QCOMPARE(log[0].wParam, quintptr(0));
        QCOMPARE(log[0].lParam, qintptr(4));
        QCOMPARE(log[1].code, UM_SOLO);
        QCOMPARE(log[1].lParam, qintptr(5));
        QCOMPARE(log[2].code, UM_MUTE);
        QCOMPARE(log[2].lParam, qintptr(5));
        QCOMPARE(log[3].code, UM_SOLO);
        QCOMPARE(log[3].lParam, qintptr(4));
        // The automatic radio buttons lit themselves; a second click keeps them lit.
        QVERIFY(Lit(s->MuteLeft()));
        ClickButton(s->MuteLeft());
        QVERIFY(Lit(s->MuteLeft()));
    }

    void containerDrivesTheStateWords()
    {
        Rig rig;
        Strip* s = rig.strip;
        ClickButton(s->MuteLeft());
        s->UpdateData(true);
        QCOMPARE(s->MuteLeftWord(), 0);
        // The container turns it dark and lights the right solo.
        s->MuteLeftWord() = -1;
        s->SoloRightWord() = 0;
        s->UpdateData(false);
        QVERIFY(!Lit(s->MuteLeft()));
        QVERIFY(Lit(s->SoloRight()));
        QVERIFY(!Lit(s->SoloLeft()));
    }

    void kindAndCaptionAreBound()
    {
        Rig rig;
        rig.strip->SetKindText("Input");
        rig.strip->SetCaption("Coax L   Coax R");
        QCOMPARE(Label(rig.strip, 1009)->text(), QString("Line n   Line n"));
        rig.strip->UpdateData(false);
        QCOMPARE(Label(rig.strip, 1008)->text(), QString("Input"));
        QCOMPARE(Label(rig.strip, 1009)->text(), QString("Coax L   Coax R"));
    }

    void connectionReadoutOnlyForDigitalInputs()
    {
        Rig rig;
        CMatrixStatic* readout = rig.strip->ConnectionReadout();
        rig.strip->SetConnection("ADAT");
        QVERIFY(readout->isHidden());
        QCOMPARE(rig.strip->GetConnectionName(), QString("ADAT"));
        rig.strip->SetConnection("OPT_SPDIF");
        QVERIFY(!readout->isHidden());
        rig.strip->SetConnection("opt_spdif");
        QVERIFY(readout->isHidden());
        rig.strip->SetConnection("COAX_SPDIF");
        QVERIFY(!readout->isHidden());
        QCOMPARE(rig.strip->GetConnectionName(), QString("COAX_SPDIF"));
    }

    void hidingAndShowingTheChannels()
    {
        Rig rig;
        Strip* s = rig.strip;
        s->SetCaption("Opt L    Opt R");
        s->UpdateData(false);
        s->ShowChannels(false, "ADAT");
        const QList<QWidget*> controls = {s->MuteLeft(),   s->MuteRight(),  s->SoloLeft(),
                                          s->SoloRight(),  s->Link(),       s->PanLeft(),
                                          s->PanRight(),   s->VolumeLeft(), s->VolumeRight(),
                                          s->MeterLeft(),  s->MeterRight(), s->ReadoutLeft(),
                                          s->ReadoutRight()};
        for (QWidget* w : controls)
            QVERIFY(w->isHidden());
        QVERIFY(!s->ConnectionReadout()->isHidden());
        QCOMPARE(Label(s, 1009)->text(), QString("ADAT"));
        s->ShowChannels(false, "SMUX");
        QCOMPARE(Label(s, 1009)->text(), QString("SMUX"));
        s->ShowChannels(true, QString());
        QCOMPARE(Label(s, 1009)->text(), QString("Opt L    Opt R"));
        for (QWidget* w : controls)
            QVERIFY(!w->isHidden());
        // Showing a strip that was never hidden keeps its caption.
        Rig other;
        other.strip->SetCaption("Line 1   Line 2");
        other.strip->ShowChannels(true, "ignored");
        QCOMPARE(Label(other.strip, 1009)->text(), QString("Line 1   Line 2"));
    }

    void emptyCaptionComesBackEmpty()
    {
        Rig rig;
        rig.strip->SetCaption(QString());
        rig.strip->ShowChannels(false, "ADAT");
        rig.strip->ShowChannels(false, "SMUX");
        rig.strip->ShowChannels(true, QString());
        QCOMPARE(rig.strip->Caption(), QString());
    }

    void statusTextAndAlertBlink()
    {
        Rig rig;
        Strip* s = rig.strip;
        s->SetStatusText("48kHz");
        QCOMPARE(Shown(s->ConnectionReadout()), QString("48kHz"));
        s->StartAlert("Sync Err");
        QVERIFY(s->AlertBlinking());
        // Not shown at once: the blink timer alternates the two texts.
        QCOMPARE(Shown(s->ConnectionReadout()), QString("48kHz"));
        const QStringList seen = Watch(s, 2000);
        QVERIFY2(seen.size() >= 3, qPrintable(seen.join('|')));
        QCOMPARE(seen[1], QString("Sync Err"));
        QCOMPARE(seen[2], QString("48kHz"));
        // A status text during the alert is taken but not shown at once.
        s->SetStatusText("44.1kHz");
        QCOMPARE(s->StatusText(), QString("44.1kHz"));
        s->StopAlert("96kHz");
        QVERIFY(!s->AlertBlinking());
        QCOMPARE(Shown(s->ConnectionReadout()), QString("96kHz"));
        const QStringList after = Watch(s, 1000);
        QCOMPARE(after, QStringList{"96kHz"});
    }

    void metersFollowTheContainer()
    {
        Rig rig;
        rig.strip->SetMeterLevels(40, 2);
        // A meter falls by at most 3 per reading.
        QCOMPARE(rig.strip->MeterLeft()->GetPos(), 3);
        QCOMPARE(rig.strip->MeterRight()->GetPos(), 2);
        rig.strip->DropMeters();
        QVERIFY(rig.strip->MeterLeft()->IsFalling());
        QVERIFY(rig.strip->MeterRight()->IsFalling());
    }

    void realSliderDrivesTheStrip()
    {
        Rig rig;
        rig.strip->VolumeLeft()->setFocus();
        QTest::keyClick(rig.strip->VolumeLeft(), Qt::Key_End);
        QCoreApplication::sendPostedEvents(rig.strip);
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].code, UM_VOLUME);
        QCOMPARE(Low(log[0]), quint16(1));
        QCOMPARE(log[0].lParam, qintptr(-63));
    }
};

QTEST_MAIN(StereoInStripTest)
#include "StereoInStripTest.moc"
