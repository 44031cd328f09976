#include "MessageLog.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ClipLamp.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MeterExtras.h"
#include "mixer/controls/MeterTick.h"
#include "mixer/controls/SurfaceAccessible.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <cmath>

namespace {

// A clock the test moves by hand.
struct FakeClock {
    qint64 now = 0;
    MeterClock Clock()
    {
        return [this] { return now; };
    }
};

CLevelMeter* MakeMeter(QWidget* parent, FakeClock& clock)
{
    auto* m = new CLevelMeter(parent, 1014);
    m->SetTrack(143, 142, false);
    m->SetVertical(true);
    m->SetRange(0, 100);
    m->SetClock(clock.Clock());
    // A new meter starts fully lit: take it down to dark and let its mark go
    // before the test's own time starts at 0.
    clock.now = -100000;
    while (m->GetPos() < 100)
        m->SetPos(100);
    clock.now += 10000;
    m->UpdatePeak();
    clock.now = 0;
    return m;
}

// Top row of the mark for a level in dB on the 200-pixel meter picture.
int MarkRow(double db)
{
    return int(std::floor(200.0 * (1.0 - std::pow(10.0, db / 20.0)) + 1e-6));
}

// Records the paint events a widget gets.
class CPaintLog : public QObject {
public:
    explicit CPaintLog(QWidget* w) { w->installEventFilter(this); }
    QList<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            regions.append(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

// Delivers pending updates so that what was asked to repaint is painted.
void Settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class MeterTest : public QObject {
    Q_OBJECT

private slots:
    void movementStaysAsBefore()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter->SetPos(100);
        meter->SetPos(0);
        QCOMPARE(meter->GetPos(), 0);
        for (int expected : {3, 6, 9}) {
            clock.now += 50;
            meter->SetPos(100);
            QCOMPARE(meter->GetPos(), expected);
        }
        meter->StartFall();
        meter->SetPos(5); // ignored while falling
        QCOMPARE(meter->GetPos(), 9);
        meter->SetPos(80);
        QCOMPARE(meter->GetPos(), 12);
        QVERIFY(!meter->IsFalling());
    }

    void peakHoldsThenFalls()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter->SetPos(100);
        QCOMPARE(meter->PeakMarkPixel(), -1);
        QVERIFY(std::isinf(meter->PeakDb()));
        QVERIFY(!meter->IsPeakTickPending());

        meter->SetPos(0);
        QCOMPARE(meter->LevelDb(), 0.0);
        QCOMPARE(meter->PeakDb(), 0.0);
        // The bar sits at the peak: no mark of its own.
        QCOMPARE(meter->PeakMarkPixel(), -1);

        // Readings every 50 ms: the bar falls, the mark stays for 1.5 s.
        while (clock.now < CLevelMeter::kPeakHoldMs) {
            clock.now += 50;
            meter->SetPos(100);
            QCOMPARE(meter->PeakDb(), 0.0);
            QCOMPARE(meter->PeakMarkPixel(), 0);
        }
        QVERIFY(meter->IsPeakTickPending());
        QCOMPARE(meter->GetPos(), 90);

        // Then 20 dB a second, moved by the clock alone.
        clock.now = CLevelMeter::kPeakHoldMs + 500;
        meter->UpdatePeak();
        QVERIFY(std::abs(meter->PeakDb() + 10.0) < 1e-9);
        QCOMPARE(meter->PeakMarkPixel(), MarkRow(-10.0));
        clock.now = CLevelMeter::kPeakHoldMs + 750;
        meter->UpdatePeak();
        QVERIFY(std::abs(meter->PeakDb() + 15.0) < 1e-9);
        QCOMPARE(meter->PeakMarkPixel(), MarkRow(-15.0));
        // At the bar's own level (position 90, -20 dB) the mark no longer shows.
        clock.now = CLevelMeter::kPeakHoldMs + 1000;
        meter->UpdatePeak();
        QCOMPARE(meter->PeakMarkPixel(), -1);

        // A mark that reaches the bar is gone and its timer stops.
        clock.now = CLevelMeter::kPeakHoldMs + 1500; // -30 dB: position 96.8, under the bar at 90
        meter->UpdatePeak();
        QCOMPARE(meter->PeakMarkPixel(), -1);
        QVERIFY(!meter->IsPeakTickPending());
        QVERIFY(std::abs(meter->PeakDb() - meter->LevelDb()) < 1e-9);
    }

