#include "ElementHarness.h"
#include "mixer/controls/BitmapStatusDisplay.h"
#include "mixer/controls/ControlSection.h"
#include "ui/ControlId.h"

#include <QLabel>

namespace {

using Group = CControlSection::Group;

struct Rig {
    CMessageLog container;
    CControlSection* section = new CControlSection;

    Rig() { section->Create(&container); }
    const QList<LoggedMessage>& Log() { return container.Drain(); }
    // The section with rates [44100, 48000, 88200, 96000] at 48000.
    void Rates()
    {
        section->SetSupportedRates({44100, 48000, 88200, 96000});
        QVERIFY(section->SetCurrentRate(48000));
    }
    QString Readout() const { return Shown(section->RateReadout()); }
};

QString LabelText(QWidget* w, int id)
{
    QLabel* label = FindControl<QLabel>(w, id);
    return label ? label->text() : QString("<none>");
}

QList<bool> Checks(CControlSection* s, Group group)
{
    QList<bool> checks;
    if (group == Group::Sync)
        for (int i = 0; i < 5; ++i)
            checks << Lit(s->SyncButton(i));
    else if (group == Group::Digital)
        for (int i = 0; i < 4; ++i)
            checks << Lit(s->DigitalButton(i));
    else
        checks << Lit(s->UsbLamp()) << Lit(s->FireWireLamp());
    return checks;
}

} // namespace

