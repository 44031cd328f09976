#include "MessageLog.h"
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapStatusDisplay.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/ChannelStripMainOut.h"
#include "mixer/controls/ChannelStripStereoIn.h"
#include "mixer/controls/ClipLamp.h"
#include "mixer/controls/ControlSection.h"
#include "mixer/controls/CrossFaderStrip.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/MixerPanelTop.h"
#include "mixer/controls/SurfaceAccessible.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

namespace {

QAccessibleInterface* Face(QWidget* w)
{
    return QAccessible::queryAccessibleInterface(w);
}

QString Name(QWidget* w)
{
    QAccessibleInterface* face = Face(w);
    return face ? face->text(QAccessible::Name) : QStringLiteral("<none>");
}

QString Value(QWidget* w)
{
    QAccessibleInterface* face = Face(w);
    return face ? face->text(QAccessible::Value) : QStringLiteral("<none>");
}

} // namespace

class AccessibleTest : public QObject {
    Q_OBJECT

private slots:
    void inputStripNamesValuesAndRoles()
    {
        CMessageLog container;
        auto* strip = new CChannelStripStereoIn;
        strip->Create(&container);
        strip->SetKindText(QStringLiteral("Input"));
        strip->SetMeterIndices(0, 1);
        strip->UpdateData(false);
        strip->SetVolume(-12, 1);
        strip->SetBalance(20, 1); // the device's value is negated: right 20 on screen -> "L20"
        QCOMPARE(Name(strip->VolumeLeft()), QStringLiteral("Input 1/2 left volume"));
        QCOMPARE(Value(strip->VolumeLeft()), QStringLiteral("-12.0 dB"));
        QCOMPARE(Face(strip->VolumeLeft())->role(), QAccessible::Slider);
        QCOMPARE(Name(strip->PanLeft()), QStringLiteral("Input 1/2 left pan"));
        QCOMPARE(Value(strip->PanLeft()), surface::PanText(strip->PanLeft()->GetPos()));
        QCOMPARE(Value(strip->PanRight()), QStringLiteral("R127"));
        QCOMPARE(Name(strip->MeterRight()), QStringLiteral("Input 1/2 right level"));
        QCOMPARE(Face(strip->MeterRight())->role(), QAccessible::ProgressBar);
        QCOMPARE(Name(strip->ClipLamp()), QStringLiteral("Input 1/2 clip"));
        QCOMPARE(Face(strip->ClipLamp())->role(), QAccessible::Indicator);
        QCOMPARE(Value(strip->ClipLamp()), QStringLiteral("off"));
        strip->SetMeterLevels(50, -1);
        QCOMPARE(Value(strip->ClipLamp()), QStringLiteral("on"));
        QVERIFY(Face(strip->ClipLamp())->state().checked);

        QCOMPARE(Name(strip->MuteLeft()), QStringLiteral("Input 1/2 left mute"));
        QCOMPARE(Face(strip->MuteLeft())->role(), QAccessible::CheckBox);
        QCOMPARE(Value(strip->MuteLeft()), QStringLiteral("off"));
        QVERIFY(!Face(strip->MuteLeft())->state().checked);
        strip->SetMute(1, 1);
        QCOMPARE(Value(strip->MuteLeft()), QStringLiteral("on"));
        QVERIFY(Face(strip->MuteLeft())->state().checked);

        // Meter indexes not given yet: the caption names the pair.
        auto* other = new CChannelStripStereoIn;
        other->Create(&container);
        other->SetKindText(QStringLiteral("Input"));
        other->SetCaption(QStringLiteral("Line 1   Line 2"));
        other->UpdateData(false);
        QCOMPARE(Name(other->VolumeRight()), QStringLiteral("Input Line 1 Line 2 right volume"));
    }

    void metersAndOutputs()
    {
        CMessageLog container;
        auto* master = new CChannelStripMainOut;
        master->Create(&container);
        master->SetKindText(QStringLiteral("Master"));
        master->UpdateData(false);
        for (int i = 0; i < 40; ++i)
            master->SetMeterLevels(88, 100); // 12 % = -18 dB
        QCOMPARE(Name(master->MeterLeft()), QStringLiteral("Master left level"));
        QCOMPARE(Value(master->MeterLeft()), QStringLiteral("-18 dB"));
        QCOMPARE(Value(master->MeterRight()), QStringLiteral("-inf dB"));
        QVERIFY(Face(master->MeterLeft())->state().readOnly);
        QCOMPARE(Name(master->Volume()), QStringLiteral("Master volume"));
        QCOMPARE(Name(master->Balance()), QStringLiteral("Master balance"));
        QCOMPARE(Value(master->Balance()), QStringLiteral("C"));
        QCOMPARE(Name(master->Readout()), QStringLiteral("Master volume read-out"));
        QCOMPARE(Face(master->Readout())->role(), QAccessible::StaticText);
        master->SetVolume(-7, 0);
        QCOMPARE(Value(master->Readout()), QStringLiteral("-7.0 dB"));
        QCOMPARE(Name(master->Mute()), QStringLiteral("Master mute"));
    }