    void peakComesFromReadings()
    {
        FakeClock clock;
        QWidget parent;
        // A new meter shows fully lit before any reading; that is no peak.
        auto* fresh = new CLevelMeter(&parent, 1014);
        fresh->SetTrack(143, 142, false);
        fresh->SetVertical(true);
        fresh->SetRange(0, 100);
        fresh->SetClock(clock.Clock());
        fresh->SetPos(60);
        QCOMPARE(fresh->GetPos(), 3);
        QCOMPARE(fresh->PeakMarkPixel(), -1);
        for (int i = 0; i < 30; ++i)
            fresh->SetPos(60);
        QCOMPARE(fresh->GetPos(), 60);
        QVERIFY(std::abs(fresh->PeakDb() - 20 * std::log10(0.4)) < 1e-9);

        // A reading the falling bar ignores still counts for the peak.
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter->SetPos(50);
        meter->StartFall();
        meter->SetPos(10);
        QCOMPARE(meter->GetPos(), 50);
        QVERIFY(std::abs(meter->PeakDb() - 20 * std::log10(0.9)) < 1e-9);
        QCOMPARE(meter->PeakMarkPixel(), MarkRow(20 * std::log10(0.9)));
    }

    void newPeaksRestartTheHold()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter->SetPos(50); // about -6 dB
        clock.now = 1000;
        meter->SetPos(50); // the same level again restarts the hold
        clock.now = 2400;
        meter->SetPos(100);
        QVERIFY(std::abs(meter->PeakDb() - 20 * std::log10(0.5)) < 1e-9);

        // A lower reading during the hold leaves the peak.
        meter->SetPos(100);
        meter->SetPos(100);
        clock.now = 2450;
        meter->SetPos(70);
        QVERIFY(std::abs(meter->PeakDb() - 20 * std::log10(0.5)) < 1e-9);

        // During the fall, a reading above the falling mark becomes the peak.
        clock.now = 2500 + 1000; // held -6 dB has fallen to about -16 dB
        meter->SetPos(100);
        // The bar (position 65) is above where the mark has fallen: the peak is the bar's.
        QCOMPARE(meter->GetPos(), 65);
        QVERIFY(std::abs(meter->PeakDb() - meter->LevelDb()) < 1e-9);
        QCOMPARE(meter->PeakMarkPixel(), -1);
        meter->SetPos(40); // -4.4 dB
        QVERIFY(std::abs(meter->PeakDb() - 20 * std::log10(0.6)) < 1e-9);
        clock.now += CLevelMeter::kPeakHoldMs;
        meter->UpdatePeak();
        QVERIFY(std::abs(meter->PeakDb() - 20 * std::log10(0.6)) < 1e-9);
    }

