// The mixer surface from the keyboard, in the main window against the
// simulated rig: Tab walks the shown surface's controls in visual order,
// fader and pan keys and Space on buttons reach the device exactly as the
// pointer's drag and click do, the focus mark shows for the keyboard only,
// and Ctrl+Tab / Ctrl+Shift+Tab switch the device tabs.
//
// With QEL_TEST_SHOTS set to a folder, the focused fader is saved there as
// focused-fader.png (1x) for a look.
#include "mixer/app/tests/panel/MainWindowRig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device/QelContext.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/FocusMark.h"
#include "mixer/controls/MixerPanelTop.h"
#include "os/sim/SimOs.h"
#include "sim/FwFirmware.h"
#include "sim/Rig.h"

namespace {

using qel::mixer::test::ConfigFolder;
using Window = qel::mixer::test::SurfaceWindow;
constexpr int k1814Tab = Window::k1814Tab;

bool IsTabStop(const QWidget* w, const QWidget* surface)
{
    return (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(surface) && w->isEnabled();
}

// The controls of the surface as they lie on screen: the strips left to
// right, then the control section, then the crossfader; inside an element
// row by row from the top, each row left to right.
QList<QWidget*> VisualOrder(CMixerCtrlContainer* mixer)
{
    QList<CMixerElement*> strips;
    for (CMixerElement* e : mixer->Elements())
        if (e != mixer->ControlSection() && e != mixer->CrossFader() && e != mixer->TopPanel())
            strips.append(e);
    std::stable_sort(strips.begin(), strips.end(),
                     [](const CMixerElement* a, const CMixerElement* b) { return a->x() < b->x(); });
    QList<CMixerElement*> elements = strips;
    elements << mixer->ControlSection() << mixer->CrossFader();
    QList<QWidget*> order;
    for (CMixerElement* e : elements) {
        if (!e)
            continue;
        QList<QWidget*> controls;
        for (QWidget* w : e->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (IsTabStop(w, mixer))
                controls.append(w);
        std::stable_sort(controls.begin(), controls.end(), [](const QWidget* a, const QWidget* b) {
            return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
        });
        order << controls;
    }
    return order;
}

QString Names(const QList<QWidget*>& widgets)
{
    QStringList names;
    for (const QWidget* w : widgets)
        names << QStringLiteral("%1(%2)").arg(QString::fromLatin1(w->metaObject()->className()),
                                              w->property("controlId").toString());
    return names.join(QLatin1Char(' '));
}

void Key(QWidget* w, int key, Qt::KeyboardModifiers modifiers = {})
{
    QTest::keyClick(w, Qt::Key(key), modifiers);
}

}  // namespace

class SurfaceKeyboardTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConfigFolder> m_folder;

private slots:
    void init()
    {
        m_folder = ConfigFolder::WithShippedConfig();
        QVERIFY(m_folder->Valid());
    }

    void cleanup() { m_folder.reset(); }

    void tabWalksTheShownSurfaceInVisualOrder()
    {
        Window w;
        QVERIFY(w.Start());
        CMixerCtrlContainer* mixer = w.Mixer();
        const QList<QWidget*> expected = VisualOrder(mixer);
        // Five input strips of faders, pans and buttons, the outputs, the
        // section's buttons and the crossfader.
        QVERIFY(expected.size() > 50);
        QVERIFY(expected.contains(mixer->CrossFader()->findChild<CBitmapSlider*>()));

        QWidget* tabs = w.dlg.TabCtrl();
        tabs->setFocus(Qt::TabFocusReason);
        QList<QWidget*> walked;
        for (int i = 0; i < 200; ++i) {
            Key(w.dlg.focusWidget(), Qt::Key_Tab);
            QWidget* now = w.dlg.focusWidget();
            if (now == tabs)
                break;
            walked.append(now);
        }
        for (int i = 0; i < std::min(walked.size(), expected.size()); ++i)
            QVERIFY2(walked.at(i) == expected.at(i),
                     qPrintable(QStringLiteral("stop %1: %2 instead of %3")
                                    .arg(i)
                                    .arg(Names({walked.at(i)}), Names({expected.at(i)}))));
        QCOMPARE(walked.size(), expected.size());

        // Shift+Tab walks back the same way.
        QList<QWidget*> back;
        for (int i = 0; i < 200; ++i) {
            Key(w.dlg.focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            QWidget* now = w.dlg.focusWidget();
            if (now == tabs)
                break;
            back.prepend(now);
        }
        QCOMPARE(back, expected);

        // A hidden strip side is skipped: no control of it takes the focus.
        CChannelStripStereoIn* first = mixer->InputStrips().at(0);
        first->ShowChannels(false, QStringLiteral("hidden"));
        const QList<QWidget*> fewer = VisualOrder(mixer);
        QVERIFY(!fewer.contains(first->VolumeLeft()));
        tabs->setFocus(Qt::TabFocusReason);
        Key(tabs, Qt::Key_Tab);
        QCOMPARE(w.dlg.focusWidget(), fewer.first());
    }

    void faderKeysStepAndReachTheDeviceAsADragDoes()
    {
        Window w;
        QVERIFY(w.Start());
        CBitmapSlider* fader = w.Mixer()->InputStrips().at(0)->VolumeLeft();
        fader->setFocus(Qt::TabFocusReason);
        const struct { int key; int position; } steps[] = {
            {Qt::Key_Home, 0},      {Qt::Key_Down, 1},   {Qt::Key_PageDown, 11}, {Qt::Key_Up, 10},
            {Qt::Key_Right, 11},    {Qt::Key_Left, 10},  {Qt::Key_PageUp, 0},    {Qt::Key_Up, 0},
            {Qt::Key_End, 63},      {Qt::Key_Down, 63},  {Qt::Key_PageUp, 53},
        };
        std::vector<std::int16_t> volumes;
        for (const auto& step : steps) {
            Key(fader, step.key);
            w.Settle();
            QCOMPARE(fader->GetPos(), step.position);
            volumes.push_back(w.Channel(1, 1).volume);
        }
        // Lower on the fader is quieter on the device; the same place is the same level.
        QVERIFY(volumes[1] < volumes[0]);
        QVERIFY(volumes[2] < volumes[1]);
        QVERIFY(volumes[3] > volumes[2]);
        QCOMPARE(volumes[4], volumes[2]);
        QCOMPARE(volumes[5], volumes[3]);
        QCOMPARE(volumes[6], volumes[0]);
        QVERIFY(volumes[8] < volumes[2]);
        QVERIFY(volumes[10] > volumes[8]);
        // The left fader alone: the right side keeps its level.
        QCOMPARE(w.Channel(1, 2).volume, Window().Channel(1, 2).volume);

        // End by key and a drag to the bottom send the device the same requests.
        Window keys;
        QVERIFY(keys.Start());
        CBitmapSlider* keyFader = keys.Mixer()->InputStrips().at(0)->VolumeLeft();
        keyFader->setFocus(Qt::TabFocusReason);
        Key(keyFader, Qt::Key_End);
        keys.Settle();
        const std::vector<std::string> keyTrace = keys.rig->takeTrace();

        Window drag;
        QVERIFY(drag.Start());
        CBitmapSlider* dragFader = drag.Mixer()->InputStrips().at(0)->VolumeLeft();
        const QPoint bottom(dragFader->width() / 2, dragFader->height() - 1);
        QTest::mousePress(dragFader, Qt::LeftButton, {}, bottom);
        QTest::mouseRelease(dragFader, Qt::LeftButton, {}, bottom);
        drag.Settle();
        const std::vector<std::string> dragTrace = drag.rig->takeTrace();
        QCOMPARE(dragFader->GetPos(), 63);
        QVERIFY(!keyTrace.empty());
        QCOMPARE(keyTrace, dragTrace);
        QCOMPARE(keys.Channel(1, 1).volume, drag.Channel(1, 1).volume);

        // A pan step goes the pan's way: one to the right.
        CBitmapSlider* pan = keys.Mixer()->InputStrips().at(0)->PanLeft();
        pan->setFocus(Qt::TabFocusReason);
        const int panStart = pan->GetPos();
        Key(pan, Qt::Key_Right);
        keys.Settle();
        QCOMPARE(pan->GetPos(), panStart + 1);
        const std::int16_t panned = keys.Channel(1, 1).balance;
        Key(pan, Qt::Key_Left);
        keys.Settle();
        QVERIFY(keys.Channel(1, 1).balance != panned);
    }

    void spaceClicksAButtonAndEnterDoesNot()
    {
        Window keys;
        QVERIFY(keys.Start());
        CBitmapPushButton* mute = keys.Mixer()->InputStrips().at(0)->MuteLeft();
        mute->setFocus(Qt::TabFocusReason);
        QVERIFY(!keys.Channel(1, 1).mute);
        // Enter is no click here, and it leaves the window open.
        Key(mute, Qt::Key_Return);
        Key(mute, Qt::Key_Enter);
        keys.Settle();
        QVERIFY(!keys.Channel(1, 1).mute);
        QVERIFY(keys.dlg.isVisible());
        QCOMPARE(keys.rig->takeTrace(), std::vector<std::string>());

        Key(mute, Qt::Key_Space);
        keys.Settle();
        QVERIFY(mute->GetCheck() & CBitmapPushButton::StateChecked);
        QVERIFY(keys.Channel(1, 1).mute);
        const std::vector<std::string> keyTrace = keys.rig->takeTrace();

        Window click;
        QVERIFY(click.Start());
        CBitmapPushButton* clicked = click.Mixer()->InputStrips().at(0)->MuteLeft();
        QTest::mouseClick(clicked, Qt::LeftButton, {}, clicked->rect().center());
        click.Settle();
        QVERIFY(!keyTrace.empty());
        QCOMPARE(keyTrace, click.rig->takeTrace());

        // A section button by Space: the sample-rate step, as its click.
        CControlSection* section = keys.Mixer()->ControlSection();
        const quint32 selected = section->SelectedRate();
        section->RateUp()->setFocus(Qt::TabFocusReason);
        Key(section->RateUp(), Qt::Key_Space);
        CControlSection* clickedSection = click.Mixer()->ControlSection();
        QCOMPARE(clickedSection->SelectedRate(), selected);
        QTest::mouseClick(clickedSection->RateUp(), Qt::LeftButton, {}, clickedSection->RateUp()->rect().center());
        QVERIFY(section->SelectedRate() != selected);
        QCOMPARE(section->SelectedRate(), clickedSection->SelectedRate());
    }

    void focusMarkShowsForTheKeyboardOnly()
    {
        Window w;
        QVERIFY(w.Start());
        CBitmapSlider* fader = w.Mixer()->InputStrips().at(0)->VolumeLeft();
        CBitmapPushButton* solo = w.Mixer()->InputStrips().at(0)->SoloLeft();
        const QImage plain = fader->grab().toImage();
        // Image pixels of a point of the control, at any screen scale.
        auto at = [](const QImage& image, int x, int y) {
            const qreal ratio = image.devicePixelRatio();
            return image.pixelColor(QPoint(int(x * ratio), int(y * ratio)));
        };
        const QPoint edge(0, fader->height() / 2);
        QVERIFY(at(plain, edge.x(), edge.y()) != surface::kFocusMarkColour);

        // Tabbed to: the mark is drawn along the control's edge.
        fader->setFocus(Qt::TabFocusReason);
        QVERIFY(fader->ShowsFocusMark());
        const QImage marked = fader->grab().toImage();
        QCOMPARE(at(marked, edge.x(), edge.y()), surface::kFocusMarkColour);
        QCOMPARE(at(marked, fader->width() - 1, 5), surface::kFocusMarkColour);
        if (const QString dir = qEnvironmentVariable("QEL_TEST_SHOTS"); !dir.isEmpty()) {
            QWidget* strip = w.Mixer()->InputStrips().at(0);
            QVERIFY(strip->grab().save(QDir(dir).filePath(QStringLiteral("focused-fader.png"))));
        }

        // A click takes the focus without the mark; a key shows it again.
        QTest::mouseClick(solo, Qt::LeftButton, {}, solo->rect().center());
        QVERIFY(solo->hasFocus());
        QVERIFY(!solo->ShowsFocusMark());
        QVERIFY(!fader->ShowsFocusMark());
        QCOMPARE(fader->grab().toImage(), plain);
        const QPoint pressAt(fader->width() / 2, fader->height() / 2);
        QTest::mousePress(fader, Qt::LeftButton, {}, pressAt);
        QTest::mouseRelease(fader, Qt::LeftButton, {}, pressAt);
        QVERIFY(fader->hasFocus() && !fader->ShowsFocusMark());
        Key(fader, Qt::Key_Down);
        QVERIFY(fader->ShowsFocusMark());

        // Buttons: Tab shows it over the button's picture, in the same colour.
        const QImage button = solo->grab().toImage();
        Key(fader, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(w.dlg.focusWidget() != fader);
        solo->setFocus(Qt::BacktabFocusReason);
        QVERIFY(solo->ShowsFocusMark());
        const QImage buttonMarked = solo->grab().toImage();
        QVERIFY(buttonMarked != button);
        QCOMPARE(at(buttonMarked, 0, solo->height() / 2), surface::kFocusMarkColour);
    }

    void ctrlTabSwitchesTheDeviceTabsRound()
    {
        Window w;
        QVERIFY(w.Start());
        const int count = w.dlg.TabCtrl()->count();
        QCOMPARE(count, 3);
        QCOMPARE(w.dlg.ShownIndex(), k1814Tab);
        CBitmapSlider* fader = w.Mixer()->InputStrips().at(0)->VolumeLeft();
        fader->setFocus(Qt::TabFocusReason);
        const int position = fader->GetPos();

        auto from = [&]() -> QWidget* { return w.dlg.focusWidget() ? w.dlg.focusWidget() : &w.dlg; };
        Key(from(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.dlg.ShownIndex(), 2);
        QVERIFY(w.dlg.Containers().at(2)->isVisible());
        QVERIFY(!w.Mixer()->isVisible());
        Key(from(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.dlg.ShownIndex(), 0);
        QCOMPARE(w.dlg.TabCtrl()->currentIndex(), 0);
        Key(from(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.dlg.ShownIndex(), 2);
        Key(from(), Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w.dlg.ShownIndex(), k1814Tab);
        // The fader it started on took no step on the way.
        QCOMPARE(fader->GetPos(), position);
        // A plain Tab still walks the controls.
        fader->setFocus(Qt::TabFocusReason);
        Key(fader, Qt::Key_Tab);
        QCOMPARE(w.dlg.ShownIndex(), k1814Tab);
        QVERIFY(w.dlg.focusWidget() != fader);
    }
};

QTEST_MAIN(SurfaceKeyboardTest)
#include "SurfaceKeyboardTest.moc"
