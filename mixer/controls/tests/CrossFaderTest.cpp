#include "ElementHarness.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "ui/ControlId.h"

#include <QLabel>

namespace {

struct Rig {
    CMessageLog container;
    CCrossFaderStrip* strip = new CCrossFaderStrip;

    Rig()
    {
        // As the container builds: create, then give the block id.
        strip->Create(&container);
        strip->SetBlockId(0x2C);
    }
    // Delivers what the slider and the strip have queued, then the container's.
    const QList<LoggedMessage>& Log()
    {
        QCoreApplication::sendPostedEvents(strip);
        return container.Drain();
    }
    QList<LoggedMessage> Crossfades()
    {
        QList<LoggedMessage> found;
        for (const LoggedMessage& m : Log())
            if (m.code == UM_CROSSFADE)
                found << m;
        return found;
    }
};

} // namespace

class CrossFaderTest : public QObject {
    Q_OBJECT

private slots:
    void templateAndInitialisation()
    {
        Rig rig;
        CCrossFaderStrip* s = rig.strip;
        QCOMPARE(s->size(), QSize(614, 52));
        QCOMPARE(FindControl<QLabel>(s, 1070)->text(), QString("CrossFader"));
        QCOMPARE(FindControl<QLabel>(s, 1070)->font().pixelSize(), 12);
        QCOMPARE(FindControl<QLabel>(s, 1078)->text(), QString("Line 1/2 PC"));
        QCOMPARE(FindControl<CBitmapSlider>(s, 1065), s->Slider());
        QCOMPARE(s->Slider()->size(), QSize(351, 13));
        QCOMPARE(s->Slider()->Minimum(), -127);
        QCOMPARE(s->Slider()->Maximum(), 127);
        QVERIFY(!s->Slider()->IsVertical());
        QCOMPARE(ControlId(s->Readout()), 1066);
        QCOMPARE(s->Readout()->Text(), QString("    0"));
        bool monitorIn = false;
        for (QLabel* label : s->findChildren<QLabel*>())
            monitorIn |= label->text() == "Monitor in";
        QVERIFY(monitorIn);
    }

    void buildingCentresTheDevice()
    {
        Rig rig;
        const QList<LoggedMessage> sent = rig.Crossfades();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(High(sent[0]), quint16(0x2C));
        QCOMPARE(Low(sent[0]), quint16(0));
        QCOMPARE(sent[0].lParam, qintptr(0));
    }

    void onlyChangedValuesAreSent()
    {
        Rig rig;
        rig.Crossfades();
        rig.container.messages.clear();
        // The first slider message is sent even at the centre.
        Moved(rig.strip, 1065, 0);
        Moved(rig.strip, 1065, 0);
        Moved(rig.strip, 1065, 30);
        Moved(rig.strip, 1065, 30);
        Moved(rig.strip, 1065, -127);
        const QList<LoggedMessage> sent = rig.Crossfades();
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[0].lParam, qintptr(0));
        QCOMPARE(sent[1].lParam, qintptr(-30));
        QCOMPARE(sent[2].lParam, qintptr(127));
        QCOMPARE(High(sent[2]), quint16(0x2C));
        QCOMPARE(rig.strip->Readout()->Text(), QString(" -127"));
        QCOMPARE(rig.strip->LastSentValue(), 127);
    }

    void holdingStillPostsOnce()
    {
        Rig rig;
        rig.container.show();
        rig.strip->show();
        rig.Crossfades();
        rig.container.messages.clear();
        CBitmapSlider* slider = rig.strip->Slider();
        const QPoint thumb(slider->PosToPixel(slider->GetPos()), slider->height() / 2);
        QTest::mousePress(slider, Qt::LeftButton, {}, thumb);
        QTest::qWait(250);
        // The drag timer has reported about 8 times by now.
        QCOMPARE(rig.Crossfades().size(), 1);
        QVERIFY(rig.strip->IsDragging());
        // Device values wait while the slider is held.
        rig.strip->SetCrossfade(2, 0, 40.7);
        QCOMPARE(slider->GetPos(), 0);
        QCOMPARE(rig.strip->Readout()->Text(), QString("    0"));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, thumb);
        rig.Log();
        QVERIFY(!rig.strip->IsDragging());
        rig.strip->SetCrossfade(2, 0, 40.7);
        QCOMPARE(slider->GetPos(), -40);
    }

    void deviceValues()
    {
        Rig rig;
        rig.strip->SetCrossfade(2, 0, 40.7);
        QCOMPARE(rig.strip->Slider()->GetPos(), -40);
        QCOMPARE(rig.strip->Readout()->Text(), QString("  -40"));
        rig.strip->SetCrossfade(2, 0, -0.5);
        QCOMPARE(rig.strip->Slider()->GetPos(), 0);
        QCOMPARE(Shown(rig.strip->Readout()), QString("0"));
        // The read-out follows the slider to its end.
        rig.strip->SetCrossfade(2, 0, -128);
        QCOMPARE(rig.strip->Slider()->GetPos(), 127);
        QCOMPARE(Shown(rig.strip->Readout()), QString("127"));
        // Device values are not sent back.
        QCOMPARE(rig.Crossfades().size(), 1);
    }

    // Sent 30, the device turned to 12, moved back to 30: sent again; a move
    // to the value the device holds is not.
    void aMoveBackAfterADeviceValueIsSent()
    {
        Rig rig;
        Moved(rig.strip, 1065, -30);
        rig.strip->SetCrossfade(2, 0, 12);
        Moved(rig.strip, 1065, -30);
        Moved(rig.strip, 1065, -30);
        rig.strip->SetCrossfade(2, 0, -5);
        Moved(rig.strip, 1065, 5);
        QList<qintptr> sent;
        for (const LoggedMessage& m : rig.Crossfades())
            sent << m.lParam;
        sent.removeOne(0);  // the centring of the build
        QCOMPARE(sent, QList<qintptr>({30, 30}));
    }

    void keyStepsDoNotHoldOffDeviceValues()
    {
        Rig rig;
        rig.strip->Slider()->setFocus();
        QTest::keyClick(rig.strip->Slider(), Qt::Key_Home);
        const QList<LoggedMessage> sent = rig.Crossfades();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[1].lParam, qintptr(127));
        QCOMPARE(Shown(rig.strip->Readout()), QString("-127"));
        QVERIFY(!rig.strip->IsDragging());
        rig.strip->SetCrossfade(2, 0, 12);
        QCOMPARE(rig.strip->Slider()->GetPos(), -12);
    }

    void narrowingHooks()
    {
        Rig rig;
        CCrossFaderStrip* s = rig.strip;
        QCOMPARE(s->SliderTrackWidth(), 351);
        const int rightEdge = 360;
        QVERIFY(s->SliderTrackWidth() + CCrossFaderStrip::kNarrowMargin > rightEdge);
        s->SetSliderTrackWidth(rightEdge - CCrossFaderStrip::kNarrowMargin);
        QLabel* right = FindControl<QLabel>(s, CCrossFaderStrip::kRightLabelId);
        QVERIFY(s->PlaceControl(CCrossFaderStrip::kRightLabelId, 230, CCrossFaderStrip::kNarrowLabelY));
        QCOMPARE(right->pos(), QPoint(230, 27));
        s->grab();
        QCOMPARE(s->SliderTrackWidth(), 230);
        // The thumb's travel ends at the cut.
        QVERIFY(s->Slider()->PosToPixel(127) < 230);
    }
};

QTEST_MAIN(CrossFaderTest)
#include "CrossFaderTest.moc"