    void markFollowsTheFallAfterTheDeviceIsLost()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter->SetPos(20);
        meter->SetPos(100);
        QCOMPARE(meter->PeakMarkPixel(), MarkRow(20 * std::log10(0.8)));
        QCOMPARE(meter->PeakMarkPixel(), 40);
        // The fall ticks move the bar down; the mark is left at the peak.
        meter->StartFall();
        QTRY_VERIFY_WITH_TIMEOUT(!meter->IsFalling(), 10000);
        QCOMPARE(meter->GetPos(), 100);
        QVERIFY(!meter->IsFalling());
        QCOMPARE(meter->PeakMarkPixel(), MarkRow(20 * std::log10(0.8)));
        // Dark bar: the mark goes when it falls past the floor.
        clock.now += CLevelMeter::kPeakHoldMs + 3000;
        meter->UpdatePeak();
        QCOMPARE(meter->PeakMarkPixel(), -1);
        QVERIFY(std::isinf(meter->PeakDb()));
        QVERIFY(!meter->IsPeakTickPending());
    }

    void markIsDrawnInTheLitColour()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter->SetPos(100);
        const QImage dark = meter->grab().toImage();
        meter->SetPos(30);
        for (int i = 0; i < 10; ++i)
            meter->SetPos(100);
        const int row = meter->PeakMarkPixel();
        QVERIFY(row > 0);
        QVERIFY(row < meter->GetPos() * 2);
        const QImage shown = meter->grab().toImage();
        const QRgb mark = shown.pixel(5, row);
        QVERIFY(mark != dark.pixel(5, row));
        QVERIFY(qGray(mark) > qGray(dark.pixel(5, row)) + 40);
        // Rows between the mark and the bar stay dark.
        QCOMPARE(shown.pixel(5, row + 6), dark.pixel(5, row + 6));
    }

    void repaintsOnlyWhatChanged()
    {
        FakeClock clock;
        QWidget parent;
        parent.resize(40, 220);
        CLevelMeter* meter = MakeMeter(&parent, clock);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        meter->SetPos(0);
        for (int i = 0; i < 10; ++i)
            meter->SetPos(100); // bar at 30, mark at the top
        Settle();
        CPaintLog paints(meter);

        // Same reading, still mark: nothing.
        meter->SetPos(30);
        clock.now = 1000;
        meter->UpdatePeak();
        Settle();
        QCOMPARE(paints.regions.size(), 0);

        // The mark moves: only its old and new rows.
        clock.now = CLevelMeter::kPeakHoldMs + 100;
        meter->UpdatePeak();
        const int row = meter->PeakMarkPixel();
        QVERIFY(row > CLevelMeter::kPeakMarkHeight);
        Settle();
        QCOMPARE(paints.regions.size(), 1);
        const QRegion expected = QRegion(0, 0, meter->width(), CLevelMeter::kPeakMarkHeight) +
                                 QRegion(0, row, meter->width(), CLevelMeter::kPeakMarkHeight);
        QCOMPARE(paints.regions.first(), expected);

        // A tick that leaves the mark on its row: nothing.
        paints.regions.clear();
        clock.now += 1;
        meter->UpdatePeak();
        Settle();
        QCOMPARE(meter->PeakMarkPixel(), row);
        QCOMPARE(paints.regions.size(), 0);
    }

    // A move of the bar repaints the rows between its old and new edge, not
    // the whole meter.
    void barMovesRepaintOnlyTheRowsBetweenItsEdges()
    {
        FakeClock clock;
        QWidget parent;
        parent.resize(40, 220);
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter::SetExtrasShown(false);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        for (int i = 0; i < 20; ++i)
            meter->SetPos(40);
        QCOMPARE(meter->GetPos(), 40);
        Settle();
        CPaintLog paints(meter);

        meter->SetPos(43); // falls by 3
        Settle();
        QCOMPARE(paints.regions.size(), 1);
        const QRect band = paints.regions.first().boundingRect();
        const int from = meter->PosToPixel(40);
        const int to = meter->PosToPixel(43);
        QVERIFY(to > from);
        QCOMPARE(band.top(), from);
        QCOMPARE(band.bottom(), to);
        QCOMPARE(band.width(), meter->width());
        QVERIFY(band.height() < meter->height() / 10);

        // The picture after the band repaint equals one painted whole.
        const QImage partial = parent.grab(meter->geometry()).toImage();
        meter->update();
        Settle();
        QCOMPARE(parent.grab(meter->geometry()).toImage(), partial);
        meter::SetExtrasShown(true);
    }

    // Meters that start falling together are stepped by one shared tick; the
    // tick stops when every bar is dark.
    void fallingMetersShareOneTick()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* a = MakeMeter(&parent, clock);
        CLevelMeter* b = MakeMeter(&parent, clock);
        meter::SetExtrasShown(false);
        for (int i = 0; i < 40; ++i) {
            a->SetPos(0);
            b->SetPos(30);
        }
        CMeterTick& tick = CMeterTick::Instance();
        QCOMPARE(tick.Waiting(), std::size_t(0));
        QVERIFY(!tick.Running());
        a->StartFall();
        b->StartFall();
        QCOMPARE(tick.Waiting(), std::size_t(2));
        QVERIFY(tick.Running());
        // Each step lowers both bars together: their distance stays.
        QTRY_VERIFY_WITH_TIMEOUT(a->GetPos() > 0 && a->GetPos() < 90, 5000);
        QCOMPARE(b->GetPos() - a->GetPos() <= 30, true);
        QTRY_VERIFY_WITH_TIMEOUT(!a->IsFalling() && !b->IsFalling(), 10000);
        QCOMPARE(a->GetPos(), 100);
        QCOMPARE(b->GetPos(), 100);
        QCOMPARE(tick.Waiting(), std::size_t(0));
        QVERIFY(!tick.Running());
        meter::SetExtrasShown(true);
    }

    // While readings come, they move the mark; when they stop, the tick
    // moves it on. A meter that goes away leaves nothing behind in the tick.
    void markMovesOnByTheTickWhenReadingsStop()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter->SetPos(0);
        for (int i = 0; i < 40; ++i)
            meter->SetPos(100);
        QCOMPARE(meter->GetPos(), 100);
        QCOMPARE(meter->PeakMarkPixel(), 0);
        QVERIFY(meter->IsPeakTickPending());
        // No reading any more; on the meter's clock the held peak has fallen 10 dB.
        clock.now = CLevelMeter::kPeakHoldMs + 500;
        QTRY_COMPARE_WITH_TIMEOUT(meter->PeakMarkPixel(), MarkRow(-10.0), 2000);

        CMeterTick& tick = CMeterTick::Instance();
        QVERIFY(tick.Requested(meter));
        delete meter;
        QCOMPARE(tick.Waiting(), std::size_t(0));
        QVERIFY(!tick.Running());
    }

    void toolTipShowsLevelAndPeak()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent, clock);
        meter->SetPos(100);
        QCOMPARE(meter->ToolTipText(), QStringLiteral("Level -inf dB, peak -inf dB"));
        meter->SetPos(0);
        for (int i = 0; i < 16; ++i)
            meter->SetPos(100); // bar at 48: -5.7 dB
        QCOMPARE(meter->ToolTipText(), QStringLiteral("Level -6 dB, peak 0 dB"));

        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), meter->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(meter, &help);
        QCOMPARE(QToolTip::text(), surface::ControlToolTip(meter));
        QVERIFY(QToolTip::text().endsWith(QStringLiteral("-6 dB, peak 0 dB")));
        QToolTip::hideText();
    }

    void formatsDbWithAPoint()
    {
        QCOMPARE(CLevelMeter::FormatDb(-18.4), QStringLiteral("-18 dB"));
        QCOMPARE(CLevelMeter::FormatDb(-0.2), QStringLiteral("0 dB"));
        QCOMPARE(CLevelMeter::FormatDb(-1234.6), QStringLiteral("-1235 dB"));
        QCOMPARE(CLevelMeter::FormatDb(-std::numeric_limits<double>::infinity()),
                 QStringLiteral("-inf dB"));
        QCOMPARE(CLevelMeter::FormatDb(std::nan("")), QStringLiteral("-inf dB"));
    }

    // With peak hold and clip switched off (the timed harness compares the
    // two) a full-scale reading leaves no mark, no timer and no lit lamp, and
    // the bar moves as ever; switched on again, both work at once.
    void extrasSwitchedOffLeaveOnlyTheBar()
    {
        FakeClock clock;
        QWidget parent;
        CLevelMeter* meter = MakeMeter(&parent, clock);
        auto* lamp = new CClipLamp(&parent);
        lamp->SetClock(clock.Clock());
        meter->SetPos(0);
        clock.now += 50;
        meter->SetPos(100);
        QVERIFY(meter->PeakMarkPixel() >= 0);

        meter::SetExtrasShown(false);
        clock.now += 50;
        meter->SetPos(100);
        QCOMPARE(meter->PeakMarkPixel(), -1);
        QVERIFY(!meter->IsPeakTickPending());
        meter->SetPos(0);
        lamp->Observe(0, 0);
        for (int expected : {3, 6}) {
            clock.now += 50;
            meter->SetPos(100);
            QCOMPARE(meter->GetPos(), expected);
        }
        QCOMPARE(meter->PeakMarkPixel(), -1);
        QVERIFY(!lamp->IsLit());

        meter::SetExtrasShown(true);
        meter->SetPos(0);
        clock.now += 50;
        meter->SetPos(100);
        QVERIFY(meter->PeakMarkPixel() >= 0);
        lamp->Observe(0, 0);
        QVERIFY(lamp->IsLit());
    }

    // From the keyboard: Tab reaches the lamp and Space clears it.
    void clipLampClearsWithSpace()
    {
        FakeClock clock;
        QWidget parent;
        auto* lamp = new CClipLamp(&parent);
        lamp->SetClock(clock.Clock());
        lamp->resize(24, 4);
        QVERIFY(lamp->focusPolicy() & Qt::TabFocus);
        QVERIFY(!(lamp->focusPolicy() & Qt::ClickFocus));
        lamp->Observe(0, 40);
        QVERIFY(lamp->IsLit());
        QTest::keyClick(lamp, Qt::Key_A);
        QVERIFY(lamp->IsLit());
        QTest::keyClick(lamp, Qt::Key_Space);
        QVERIFY(!lamp->IsLit());
    }

    void clipLampLightsAndGoesOut()
    {
        FakeClock clock;
        QWidget parent;
        auto* lamp = new CClipLamp(&parent);
        lamp->SetClock(clock.Clock());
        lamp->resize(24, 4);
        QSignalSpy changes(lamp, &CClipLamp::litChanged);

        lamp->Observe(1, 50); // 99 %: not full scale
        QVERIFY(!lamp->IsLit());
        QCOMPARE(lamp->ToolTipText(), QStringLiteral("Clip: off"));
        clock.now = 100;
        lamp->Observe(40, 0); // 100 % on the right
        QVERIFY(lamp->IsLit());
        QCOMPARE(changes.size(), 1);
        QCOMPARE(lamp->ToolTipText(), QStringLiteral("Clip: on (click to clear)"));

        clock.now = 100 + CClipLamp::kLitMs - 1;
        lamp->Refresh();
        QVERIFY(lamp->IsLit());
        clock.now = 100 + CClipLamp::kLitMs;
        lamp->Refresh();
        QVERIFY(!lamp->IsLit());
        QCOMPARE(changes.size(), 2);

        // Another full-scale reading keeps it lit 5 s from that reading.
        clock.now = 10000;
        lamp->Observe(-20, 60); // above full scale
        clock.now = 13000;
        lamp->Observe(0, 0);
        clock.now = 17000;
        lamp->Refresh();
        QVERIFY(lamp->IsLit());
        clock.now = 18000;
        lamp->Refresh();
        QVERIFY(!lamp->IsLit());

        // A click puts it out at once.
        lamp->Observe(0, 100);
        QVERIFY(lamp->IsLit());
        QTest::mouseClick(lamp, Qt::LeftButton);
        QVERIFY(!lamp->IsLit());
        lamp->Observe(0, 100);
        QTest::mouseClick(lamp, Qt::RightButton);
        QVERIFY(lamp->IsLit());
    }

    void clipLampIsPaintedLitAndDark()
    {
        FakeClock clock;
        QWidget parent;
        auto* lamp = new CClipLamp(&parent);
        lamp->SetClock(clock.Clock());
        lamp->resize(24, 4);
        const QImage dark = lamp->grab().toImage();
        lamp->Observe(0, 0);
        const QImage lit = lamp->grab().toImage();
        const QColor d = dark.pixelColor(12, 2), l = lit.pixelColor(12, 2);
        QVERIFY(l.red() > d.red() + 100);
        QVERIFY(l.red() > l.green() * 2);
    }

    void stripsGiveEachMeterPairALamp()
    {
        FakeClock clock;
        CMessageLog container;
        auto* input = new CChannelStripStereoIn;
        input->Create(&container);
        auto* master = new CChannelStripMainOut;
        master->Create(&container);
        input->SetMeterClock(clock.Clock());
        master->SetMeterClock(clock.Clock());

        for (CMixerElement* element : {static_cast<CMixerElement*>(input), static_cast<CMixerElement*>(master)}) {
            const bool isInput = element == input;
            CClipLamp* lamp = isInput ? input->ClipLamp() : master->ClipLamp();
            CLevelMeter* left = isInput ? input->MeterLeft() : master->MeterLeft();
            CLevelMeter* right = isInput ? input->MeterRight() : master->MeterRight();
            QVERIFY(lamp->parentWidget() == element);
            // Above the pair, as wide as it, inside the strip.
            QCOMPARE(lamp->x(), left->x());
            QCOMPARE(lamp->geometry().right(), right->geometry().right());
            QVERIFY(lamp->geometry().bottom() < left->y());
            QVERIFY(lamp->y() >= 0);
            // Clear of the controls above it.
            for (QWidget* other : element->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (other != lamp && other->isVisibleTo(element))
                    QVERIFY2(!other->geometry().intersects(lamp->geometry()),
                             qPrintable(other->metaObject()->className()));

            element->SetMeterLevels(30, 40);
            QVERIFY(!lamp->IsLit());
            element->SetMeterLevels(30, -3);
            QVERIFY(lamp->IsLit());
            // Both meters and the lamp run on the strip's clock.
            clock.now += CClipLamp::kLitMs;
            lamp->Refresh();
            QVERIFY(!lamp->IsLit());
            element->SetMeterLevels(0, 0);
            for (int i = 0; i < 30; ++i)
                element->SetMeterLevels(100, 100); // down to -20 dB
            clock.now += CLevelMeter::kPeakHoldMs + 500;
            left->UpdatePeak();
            QVERIFY(std::abs(left->PeakDb() + 10.0) < 1e-9);
            QVERIFY(std::abs(right->PeakDb() + 10.0) < 1e-9);
            clock.now = 0;
        }

        // Hidden channels hide their lamp with the meters.
        input->ShowChannels(false, QStringLiteral("off"));
        QVERIFY(!input->ClipLamp()->isVisibleTo(input));
        input->ShowChannels(true, QString());
        QVERIFY(input->ClipLamp()->isVisibleTo(input));
    }
};

QTEST_MAIN(MeterTest)
#include "MeterTest.moc"
