// What the main window paints of its surfaces, against the simulated rig:
// all meters of a surface in one paint event per reading; nothing while the
// window is minimised and nothing of a hidden tab, while the device reads go
// on; shown again, a surface shows the current state at once.
#include "mixer/app/tests/panel/MainWindowRig.h"

#include <QPaintEvent>
#include <QScreen>
#include <QTest>

#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MeterLayer.h"
#include "sim/FwMemory.h"

namespace {

using qel::mixer::test::ConfigFolder;
using Window = qel::mixer::test::SurfaceWindow;

// Counts the paint events of the watched widgets.
class PaintCount : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
    int paints = 0;
    QRegion painted;
};

void SetLevel(Window& w, std::uint32_t device, double percent)
{
    w.rig->withFwDevice(device, [&](qel::sim::FwDeviceModel& m) {
        auto& memory = qel::sim::FwFirmware::of(m)->memory();
        for (std::uint32_t i = 0; i < 18; ++i)
            memory.setSignal(i, qel::sim::FwMemory::Signal::Constant, percent);
    });
}

std::uint32_t MeterReads(Window& w)
{
    std::uint32_t reads = 0;
    w.rig->withFwDevice(Window::kFw1814, [&](qel::sim::FwDeviceModel& m) {
        reads = qel::sim::FwFirmware::of(m)->memory().reads();
    });
    return reads;
}

} // namespace

class SurfacePaintTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_folder = ConfigFolder::WithShippedConfig();
        QVERIFY(m_folder->Valid());
    }
    void cleanup() { m_folder.reset(); }

    void allMetersOfASurfaceArePaintedInOnePaintEventPerReading()
    {
        Window w;
        QVERIFY(w.Start());
        w.dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
        CMeterLayer* layer = w.Mixer()->MeterLayer();
        QVERIFY(layer);
        const auto meters = w.Mixer()->findChildren<CLevelMeter*>();
        QVERIFY(meters.size() >= 12);
        QCOMPARE(layer->Meters().size(), meters.size());
        QRegion places;
        for (CLevelMeter* m : meters) {
            QCOMPARE(m->Layer(), layer);
            places += QRect(m->mapTo(w.Mixer(), QPoint(0, 0)), m->size());
        }
        QCOMPARE(layer->MeterRegion(), places);
        // The pointer (and with it tooltips) still finds the meters under the layer.
        for (CLevelMeter* m : meters)
            QCOMPARE(w.Mixer()->childAt(m->mapTo(w.Mixer(), m->rect().center())), m);

        PaintCount onLayer;
        PaintCount onMeters;
        layer->installEventFilter(&onLayer);
        for (CLevelMeter* m : meters)
            m->installEventFilter(&onMeters);
        SetLevel(w, Window::kFw1814, 90.0);
        const std::uint32_t before = MeterReads(w);
        for (int i = 0; i < 10; ++i) {
            w.Mixer()->OnMeterTimer();
            QCoreApplication::processEvents();
        }
        // The container's own timer may have read as well meanwhile.
        const int reads = int(MeterReads(w) - before);
        QVERIFY(reads >= 10);
        // Every reading moved every meter (a rise is at most 3 per reading from
        // 100 down); the layer painted them together, the meters not at all.
        QCOMPARE(onMeters.paints, 0);
        QVERIFY(onLayer.paints >= 1);
        QVERIFY2(onLayer.paints <= reads, qPrintable(QStringLiteral("%1 paints for %2 readings").arg(onLayer.paints).arg(reads)));
        QVERIFY(!onLayer.painted.isEmpty());
        QVERIFY((onLayer.painted - places).isEmpty());
    }

    void theLayerPaintsTheMetersExactlyAsTheyPaintThemselves()
    {
        Window w;
        QVERIFY(w.Start());
        w.dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
        SetLevel(w, Window::kFw1814, 60.0);
        for (int i = 0; i < 60; ++i)
            w.Mixer()->OnMeterTimer();
        // Steady bars, each with a peak mark above it from a louder moment.
        SetLevel(w, Window::kFw1814, 80.0);
        w.Mixer()->OnMeterTimer();
        SetLevel(w, Window::kFw1814, 60.0);
        for (int i = 0; i < 10; ++i)
            w.Mixer()->OnMeterTimer();
        CLevelMeter* first = w.Mixer()->InputStrips().at(0)->MeterLeft();
        QVERIFY(first->PeakMarkPixel() >= 0);
        QCoreApplication::processEvents();
        const QImage layered = w.Mixer()->grab().toImage();
        // What the window shows: its backing store as painted through the layer.
        const QImage shown = w.dlg.screen()->grabWindow(w.dlg.winId()).toImage().convertToFormat(layered.format());
        const QPoint mixerAt = w.Mixer()->mapTo(&w.dlg, QPoint(0, 0));

        delete w.Mixer()->MeterLayer();
        QCOMPARE(first->Layer(), nullptr);
        QCoreApplication::processEvents();
        const QImage own = w.Mixer()->grab().toImage();
        // Meter by meter (the title above slides on its own meanwhile).
        for (CLevelMeter* m : w.Mixer()->findChildren<CLevelMeter*>()) {
            const QRect place(m->mapTo(w.Mixer(), QPoint(0, 0)), m->size());
            QCOMPARE(layered.copy(place), own.copy(place));
            if (shown.size() == w.dlg.size() * shown.devicePixelRatio())
                QCOMPARE(shown.copy(place.translated(mixerAt)), own.copy(place));
        }
        QCOMPARE(shown.size(), w.dlg.size());
        // Nothing under the layer was left unpainted: the bars show lit rows.
        const QPoint at = first->mapTo(w.Mixer(), QPoint(first->width() / 2, first->height() - 2));
        QVERIFY(qGray(own.pixel(at)) > 0x30);
    }

    void minimisedWindowPaintsNothingAndShowsTheCurrentStateWhenRestored()
    {
        Window w;
        QVERIFY(w.Start());
        w.dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
        CLevelMeter* meter = w.Mixer()->InputStrips().at(0)->MeterLeft();
        SetLevel(w, Window::kFw1814, 90.0);
        QTRY_VERIFY_WITH_TIMEOUT(meter->GetPos() <= 15, 5000);

        // The surface's meter layer paints the meter.
        QWidget* painter = meter->Layer();
        QVERIFY(painter);
        const QRect place(meter->mapTo(painter->parentWidget(), QPoint(0, 0)), meter->size());
        w.dlg.showMinimized();
        QVERIFY(w.dlg.isMinimized());
        QVERIFY(!w.Mixer()->updatesEnabled());
        // What was asked for before the window went is painted still.
        QCoreApplication::processEvents();
        PaintCount count;
        painter->installEventFilter(&count);
        // The reads go on and move the meter; nothing is painted of it.
        SetLevel(w, Window::kFw1814, 10.0);
        QTRY_VERIFY_WITH_TIMEOUT(meter->GetPos() >= 85, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(count.paints, 0);

        w.dlg.showNormal();
        QVERIFY(!w.dlg.isMinimized());
        QVERIFY(w.Mixer()->updatesEnabled());
        // Restored, the whole meter is painted at once, with its current state.
        QTRY_VERIFY_WITH_TIMEOUT(count.paints > 0, 2000);
        QVERIFY(count.painted.contains(place));
        painter->removeEventFilter(&count);
    }

    void aHiddenTabPaintsNothingWhileItsReadsGoOn()
    {
        Window w;
        QVERIFY(w.Start());
        w.dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
        // The first tab's surface (the Kavro 610) is hidden behind the 1814's.
        CMixerCtrlContainer* hidden = w.dlg.Containers().at(0);
        QVERIFY(!hidden->isVisible());
        QVERIFY(!hidden->InputStrips().isEmpty());
        CLevelMeter* meter = hidden->InputStrips().at(0)->MeterLeft();
        QWidget* painter = meter->Layer();
        QVERIFY(painter);
        PaintCount count;
        painter->installEventFilter(&count);
        const int before = meter->GetPos();
        SetLevel(w, 1, before > 50 ? 90.0 : 5.0);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(meter->GetPos() - before) > 30, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(count.paints, 0);

        w.dlg.ShowMixer(0);
        QTRY_VERIFY_WITH_TIMEOUT(count.paints > 0, 2000);
        QVERIFY(count.painted.contains(QRect(meter->mapTo(painter->parentWidget(), QPoint(0, 0)), meter->size())));
        painter->removeEventFilter(&count);
    }

private:
    std::unique_ptr<ConfigFolder> m_folder;
};

QTEST_MAIN(SurfacePaintTest)
#include "SurfacePaintTest.moc"
