// Typing a value into a read-out of the mixer surface, in the main window
// against the simulated rig: a double click opens the editor over the
// read-out, Enter moves the control the text names and the device ends as
// the same move by keys or a screen reader leaves it, Escape and text that
// cannot be read change nothing, and the latter leaves a note on the top bar.
//
// With QEL_TEST_SHOTS set to a folder, the open editor is saved there as
// value-editor.png (1x) for a look.
#include "mixer/app/tests/panel/MainWindowRig.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device/QelContext.h"
#include "mixer/app/MixerCtrlContainer.h"
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerPanelTop.h"
#include "mixer/controls/ValueEditor.h"
#include "os/sim/SimOs.h"
#include "sim/FwFirmware.h"
#include "sim/Rig.h"

namespace {

// Blocks of the 1814's default layout: input 1, main out 6, crossfader 8.
constexpr std::uint8_t kInput1 = 1;
constexpr std::uint8_t kMaster = 6;
constexpr std::uint8_t kCrossFader = 8;
using qel::mixer::test::ConfigFolder;

// The main window showing the Kavro 1814, with its first input strip and top bar.
struct Window : qel::mixer::test::SurfaceWindow {
    CChannelStripStereoIn* Input() const { return Mixer()->InputStrips().at(0); }
    // The top bar's text without the padding.
    QString TopText() const { return Mixer()->TopPanel()->Display()->Text().trimmed(); }
};

CValueEditor* EditorOf(QWidget* readout)
{
    auto* element = qobject_cast<CMixerElement*>(readout->parentWidget());
    return element ? element->ValueEditor() : nullptr;
}

// Double-clicks readout and types text into its editor; true when the editor opened.
bool Type(CMatrixStatic* readout, const QString& text)
{
    QTest::mouseDClick(readout, Qt::LeftButton, {}, readout->rect().center());
    CValueEditor* editor = EditorOf(readout);
    if (!editor || !editor->IsOpen() || !editor->isVisible())
        return false;
    editor->selectAll();
    QTest::keyClicks(editor, text);
    return true;
}

void Enter(CMatrixStatic* readout)
{
    QTest::keyClick(EditorOf(readout), Qt::Key_Return);
}

bool SameChannel(const qel::sim::FwFirmware::Channel& a, const qel::sim::FwFirmware::Channel& b)
{
    return a.volume == b.volume && a.balance == b.balance && a.mute == b.mute;
}

}  // namespace

class SurfaceTypedValueTest : public QObject {
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

