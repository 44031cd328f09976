#include "ElementHarness.h"
#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapStatusDisplay.h"
#include "ui/ControlId.h"
#include "ui/SkinLoader.h"

#include <QSignalSpy>
#include <QTest>

namespace {

using Style = CBitmapPushButton::Style;

CBitmapPushButton* MakeButton(QWidget* parent, Style style, int bitmap = 149, int w = 30,
                              int h = 16)
{
    auto* b = new CBitmapPushButton(parent, 1023, style);
    b->SetImages(true, bitmap, w, h);
    return b;
}

QPoint Inside(QWidget* w)
{
    return w->rect().center();
}

void Click(QWidget* w)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, Inside(w));
}

// The image i of a strip as drawn.
QImage StripImage(int bitmap, int i, int w, int h)
{
    return CSkin::Image(bitmap, 1.0).copy(i * w, 0, w, h).convertToFormat(QImage::Format_RGB32);
}

QImage Shot(QWidget* w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class ButtonTest : public QObject {
    Q_OBJECT

private slots:
    void imagesSizeTheButton()
    {
        QWidget parent;
        CBitmapPushButton* b = MakeButton(&parent, Style::AutoRadioButton, 144, 68, 12);
        QVERIFY(b->ImagesLoaded());
        QCOMPARE(b->ImageCount(), 3);
        QCOMPARE(b->size(), QSize(68, 12));
        QCOMPARE(ControlId(b), 1023);
    }

    void checkBoxStylesToggle()
    {
        QWidget parent;
        for (Style style : {Style::CheckBox, Style::AutoCheckBox}) {
            CBitmapPushButton* b = MakeButton(&parent, style);
            QSignalSpy clicked(b, &QAbstractButton::clicked);
            Click(b);
            QCOMPARE(b->GetCheck(), unsigned(CBitmapPushButton::StateChecked));
            Click(b);
            QCOMPARE(b->GetCheck(), 0u);
            QCOMPARE(clicked.count(), 2);
        }
    }

    void threeStateCyclesThroughIndeterminate()
    {
        QWidget parent;
        for (Style style : {Style::ThreeState, Style::AutoThreeState}) {
            CBitmapPushButton* b = MakeButton(&parent, style);
            const unsigned checked = CBitmapPushButton::StateChecked;
            const unsigned both = checked | CBitmapPushButton::StateIndeterminate;
            QList<unsigned> seen;
            for (int i = 0; i < 4; ++i) {
                Click(b);
                seen.append(b->GetCheck());
            }
            QCOMPARE(seen, (QList<unsigned>{checked, both, 0u, checked}));
            // Indeterminate alone clears to unchecked too.
            b->SetCheck(0);
            Click(b);
            Click(b);
            QCOMPARE(b->GetCheck(), both);
            Click(b);
            QCOMPARE(b->GetCheck(), 0u);
        }
    }

    void radioButtonsNeverUncheckThemselves()
    {
        QWidget parent;
        CBitmapPushButton* automatic = MakeButton(&parent, Style::AutoRadioButton);
        QSignalSpy clicked(automatic, &QAbstractButton::clicked);
        Click(automatic);
        QCOMPARE(automatic->GetCheck(), unsigned(CBitmapPushButton::StateChecked));
        Click(automatic); // a lit mute button stays lit; the strip turns it off
        QCOMPARE(automatic->GetCheck(), unsigned(CBitmapPushButton::StateChecked));
        QCOMPARE(clicked.count(), 2);

        CBitmapPushButton* plainRadio = MakeButton(&parent, Style::RadioButton);
        Click(plainRadio);
        QCOMPARE(plainRadio->GetCheck(), 0u);

        CBitmapPushButton* push = MakeButton(&parent, Style::PushButton, 155, 28, 14);
        QSignalSpy pushed(push, &QAbstractButton::clicked);
        Click(push);
        Click(push);
        QCOMPARE(push->GetCheck(), 0u);
        QCOMPARE(pushed.count(), 2);
    }

    void pressAndLeaveSendsNothing()
    {
        QWidget parent;
        CBitmapPushButton* b = MakeButton(&parent, Style::AutoCheckBox);
        QSignalSpy clicked(b, &QAbstractButton::clicked);
        QTest::mousePress(b, Qt::LeftButton, {}, Inside(b));
        QVERIFY(b->IsTracking());
        QVERIFY(b->GetState() & CBitmapPushButton::StatePushed);
        QTest::mouseMove(b, QPoint(200, 200));
        QVERIFY(!(b->GetState() & CBitmapPushButton::StatePushed));
        QTest::mouseMove(b, Inside(b));
        QVERIFY(b->GetState() & CBitmapPushButton::StatePushed);
        QTest::mouseMove(b, QPoint(-5, 3));
        QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(-5, 3));
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(b->GetCheck(), 0u);
        QVERIFY(!b->IsTracking());
        QCOMPARE(b->GetState() & CBitmapPushButton::StatePushed, 0u);
    }

    void doubleClickIsOneClick()
    {
        QWidget parent;
        CBitmapPushButton* check = MakeButton(&parent, Style::AutoCheckBox);
        CBitmapPushButton* push = MakeButton(&parent, Style::PushButton, 155, 28, 14);
        auto* plain = new CBitmapPushButton(&parent, 1062, Style::PushButton);
        plain->resize(60, 24);
        for (CBitmapPushButton* b : {check, push, plain}) {
            QSignalSpy clicked(b, &QAbstractButton::clicked);
            DoubleClickButton(b);
            QCOMPARE(clicked.count(), 1);
            QVERIFY(!b->IsTracking());
            QCOMPARE(b->GetState() & CBitmapPushButton::StatePushed, 0u);
            QVERIFY(!b->isDown());
            // The next single click still counts.
            ClickButton(b);
            QCOMPARE(clicked.count(), 2);
        }
        QCOMPARE(check->GetCheck(), 0u);
    }

    void setCheckEndsTracking()
    {
        QWidget parent;
        CBitmapPushButton* b = MakeButton(&parent, Style::AutoCheckBox);
        QSignalSpy clicked(b, &QAbstractButton::clicked);
        QTest::mousePress(b, Qt::LeftButton, {}, Inside(b));
        b->SetCheck(2); // any nonzero value checks
        QVERIFY(!b->IsTracking());
        QTest::mouseRelease(b, Qt::LeftButton, {}, Inside(b));
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(b->GetCheck(), unsigned(CBitmapPushButton::StateChecked));
    }

    void imageFollowsStateAndEnable()
    {
        QWidget parent;
        CBitmapPushButton* b = MakeButton(&parent, Style::AutoCheckBox, 182, 50, 14);
        QCOMPARE(Shot(b), StripImage(182, 1, 50, 14));
        QCOMPARE(b->ImageShown(), 1);
        b->SetCheck(1);
        QCOMPARE(Shot(b), StripImage(182, 2, 50, 14));
        b->setEnabled(false);
        QCOMPARE(Shot(b), StripImage(182, 0, 50, 14));
        QCOMPARE(b->ImageShown(), 0);
        b->SetCheck(0);
        Shot(b);
        QCOMPARE(b->ImageShown(), 0);
        b->setEnabled(true);
        // Held down: the "on" image, inset by a pixel because of the shift.
        QTest::mousePress(b, Qt::LeftButton, {}, Inside(b));
        const QImage held = Shot(b);
        QCOMPARE(b->ImageShown(), 2);
        QCOMPARE(held.copy(2, 2, 40, 10), StripImage(182, 2, 50, 14).copy(1, 1, 40, 10));
        QTest::mouseRelease(b, Qt::LeftButton, {}, Inside(b));
    }

    void stripNotThreeImagesWideShowsOnlyTheFace()
    {
        QWidget parent;
        auto* b = new CBitmapPushButton(&parent, 1, Style::AutoCheckBox);
        QVERIFY(b->SetImages(true, CSkin::Bitmap(149, 1.0), 45, 16));
        QCOMPARE(b->ImageCount(), 2);
        b->SetCheck(1);
        const QImage shot = Shot(b);
        const QRgb face = b->palette().color(QPalette::Button).rgb();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                QCOMPARE(shot.pixel(x, y), face);
        // It still behaves as a button.
        QSignalSpy clicked(b, &QAbstractButton::clicked);
        Click(b);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(b->GetCheck(), 0u);
    }

    void missingBitmapLeavesAPlainButton()
    {
        QWidget parent;
        auto* b = new CBitmapPushButton(&parent, 1062, Style::PushButton);
        QVERIFY(!b->SetImages(false, 4711, 28, 14));
        QVERIFY(!b->ImagesLoaded());
        b->setText("Apply");
        b->resize(60, 24);
        QSignalSpy clicked(b, &QAbstractButton::clicked);
        Click(b);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!b->grab().isNull());
    }

    void lampIgnoresTheUser()
    {
        QWidget parent;
        auto* lamp = new CBitmapStatusDisplay(&parent, 1031);
        QVERIFY(lamp->SetImages(false, 134, 11, 11));
        QSignalSpy clicked(lamp, &QAbstractButton::clicked);
        Click(lamp);
        QTest::mouseDClick(lamp, Qt::LeftButton, {}, Inside(lamp));
        lamp->Click();
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(lamp->GetCheck(), 0u);
        QVERIFY(!lamp->IsTracking());
        QCOMPARE(Shot(lamp), StripImage(134, 1, 11, 11));
        lamp->SetCheck(1);
        QCOMPARE(Shot(lamp), StripImage(134, 2, 11, 11));
        lamp->setEnabled(false);
        QCOMPARE(Shot(lamp), StripImage(134, 0, 11, 11));
    }
};

QTEST_MAIN(ButtonTest)
#include "ButtonTest.moc"
