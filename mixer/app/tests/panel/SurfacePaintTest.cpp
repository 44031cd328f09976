// What the main window paints of its surfaces, against the simulated rig:
// nothing while it is minimised and nothing of a hidden tab, while the
// device reads go on; shown again, a surface shows the current state at once.
#include "mixer/app/tests/panel/MainWindowRig.h"

#include <QPaintEvent>
#include <QTest>

#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/LevelMeter.h"
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

    void minimisedWindowPaintsNothingAndShowsTheCurrentStateWhenRestored()
    {
        Window w;
        QVERIFY(w.Start());
        w.dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
        CLevelMeter* meter = w.Mixer()->InputStrips().at(0)->MeterLeft();
        SetLevel(w, Window::kFw1814, 90.0);
        QTRY_VERIFY_WITH_TIMEOUT(meter->GetPos() <= 15, 5000);

        PaintCount count;
        meter->installEventFilter(&count);
        w.dlg.showMinimized();
        QVERIFY(w.dlg.isMinimized());
        QVERIFY(!w.Mixer()->updatesEnabled());
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
        QCOMPARE(count.painted.boundingRect(), meter->rect());
        meter->removeEventFilter(&count);
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
        PaintCount count;
        meter->installEventFilter(&count);
        const int before = meter->GetPos();
        SetLevel(w, 1, before > 50 ? 90.0 : 5.0);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(meter->GetPos() - before) > 30, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(count.paints, 0);

        w.dlg.ShowMixer(0);
        QTRY_VERIFY_WITH_TIMEOUT(count.paints > 0, 2000);
        meter->removeEventFilter(&count);
    }

private:
    std::unique_ptr<ConfigFolder> m_folder;
};

QTEST_MAIN(SurfacePaintTest)
#include "SurfacePaintTest.moc"
