#include "MessageLog.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MixerMessages.h"
#include "ui/SkinLoader.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTest>

namespace {

constexpr int kFaderId = 1012;

// A volume fader as the strips set it up.
CBitmapSlider* MakeFader(QWidget* parent)
{
    auto* s = new CBitmapSlider(parent, kFaderId);
    s->SetTrack(141, 0, true, 0xFFFFFF);
    s->SetThumb(139);
    s->SetVertical(true);
    s->SetRange(0, 63);
    return s;
}

CBitmapSlider* MakePan(QWidget* parent, int trackId = 152)
{
    auto* s = new CBitmapSlider(parent, 1010);
    s->SetTrack(trackId, 0, true, 0xFFFFFF);
    s->SetThumb(150);
    s->SetRange(-127, 127);
    return s;
}

CLevelMeter* MakeMeter(QWidget* parent)
{
    auto* m = new CLevelMeter(parent, 1014);
    m->SetTrack(143, 142, false);
    m->SetVertical(true);
    m->SetRange(0, 100);
    return m;
}

QPoint AlongFader(int y)
{
    return QPoint(5, y);
}

} // namespace

class SliderTest : public QObject {
    Q_OBJECT

private slots:
    void setPosClampsAndPostsNothing()
    {
        CMessageLog parent;
        CBitmapSlider* fader = MakeFader(&parent);
        QCOMPARE(fader->size(), QSize(10, 199));
        fader->SetPos(200);
        QCOMPARE(fader->GetPos(), 63);
        fader->SetPos(-5);
        QCOMPARE(fader->GetPos(), 0);
        fader->SetPos(31);
        QCOMPARE(fader->GetPos(), 31);
        QVERIFY(parent.Drain().isEmpty());
    }

    void positionAndPixelFollowTheThumbTravel()
    {
        QWidget parent;
        CBitmapSlider* fader = MakeFader(&parent);
        const int half = fader->ThumbSize().height() / 2;
        // Ends: the thumb centre sits half a thumb inside each end of the track.
        QCOMPARE(fader->PosToPixel(0), half);
        QCOMPARE(fader->PosToPixel(63), 199 - 25 + half);
        QCOMPARE(fader->PixelToPos(fader->PosToPixel(0)), 0);
        QCOMPARE(fader->PixelToPos(fader->PosToPixel(63)), 63);
        int previous = -1;
        for (int p = 0; p <= 63; ++p) {
            const int pixel = fader->PosToPixel(p);
            QVERIFY(pixel > previous);
            previous = pixel;
            // Pixel maths truncates: back from a pixel lands on p or one below.
            const int back = fader->PixelToPos(pixel);
            QVERIFY2(back == p || back == p - 1, qPrintable(QString("%1 -> %2").arg(p).arg(back)));
        }
        // Margins narrow the travel at both ends.
        fader->SetMargins(0, 4, 0, 6);
        QCOMPARE(fader->PosToPixel(0), 4 + half);
        QCOMPARE(fader->PosToPixel(63), 199 - 6 - 25 + half);
    }