class ControlSectionTest : public QObject {
    Q_OBJECT

private slots:
    void templateAndInitialisation()
    {
        Rig rig;
        CControlSection* s = rig.section;
        QCOMPARE(s->size(), QSize(179, 422));
        const QList<QPair<int, QString>> labels = {
            {1063, "- Host Connection -"}, {1033, "USB 2.0"}, {1034, "1394a"},
            {1035, "- Sync Source -"}, {1041, "Device"}, {1042, "Coax SPDIF "},
            {1043, "Optical SPDIF"}, {1044, "Word Clock"}, {1045, "PC"},
            {1046, "- Digital I/O Selection -"}, {1049, "SPDIF"},
            {1050, "HS-SPDIF (176.4 / 192kHz)"}, {1051, "- ADAT -"},
            {1054, "ADAT   (44.1 / 48 kHz)"}, {1055, "SMUX   (88.2 / 96 kHz)"},
            {1056, "- Sample Rate -"}};
        for (const auto& [id, text] : labels)
            QCOMPARE(LabelText(s, id), text);
        QCOMPARE(FindControl<CBitmapStatusDisplay>(s, 1031), s->UsbLamp());
        QCOMPARE(FindControl<CBitmapStatusDisplay>(s, 1032), s->FireWireLamp());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(ControlId(s->SyncButton(i)), 1036 + i);
        const int digital[] = {1047, 1052, 1053, 1048};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(ControlId(s->DigitalButton(i)), digital[i]);
        QCOMPARE(s->SyncButton(0)->size(), QSize(11, 11));
        QCOMPARE(s->RateDown()->size(), QSize(17, 14));
        QCOMPARE(s->RateUp()->size(), QSize(16, 14));
        QCOMPARE(s->Apply()->size(), QSize(28, 14));
        QCOMPARE(ControlId(s->RateReadout()), 1059);
        QCOMPARE(s->RateReadout()->Columns(), 12);
        QCOMPARE(s->RateReadout()->Text(), QString("         -- "));
        // Both lamps dark, Device selected, no lamp mode yet.
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{false, false}));
        QCOMPARE(Checks(s, Group::Sync), (QList<bool>{true, false, false, false, false}));
        QCOMPARE(s->LampMode(), -1);
        QVERIFY(rig.Log().isEmpty());
    }

    void hostConnectionLayout()
    {
        Rig usb;
        usb.section->ShowHostConnection(1);
        QVERIFY(usb.section->FireWireLamp()->isHidden());
        QVERIFY(FindControl(usb.section, 1034)->isHidden());
        QCOMPARE(usb.section->UsbLamp()->geometry(), QRect(25, 40, 11, 11));
        QCOMPARE(FindControl(usb.section, 1033)->pos(), QPoint(42, 38));

        Rig fw;
        const QSize labelSize = FindControl(fw.section, 1034)->size();
        fw.section->ShowHostConnection(2);
        QVERIFY(fw.section->UsbLamp()->isHidden());
        QVERIFY(FindControl(fw.section, 1033)->isHidden());
        QCOMPARE(fw.section->FireWireLamp()->geometry(), QRect(25, 40, 11, 11));
        QCOMPARE(FindControl(fw.section, 1034)->geometry(), QRect(QPoint(42, 38), labelSize));

        Rig combi;
        const QRect before = combi.section->UsbLamp()->geometry();
        combi.section->ShowHostConnection(0);
        QVERIFY(!combi.section->UsbLamp()->isHidden());
        QVERIFY(!combi.section->FireWireLamp()->isHidden());
        QCOMPARE(combi.section->UsbLamp()->geometry(), before);
    }

    void lamps()
    {
        Rig rig;
        CControlSection* s = rig.section;
        // Reconnect attempts blink both lamps together.
        s->SetHostLamp(-1);
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{true, true}));
        s->SetAllLamps(true);
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{false, false}));
        s->SetAllLamps(true);
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{true, true}));
        s->SetHostLamp(0);
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{true, false}));
        s->SetHostLamp(1);
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{false, true}));
        QCOMPARE(s->LampMode(), 1);
        s->SetAllLamps(false);
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{false, false}));
        // A lamp the section does not have: all dark, no harm.
        s->SetHostLamp(1);
        s->SetHostLamp(2);
        QCOMPARE(s->LampMode(), 2);
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{false, false}));
        // Clicks do not change lamps.
        ClickButton(s->UsbLamp());
        QCOMPARE(Checks(s, Group::Lamp), (QList<bool>{false, false}));
    }

    void selectInGroup()
    {
        Rig rig;
        CControlSection* s = rig.section;
        s->SelectInGroup(Group::Sync, 3);
        QCOMPARE(Checks(s, Group::Sync), (QList<bool>{false, false, false, true, false}));
        s->SelectInGroup(Group::Digital, 2);
        QCOMPARE(Checks(s, Group::Digital), (QList<bool>{false, false, true, false}));
        // An index outside the group clears it.
        s->SelectInGroup(Group::Sync, 5);
        QCOMPARE(Checks(s, Group::Sync), (QList<bool>{false, false, false, false, false}));
        s->SelectInGroup(Group::Digital, -1);
        QCOMPARE(Checks(s, Group::Digital), (QList<bool>{false, false, false, false}));
        QVERIFY(rig.Log().isEmpty());
    }

    void groupClicksPostTheIndex()
    {
        Rig rig;
        CControlSection* s = rig.section;
        ClickButton(s->SyncButton(2));
        QCOMPARE(Checks(s, Group::Sync), (QList<bool>{false, false, true, false, false}));
        // A click on the checked button keeps it checked.
        ClickButton(s->SyncButton(2));
        QCOMPARE(Checks(s, Group::Sync), (QList<bool>{false, false, true, false, false}));
        ClickButton(FindControl(s, 1048));
        QCOMPARE(Checks(s, Group::Digital), (QList<bool>{false, false, false, true}));
        ClickButton(FindControl(s, 1052));
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[0].code, UM_SYNC_SOURCE);
        QCOMPARE(log[0].wParam, quintptr(0));
        QCOMPARE(log[0].lParam, qintptr(2));
        QCOMPARE(log[1].lParam, qintptr(2));
        QCOMPARE(log[2].code, UM_DIGITAL_MODE);
        QCOMPARE(log[2].lParam, qintptr(3));
        QCOMPARE(log[3].code, UM_DIGITAL_MODE);
        QCOMPARE(log[3].lParam, qintptr(1));
    }

    void containerOperationsOnControls()
    {
        Rig rig;
        CControlSection* s = rig.section;
        QVERIFY(s->EnableControl(1038, false));
        QVERIFY(s->EnableControl(1043, false));
        QVERIFY(!s->SyncButton(2)->isEnabled());
        QVERIFY(!FindControl(s, 1043)->isEnabled());
        QVERIFY(s->SetControlText(1043, "ADAT"));
        QCOMPARE(LabelText(s, 1043), QString("ADAT"));
        QVERIFY(s->ShowControl(1063, false));
        QVERIFY(FindControl(s, 1063)->isHidden());
        QVERIFY(!s->ShowControl(4711, false));
    }

    void rateText()
    {
        QCOMPARE(CControlSection::FormatRate(44100), QString("44.1 kHz"));
        QCOMPARE(CControlSection::FormatRate(48000), QString("48.0 kHz"));
        QCOMPARE(CControlSection::FormatRate(176400), QString("176.4 kHz"));
        QCOMPARE(CControlSection::FormatRate(32000), QString("32.0 kHz"));
    }

    void withoutRatesNothingIsShown()
    {
        Rig rig;
        QVERIFY(!rig.section->ShowRate(48000));
        QVERIFY(!rig.section->SetCurrentRate(48000));
        QCOMPARE(rig.Readout(), QString("--"));
        QVERIFY(!rig.section->RateBlinking());
        QCOMPARE(rig.section->CurrentRate(), 0u);
    }

    void stepUpBlinksAndApplyPosts()
    {
        Rig rig;
        rig.Rates();
        CControlSection* s = rig.section;
        QCOMPARE(rig.Readout(), QString("48.0 kHz"));
        QVERIFY(!s->RateBlinking());
        ClickButton(s->RateUp());
        QCOMPARE(s->SelectedRate(), 88200u);
        QVERIFY(s->RateBlinking());
        QCOMPARE(rig.Readout(), QString("88.2 kHz"));
        s->BlinkRate();
        QCOMPARE(rig.Readout(), QString());
        s->BlinkRate();
        QCOMPARE(rig.Readout(), QString("88.2 kHz"));
        QVERIFY(rig.Log().isEmpty());
        s->BlinkRate();
        ClickButton(s->Apply());
        QCOMPARE(rig.Readout(), QString("88.2 kHz"));
        QVERIFY(!s->RateBlinking());
        const auto& log = rig.Log();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].code, UM_SAMPLE_RATE);
        QCOMPARE(log[0].wParam, quintptr(0));
        QCOMPARE(log[0].lParam, qintptr(88200));
        // The container reports the new rate.
        QVERIFY(s->SetCurrentRate(88200));
        QCOMPARE(s->CurrentRate(), 88200u);
    }

    void rateArrowDoubleClickStepsOnce()
    {
        Rig rig;
        rig.Rates();
        CControlSection* s = rig.section;
        DoubleClickButton(s->RateUp());
        QCOMPARE(s->SelectedRate(), 88200u);
        DoubleClickButton(s->RateDown());
        QCOMPARE(s->SelectedRate(), 48000u);
        DoubleClickButton(s->RateDown());
        QCOMPARE(s->SelectedRate(), 44100u);
        QVERIFY(rig.Log().isEmpty());
    }

    void stepsStopAtTheEndsAndBackAtTheCurrentRate()
    {
        Rig rig;
        rig.Rates();
        CControlSection* s = rig.section;
        s->StepRate(-1);
        QCOMPARE(s->SelectedRate(), 44100u);
        s->StepRate(-1);
        QCOMPARE(s->SelectedRate(), 44100u);
        QVERIFY(s->RateBlinking());
        s->StepRate(+1);
        QCOMPARE(s->SelectedRate(), 48000u);
        QVERIFY(!s->RateBlinking());
        QCOMPARE(rig.Readout(), QString("48.0 kHz"));
        for (int i = 0; i < 5; ++i)
            s->StepRate(+1);
        QCOMPARE(s->SelectedRate(), 96000u);
        // Apply without a selection posts nothing.
        Rig idle;
        idle.Rates();
        ClickButton(idle.section->Apply());
        QVERIFY(idle.Log().isEmpty());
    }

    void steppingFromAnUnlistedCurrentRate()
    {
        Rig rig;
        CControlSection* s = rig.section;
        s->SetSupportedRates({32000, 48000});
        QVERIFY(s->SetCurrentRate(32000));
        s->SetSupportedRates({44100, 48000, 88200, 96000});
        s->StepRate(-1);
        QCOMPARE(s->RateMessage(), QString("notSupported"));
        QVERIFY(!s->RateBlinking());
        QCOMPARE(s->SelectedRate(), 32000u);
        s->StepRate(+1);
        QCOMPARE(s->SelectedRate(), 44100u);
        QCOMPARE(s->RateMessage(), QString());
        QVERIFY(s->RateBlinking());
        QVERIFY(s->Apply()->isEnabled());
        QCOMPARE(rig.Readout(), QString("44.1 kHz"));
    }

    void anAbandonedSelectionReturnsToTheCurrentRate()
    {
        Rig rig;
        rig.Rates();
        CControlSection* s = rig.section;
        s->StepRate(+1);
        // The step itself counts as the first tick; 19 more keep it blinking.
        for (int i = 0; i < 19; ++i)
            s->BlinkRate();
        QVERIFY(s->RateBlinking());
        QCOMPARE(s->SelectedRate(), 88200u);
        s->BlinkRate();
        QCOMPARE(s->BlinkCount(), 0);
        QVERIFY(!s->RateBlinking());
        QCOMPARE(s->SelectedRate(), 0u);
        QCOMPARE(rig.Readout(), QString("48.0 kHz"));
    }

    void unsupportedCurrentRateBlinksNotSupported()
    {
        Rig rig;
        rig.Rates();
        CControlSection* s = rig.section;
        QVERIFY(!s->SetCurrentRate(22050));
        QCOMPARE(s->CurrentRate(), 48000u);
        QCOMPARE(s->SelectedRate(), 48000u);
        QVERIFY(s->RateBlinking());
        QVERIFY(!s->Apply()->isEnabled());
        QCOMPARE(s->RateMessage(), QString("notSupported"));
        QSet<QString> shown;
        for (int i = 0; i < 30; ++i) {
            s->BlinkRate();
            shown << rig.Readout();
        }
        // Never abandoned while the message stands.
        QVERIFY(s->RateBlinking());
        QCOMPARE(shown, (QSet<QString>{"48.0 kHz", "notSupported"}));
        // Stepping picks a listed rate again and enables apply.
        s->StepRate(+1);
        QVERIFY(s->Apply()->isEnabled());
        QCOMPARE(s->SelectedRate(), 88200u);
    }

    void unsupportedFirstReportShowsNoRateOfZero()
    {
        Rig rig;
        CControlSection* s = rig.section;
        s->SetSupportedRates({44100, 48000});
        QVERIFY(!s->SetCurrentRate(32000));
        for (int i = 0; i < 4; ++i) {
            QVERIFY(rig.Readout() != QString("0.0 kHz"));
            s->BlinkRate();
        }
        QVERIFY(s->RateBlinking());
    }

    void theSectionTimerDrivesTheBlink()
    {
        Rig rig;
        rig.Rates();
        rig.section->StepRate(+1);
        const QString first = rig.Readout();
        QTRY_VERIFY_WITH_TIMEOUT(rig.Readout() != first, 1500);
        QCOMPARE(rig.section->BlinkCount(), 2);
    }
};

QTEST_MAIN(ControlSectionTest)
#include "ControlSectionTest.moc"