    void doubleClickOpensTheEditorOverTheReadout()
    {
        Window w;
        QVERIFY(w.Start());
        CMatrixStatic* readout = w.Input()->ReadoutLeft();
        QVERIFY(!EditorOf(readout));
        QTest::mouseDClick(readout, Qt::LeftButton, {}, readout->rect().center());
        CValueEditor* editor = EditorOf(readout);
        QVERIFY(editor && editor->IsOpen() && editor->isVisible());
        QVERIFY(editor->hasFocus());
        // Over the read-out, holding its text, all selected for typing over.
        QVERIFY(editor->geometry().contains(readout->geometry().center()));
        QVERIFY(w.Input()->rect().contains(editor->geometry()));
        QCOMPARE(editor->text(), readout->Text().trimmed());
        QCOMPARE(editor->selectedText(), editor->text());
        QTest::keyClicks(editor, QStringLiteral("-12 dB"));
        if (const QString dir = qEnvironmentVariable("QEL_TEST_SHOTS"); !dir.isEmpty()) {
            QVERIFY(w.Input()->grab().save(QDir(dir).filePath(QStringLiteral("value-editor.png"))));
            QVERIFY(w.Mixer()->grab().save(QDir(dir).filePath(QStringLiteral("value-editor-surface.png"))));
        }
        // Escape gives the focus back, with no focus mark on any control.
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!editor->hasFocus());
        for (CBitmapSlider* s : w.Mixer()->findChildren<CBitmapSlider*>())
            QVERIFY(!s->ShowsFocusMark());
        for (CBitmapPushButton* b : w.Mixer()->findChildren<CBitmapPushButton*>())
            QVERIFY(!b->ShowsFocusMark());
        // A single click is no double click: nothing opens.
        CMatrixStatic* other = w.Input()->ReadoutRight();
        QTest::mouseClick(other, Qt::LeftButton, {}, other->rect().center());
        QVERIFY(!editor->isVisible());
    }

    void enterAppliesAsTheSameMoveByKeysWould()
    {
        Window typed;
        QVERIFY(typed.Start());
        // Enter hands the focus back to the control that had it.
        typed.Input()->SoloLeft()->setFocus(Qt::TabFocusReason);
        Window keyed;
        QVERIFY(keyed.Start());
        CChannelStripStereoIn* in = typed.Input();

        QVERIFY(Type(in->ReadoutLeft(), QStringLiteral("-12")));
        Enter(in->ReadoutLeft());
        typed.Settle();
        QVERIFY(!EditorOf(in->ReadoutLeft())->isVisible());
        QCOMPARE(typed.dlg.focusWidget(), static_cast<QWidget*>(in->SoloLeft()));
        QCOMPARE(in->VolumeLeft()->GetPos(), 12);
        QCOMPARE(in->ReadoutLeft()->Text().trimmed(), QStringLiteral("-12.0"));
        keyed.Input()->VolumeLeft()->MoveByUser(12);
        keyed.Settle();
        QVERIFY(SameChannel(typed.Channel(kInput1, 1), keyed.Channel(kInput1, 1)));
        QVERIFY(typed.Channel(kInput1, 1).volume != Window().Channel(kInput1, 1).volume);

        // A pan text on the right read-out moves the right pan.
        QVERIFY(Type(in->ReadoutRight(), QStringLiteral("L20")));
        Enter(in->ReadoutRight());
        typed.Settle();
        QCOMPARE(in->PanRight()->GetPos(), -20);
        // Let go like a drag, the read-outs show the levels again.
        QCOMPARE(in->ReadoutLeft()->Text().trimmed(), QStringLiteral("-12.0"));
        keyed.Input()->PanRight()->MoveByUser(-20);
        keyed.Settle();
        QVERIFY(SameChannel(typed.Channel(kInput1, 2), keyed.Channel(kInput1, 2)));

        // The main out takes dB and a balance.
        CChannelStripMainOut* out = typed.Mixer()->MainOut();
        QVERIFY(Type(out->Readout(), QStringLiteral("-6 dB")));
        Enter(out->Readout());
        QVERIFY(Type(out->Readout(), QStringLiteral("R5")));
        Enter(out->Readout());
        typed.Settle();
        QCOMPARE(out->Volume()->GetPos(), 6);
        QCOMPARE(out->Balance()->GetPos(), 5);
        keyed.Mixer()->MainOut()->Volume()->MoveByUser(6);
        keyed.Mixer()->MainOut()->Balance()->MoveByUser(5);
        keyed.Settle();
        QVERIFY(SameChannel(typed.Channel(kMaster, 0), keyed.Channel(kMaster, 0)));

        // The crossfader: its plain number and the pan texts.
        CCrossFaderStrip* cross = typed.Mixer()->CrossFader();
        auto* slider = cross->findChild<CBitmapSlider*>();
        auto* crossReadout = cross->findChild<CMatrixStatic*>();
        QVERIFY(slider && crossReadout);
        QVERIFY(Type(crossReadout, QStringLiteral("R40")));
        Enter(crossReadout);
        typed.Settle();
        QCOMPARE(slider->GetPos(), 40);
        QCOMPARE(crossReadout->Text().trimmed(), QStringLiteral("40"));
        keyed.Mixer()->CrossFader()->findChild<CBitmapSlider*>()->MoveByUser(40);
        keyed.Settle();
        QVERIFY(SameChannel(typed.Channel(kCrossFader, 0), keyed.Channel(kCrossFader, 0)));
        QVERIFY(Type(crossReadout, QStringLiteral("C")));
        Enter(crossReadout);
        QCOMPARE(slider->GetPos(), 0);
        typed.Settle();
        QVERIFY(Type(crossReadout, QStringLiteral("-30")));
        Enter(crossReadout);
        QCOMPARE(slider->GetPos(), -30);
        typed.Settle();
        keyed.Mixer()->CrossFader()->findChild<CBitmapSlider*>()->MoveByUser(-30);
        keyed.Settle();
        QVERIFY(SameChannel(typed.Channel(kCrossFader, 0), keyed.Channel(kCrossFader, 0)));
        QVERIFY(typed.Channel(kCrossFader, 0).volume != Window().Channel(kCrossFader, 0).volume);
    }

    // From the keyboard: F2 or Enter on a focused fader or slider opens the
    // editor of the read-out that shows it, and the focus comes back after.
    void keyOnAFocusedControlOpensItsReadoutsEditor()
    {
        Window w;
        QVERIFY(w.Start());
        CChannelStripStereoIn* in = w.Input();
        in->VolumeLeft()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(in->VolumeLeft(), Qt::Key_F2);
        CValueEditor* editor = EditorOf(in->ReadoutLeft());
        QVERIFY(editor && editor->IsOpen() && editor->isVisible());
        QVERIFY(editor->geometry().contains(in->ReadoutLeft()->geometry().center()));
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("-20"));
        Enter(in->ReadoutLeft());
        w.Settle();
        QCOMPARE(in->VolumeLeft()->GetPos(), 20);
        QCOMPARE(w.dlg.focusWidget(), static_cast<QWidget*>(in->VolumeLeft()));

        // Enter on the right pan opens the right read-out; Escape leaves all as it was.
        const int pan = in->PanRight()->GetPos();
        in->PanRight()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(in->PanRight(), Qt::Key_Return);
        editor = EditorOf(in->ReadoutRight());
        QVERIFY(editor && editor->IsOpen());
        QTest::keyClicks(editor, QStringLiteral("L50"));
        QTest::keyClick(editor, Qt::Key_Escape);
        w.Settle();
        QVERIFY(!editor->isVisible());
        QCOMPARE(in->PanRight()->GetPos(), pan);
        QCOMPARE(w.dlg.focusWidget(), static_cast<QWidget*>(in->PanRight()));

        // Other keys still move the fader; a button takes no editor.
        QTest::keyClick(in->VolumeLeft(), Qt::Key_Down);
        QCOMPARE(in->VolumeLeft()->GetPos(), 21);
        QTest::keyClick(in->SoloLeft(), Qt::Key_F2);
        QVERIFY(!editor->isVisible());
    }

    void escapeAndUnreadableTextChangeNothing()
    {
        Window w;
        QVERIFY(w.Start());
        CChannelStripStereoIn* in = w.Input();
        CMatrixStatic* readout = in->ReadoutLeft();
        const int position = in->VolumeLeft()->GetPos();
        const int pan = in->PanLeft()->GetPos();
        const QString shown = readout->Text();
        const auto before = w.Channel(kInput1, 1);

        // Escape ends the editor only: the window stays open.
        QVERIFY(Type(readout, QStringLiteral("-5")));
        QTest::keyClick(EditorOf(readout), Qt::Key_Escape);
        w.Settle();
        QVERIFY(!EditorOf(readout)->isVisible());
        QVERIFY(w.dlg.isVisible());
        QCOMPARE(in->VolumeLeft()->GetPos(), position);

        // The focus going elsewhere cancels as well.
        QVERIFY(Type(readout, QStringLiteral("-5")));
        in->VolumeRight()->setFocus(Qt::MouseFocusReason);
        w.Settle();
        QVERIFY(!EditorOf(readout)->isVisible());
        QCOMPARE(in->VolumeLeft()->GetPos(), position);

        const struct { const char* text; const char* note; } bad[] = {
            {"abc", "Cannot read \"abc\""},       {"-12 dBx", "Cannot read \"-12 dBx\""},
            {"L", "Cannot read \"L\""},           {"", "No value typed"},
            {"R999", "Pan is L127 to R127"},      {"-70", "Volume is -63 to 0 dB"},
            {"99999999999999999999", "Volume is -63 to 0 dB"},
        };
        for (const auto& b : bad) {
            const QString text = QString::fromLatin1(b.text);
            QVERIFY(Type(readout, text));
            if (text.isEmpty())
                QTest::keyClick(EditorOf(readout), Qt::Key_Delete);
            Enter(readout);
            w.Settle();
            QCOMPARE(w.TopText(), QString::fromLatin1(b.note));
            QVERIFY(w.Mixer()->TopPanel()->MessageShowing());
            QCOMPARE(in->VolumeLeft()->GetPos(), position);
            QCOMPARE(in->PanLeft()->GetPos(), pan);
            QCOMPARE(readout->Text(), shown);
        }
        QVERIFY(SameChannel(w.Channel(kInput1, 1), before));
        QCOMPARE(w.rig->takeTrace(), std::vector<std::string>());
        // The crossfader takes no level.
        auto* crossReadout = w.Mixer()->CrossFader()->findChild<CMatrixStatic*>();
        QVERIFY(Type(crossReadout, QStringLiteral("-12 dB")));
        Enter(crossReadout);
        w.Settle();
        QCOMPARE(w.TopText(), QStringLiteral("Crossfader takes L, R, C or a number"));
        QCOMPARE(w.rig->takeTrace(), std::vector<std::string>());
    }
};

QTEST_MAIN(SurfaceTypedValueTest)
#include "SurfaceTypedValueTest.moc"