    void equalRangeEndsDoNotDivideByZero()
    {
        CMessageLog parent;
        CBitmapSlider* s = MakePan(&parent);
        s->SetRange(5, 5);
        s->SetPos(-40);
        QCOMPARE(s->GetPos(), 5);
        QCOMPARE(s->PosToPixel(5), s->ThumbSize().width() / 2);
        QTest::mousePress(s, Qt::LeftButton, {}, QPoint(30, 6));
        QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(30, 6));
        QCOMPARE(s->GetPos(), 5);
        // A thumb as long as the track leaves no travel at all.
        CBitmapSlider* flat = new CBitmapSlider(&parent, 1);
        flat->SetTrack(CSkin::Bitmap(150), QPixmap(), true);
        flat->SetThumb(150);
        flat->SetRange(0, 10);
        QCOMPARE(flat->PixelToPos(3), 0);
        s->grab();
        flat->grab();
    }

    void clickFarFromThumbJumpsOnThumbGrabs()
    {
        CMessageLog parent;
        CBitmapSlider* fader = MakeFader(&parent);
        fader->SetPos(0);
        QTest::mousePress(fader, Qt::LeftButton, {}, AlongFader(150));
        QCOMPARE(fader->GrabOffset(), 0);
        QVERIFY(fader->IsDragging());
        // The thumb centre came to the pointer, within one step of travel.
        QVERIFY(qAbs(fader->PosToPixel(fader->GetPos()) - 150) <= 3);
        QTest::mouseRelease(fader, Qt::LeftButton, {}, AlongFader(150));
        QVERIFY(!fader->IsDragging());

        fader->SetPos(30);
        const int centre = fader->PosToPixel(30);
        QTest::mousePress(fader, Qt::LeftButton, {}, AlongFader(centre + 7));
        QCOMPARE(fader->GrabOffset(), 7);
        // The pixel maths truncate, so the thumb may settle one step back, never more.
        QVERIFY(fader->GetPos() == 30 || fader->GetPos() == 29);
        // Dragging keeps the offset: the thumb moves with the pointer.
        const int pointer = fader->PosToPixel(40) + 7;
        QTest::mouseMove(fader, AlongFader(pointer));
        QVERIFY(fader->GetPos() == 40 || fader->GetPos() == 39);
        QVERIFY(qAbs(fader->PosToPixel(fader->GetPos()) + 7 - pointer) <= 3);
        QVERIFY(fader->IsTracking());
        // Beyond the end the position stops at the range end.
        QTest::mouseMove(fader, AlongFader(400));
        QCOMPARE(fader->GetPos(), 63);
        QTest::mouseMove(fader, AlongFader(-50));
        QCOMPARE(fader->GetPos(), 0);
        QTest::mouseRelease(fader, Qt::LeftButton, {}, AlongFader(-50));

        const auto& log = parent.Drain();
        QVERIFY(log.size() >= 2);
        // Release reports the position twice: moved, then released.
        QCOMPARE(log[log.size() - 2].code, UM_SLIDER_MOVED);
        QCOMPARE(log.last().code, UM_SLIDER_RELEASED);
        QCOMPARE(log.last().wParam, quintptr(kFaderId));
        QCOMPARE(log.last().lParam, qintptr(0));
    }

    void holdingStillReportsEvery30ms()
    {
        CMessageLog parent;
        CBitmapSlider* fader = MakeFader(&parent);
        fader->SetPos(20);
        const QPoint onThumb = AlongFader(fader->PosToPixel(20));
        QElapsedTimer clock;
        clock.start();
        QTest::mousePress(fader, Qt::LeftButton, {}, onThumb);
        const int held = fader->GetPos();
        QTest::qWait(1000);
        const qint64 elapsed = clock.elapsed();
        QTest::mouseRelease(fader, Qt::LeftButton, {}, onThumb);
        const int moves = parent.Count(UM_SLIDER_MOVED) - 1; // the last comes with the release
        const int expected = int(elapsed / CBitmapSlider::kDragTimerMs);
        QVERIFY2(moves >= expected * 3 / 4 && moves <= expected + 1,
                 qPrintable(QString("%1 moves in %2 ms").arg(moves).arg(elapsed)));
        QVERIFY(qAbs(held - 20) <= 1);
        for (const LoggedMessage& m : parent.messages)
            QCOMPARE(m.lParam, qintptr(held));
        // No reports once released.
        QTest::qWait(100);
        QCOMPARE(parent.Count(UM_SLIDER_MOVED), moves + 1);
    }

    void keyboardStepsAndReports()
    {
        CMessageLog parent;
        CBitmapSlider* pan = MakePan(&parent);
        QTest::keyClick(pan, Qt::Key_End);
        QCOMPARE(pan->GetPos(), 127);
        QTest::keyClick(pan, Qt::Key_Home);
        QCOMPARE(pan->GetPos(), -127);
        QTest::keyClick(pan, Qt::Key_PageDown);
        QCOMPARE(pan->GetPos(), -117);
        QTest::keyClick(pan, Qt::Key_PageUp);
        QTest::keyClick(pan, Qt::Key_PageUp);
        QCOMPARE(pan->GetPos(), -127);
        QTest::keyClick(pan, Qt::Key_Right);
        QTest::keyClick(pan, Qt::Key_Down);
        QCOMPARE(pan->GetPos(), -125);
        QTest::keyClick(pan, Qt::Key_Left);
        QTest::keyClick(pan, Qt::Key_Up);
        QCOMPARE(pan->GetPos(), -127);
        QTest::keyClick(pan, Qt::Key_A); // not a slider key
        const auto& log = parent.Drain();
        const qintptr expected[] = {127, -127, -117, -127, -127, -126, -125, -126, -127};
        QCOMPARE(log.size(), 9);
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(log[i].code, UM_SLIDER_MOVED);
            QCOMPARE(log[i].lParam, expected[i]);
        }
    }

    void transparentTrackShowsTheParentThrough()
    {
        QWidget parent;
        parent.setAutoFillBackground(true);
        QPalette pal = parent.palette();
        pal.setColor(QPalette::Window, QColor(200, 0, 0));
        parent.setPalette(pal);
        parent.resize(60, 240);
        CBitmapSlider* fader = MakeFader(&parent);
        fader->move(10, 10);
        fader->SetPos(63);
        const QImage shot = parent.grab().toImage();
        // The track's corner is keyed white: the red parent shows.
        QCOMPARE(QColor(shot.pixel(10, 10)), QColor(200, 0, 0));
        // The slot is drawn.
        QVERIFY(QColor(shot.pixel(15, 100)) != QColor(200, 0, 0));
        // The thumb sits at the bottom: its centre row is drawn, not the track.
        const QImage thumb = CSkin::Image(139, 1.0);
        QCOMPARE(shot.pixel(15, 10 + fader->PosToPixel(63)), thumb.pixel(5, 12));
    }

    void trackWidthOverrideCutsTheTrackAndShortensTravel()
    {
        QWidget parent;
        CBitmapSlider* cross = MakePan(&parent, 136);
        const int fullEnd = cross->PosToPixel(127);
        cross->SetTrackWidthOverride(200);
        cross->grab(); // the override takes effect when painted
        QCOMPARE(cross->TrackSize().width(), 200);
        QCOMPARE(cross->PosToPixel(127), 200 - 7 + 3);
        QVERIFY(cross->PosToPixel(127) < fullEnd);
        cross->SetPos(-127);
        const QImage shot = cross->grab().toImage();
        // Before the cut the slot row differs from the empty row above it; past it, not.
        QVERIFY(shot.pixel(100, 6) != shot.pixel(100, 4));
        QCOMPARE(shot.pixel(300, 6), shot.pixel(300, 4));
    }

    void missingPicturesLeaveAWorkingSlider()
    {
        CMessageLog parent;
        auto* s = new CBitmapSlider(&parent, 7);
        s->resize(14, 120);
        QVERIFY(!s->SetTrack(4711, 0, true, 0xFFFFFF));
        QVERIFY(!s->HasTrack());
        QVERIFY(!s->SetThumb(4712));
        QVERIFY(s->HasThumb()); // a plain one
        s->SetVertical(true);
        s->SetRange(0, 63);
        QTest::mousePress(s, Qt::LeftButton, {}, QPoint(7, 110));
        QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(7, 110));
        QVERIFY(s->GetPos() > 50);
        QCOMPARE(parent.Count(UM_SLIDER_RELEASED), 1);
        QVERIFY(!s->grab().isNull());
        auto* meter = MakeMeter(&parent);
        QVERIFY(!meter->SetTrack(143, 4711, false)); // second track missing: nothing kept
        QVERIFY(!meter->HasTrack());
        QVERIFY(!meter->HasSecondTrack());
    }

    void meterRisesAtOnceAndFallsByThree()
    {
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent);
        meter->SetPos(100);
        meter->SetPos(100);
        QVERIFY(meter->GetPos() < 100);
        while (meter->GetPos() < 100)
            meter->SetPos(100);
        meter->SetPos(0);
        QCOMPARE(meter->GetPos(), 0);
        for (int expected : {3, 6, 9, 12}) {
            meter->SetPos(100);
            QCOMPARE(meter->GetPos(), expected);
        }
        meter->SetPos(5);
        QCOMPARE(meter->GetPos(), 5);
    }

    void fallIsInterruptedByReadings()
    {
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent);
        meter->SetPos(0);
        for (int i = 0; i < 20; ++i)
            meter->SetPos(60);
        QCOMPARE(meter->GetPos(), 60);
        meter->StartFall();
        QVERIFY(meter->IsFalling());
        meter->SetPos(50); // louder than shown while falling: ignored
        QCOMPARE(meter->GetPos(), 60);
        QVERIFY(meter->IsFalling());
        meter->SetPos(80); // quieter: the fall stops, one step of 3
        QCOMPARE(meter->GetPos(), 63);
        QVERIFY(!meter->IsFalling());
    }

    void fallRunsToDarkInStepsOfThree()
    {
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent);
        meter->SetPos(0);
        QElapsedTimer clock;
        clock.start();
        meter->StartFall();
        QList<int> seen{meter->GetPos()};
        while (meter->IsFalling() && clock.elapsed() < 5000) {
            QTest::qWait(5);
            if (meter->GetPos() != seen.last())
                seen.append(meter->GetPos());
        }
        QVERIFY(!meter->IsFalling());
        QCOMPARE(meter->GetPos(), 100);
        for (int i = 1; i < seen.size(); ++i)
            QVERIFY(seen[i] - seen[i - 1] <= 3 * 2); // at most one missed sample
        // 34 ticks of 25 ms.
        QVERIFY2(clock.elapsed() >= 34 * CLevelMeter::kFallTimerMs * 3 / 4,
                 qPrintable(QString::number(clock.elapsed())));
    }

    void meterDrawsDarkAboveAndLitBelowThePosition()
    {
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent);
        meter->SetPos(0);
        for (int i = 0; i < 20; ++i)
            meter->SetPos(50);
        const QImage shot = meter->grab().toImage();
        const QImage lit = CSkin::Image(143, 1.0);
        const QImage dark = CSkin::Image(142, 1.0);
        QVERIFY(lit.pixel(5, 10) != dark.pixel(5, 10));
        QCOMPARE(shot.pixel(5, 10), dark.pixel(5, 10));
        QCOMPARE(shot.pixel(5, 190), lit.pixel(5, 190));
        // Disabled: the second track is not used.
        meter->setEnabled(false);
        QCOMPARE(meter->grab().toImage().pixel(5, 10), lit.pixel(5, 10));
    }

    void meterIgnoresTheMouse()
    {
        CMessageLog parent;
        CLevelMeter* meter = MakeMeter(&parent);
        QTest::mouseClick(meter, Qt::LeftButton, {}, QPoint(5, 20));
        QVERIFY(!meter->IsDragging());
        QVERIFY(parent.Drain().isEmpty());
    }
};

QTEST_MAIN(SliderTest)
#include "SliderTest.moc"