    void controlSectionLampsAndButtons()
    {
        CMessageLog container;
        auto* section = new CControlSection;
        section->Create(&container);
        CBitmapPushButton* wordClock = section->SyncButton(3);
        QCOMPARE(Name(wordClock), QStringLiteral("Word Clock"));
        QCOMPARE(Value(wordClock), QStringLiteral("off"));
        section->SelectInGroup(CControlSection::Group::Sync, 3);
        QCOMPARE(Value(wordClock), QStringLiteral("on"));
        QCOMPARE(Name(section->SyncButton(1)), QStringLiteral("Coax SPDIF"));
        QCOMPARE(Name(section->DigitalButton(0)), QStringLiteral("SPDIF"));
        QCOMPARE(Name(section->UsbLamp()), QStringLiteral("USB 2.0"));
        QCOMPARE(Face(section->UsbLamp())->role(), QAccessible::Indicator);
        QVERIFY(!Face(section->UsbLamp())->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
        section->SetHostLamp(0);
        QCOMPARE(Value(section->UsbLamp()), QStringLiteral("on"));
        QCOMPARE(Value(section->FireWireLamp()), QStringLiteral("off"));
        QCOMPARE(Name(section->Apply()), QStringLiteral("Apply sample rate"));
        QCOMPARE(Face(section->Apply())->role(), QAccessible::Button);
        QCOMPARE(Value(section->Apply()), QString());

        // Pressing through the screen reader is the user's click.
        container.Drain();
        container.messages.clear();
        Face(section->SyncButton(1))->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(container.Count(UM_SYNC_SOURCE), 1);
        QCOMPARE(container.messages.last().lParam, qintptr(1));
    }

    void topBarAndCrossfader()
    {
        CMessageLog container;
        auto* top = new CMixerPanelTop;
        top->Create(&container);
        top->ShowMessage(QStringLiteral("Hello"), 5000);
        QCOMPARE(Name(top->Display()), QStringLiteral("Status display"));
        QCOMPARE(Value(top->Display()), QStringLiteral("Hello"));
        auto* cross = new CCrossFaderStrip;
        cross->Create(&container);
        QCOMPARE(Name(cross->Slider()), QStringLiteral("Crossfader"));
        cross->Slider()->SetPos(-40);
        QCOMPARE(Value(cross->Slider()), QStringLiteral("L40"));
    }

    void settingAValueSendsTheSliderMessage()
    {
        CMessageLog container;
        auto* master = new CChannelStripMainOut;
        master->Create(&container);
        QAccessibleValueInterface* value = Face(master->Volume())->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->minimumValue().toInt(), 0);
        QCOMPARE(value->maximumValue().toInt(), 63);
        // Through the same message a drag sends: the strip posts the balance.
        QAccessibleValueInterface* balance = Face(master->Balance())->valueInterface();
        balance->setCurrentValue(300);
        QCOMPARE(master->Balance()->GetPos(), 127);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(container.Count(UM_BALANCE), 1);
        // The meter's value cannot be set.
        const int before = master->MeterLeft()->GetPos();
        Face(master->MeterLeft())->valueInterface()->setCurrentValue(before == 0 ? 50 : 0);
        QCOMPARE(master->MeterLeft()->GetPos(), before);
    }

    void toolTipsShowNameAndValue()
    {
        CMessageLog container;
        auto* master = new CChannelStripMainOut;
        master->Create(&container);
        master->SetKindText(QStringLiteral("Master"));
        master->UpdateData(false);
        master->SetVolume(-12, 0);
        QCOMPARE(surface::ControlToolTip(master->Volume()), QStringLiteral("Master volume: -12.0 dB"));
        for (int i = 0; i < 40; ++i)
            master->SetMeterLevels(88, 100);
        QCOMPARE(surface::ControlToolTip(master->MeterLeft()),
                 QStringLiteral("Master left level: -18 dB, peak -18 dB"));
        master->SetMeterLevels(0, 0);
        QCOMPARE(surface::ControlToolTip(master->ClipLamp()),
                 QStringLiteral("Master clip: on (click to clear)"));

        container.resize(200, 400);
        container.show();
        QVERIFY(QTest::qWaitForWindowExposed(&container));
        for (QWidget* control : {static_cast<QWidget*>(master->Volume()),
                                 static_cast<QWidget*>(master->MeterLeft()),
                                 static_cast<QWidget*>(master->Mute())}) {
            const QPoint at = control->rect().center();
            QHelpEvent help(QEvent::ToolTip, at, control->mapToGlobal(at));
            QCoreApplication::sendEvent(control, &help);
            QCOMPARE(QToolTip::text(), surface::ControlToolTip(control));
            QToolTip::hideText();
        }
    }

    void panTextBounds()
    {
        QCOMPARE(surface::PanText(0), QStringLiteral("C"));
        QCOMPARE(surface::PanText(-20), QStringLiteral("L20"));
        QCOMPARE(surface::PanText(5), QStringLiteral("R5"));
        QCOMPARE(surface::PanText(std::numeric_limits<int>::min()), QStringLiteral("L2147483648"));
    }
};

QTEST_MAIN(AccessibleTest)
#include "AccessibleTest.moc"
