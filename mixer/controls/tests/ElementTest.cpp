#include "MessageLog.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerMessages.h"
#include "mixer/controls/MixerPanelTop.h"
#include "ui/ControlId.h"
#include "ui/SkinLoader.h"

#include <QLabel>
#include <QTest>

namespace {

class CPlainElement : public CMixerElement {
public:
    explicit CPlainElement(int background, QWidget* parent = nullptr)
        : CMixerElement(background, parent)
    {
    }
    void SetMeterLevels(int, int) override {}
    void DropMeters() override {}
    void SetCrossfade(quint32, quint32, double) override {}
    QString GetConnectionName() const override { return m_connectionName; }
};

QImage Shot(QWidget* w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class ElementTest : public QObject {
    Q_OBJECT

private slots:
    void initialisationTakesTheBackgroundSize()
    {
        QWidget container;
        CPlainElement strip(133);
        QCOMPARE(strip.LeftMeterIndex(), -1);
        QCOMPARE(strip.RightMeterIndex(), -1);
        QVERIFY(!strip.VisibleFlag());
        QCOMPARE(strip.ElementWidth(), 0);
        QCOMPARE(strip.size(), QSize(196, 347));
        strip.Create(&container);
        QCOMPARE(strip.parentWidget(), &container);
        QCOMPARE(strip.ElementWidth(), 86);
        QCOMPARE(strip.ElementHeight(), 368);
        QCOMPARE(strip.size(), QSize(86, 368));
        QCOMPARE(strip.LabelFont().family(), QString("Arial"));
        QCOMPARE(strip.LabelFont().pixelSize(), 12);
        QCOMPARE(strip.LabelFont().weight(), QFont::Normal);
        strip.setParent(nullptr);
    }

    void backgroundAndFrame()
    {
        CPlainElement strip(181);
        strip.OnInitDialog();
        QCOMPARE(strip.PaintSize(), QSize(0, 0));
        const QImage shot = Shot(&strip);
        QCOMPARE(strip.PaintSize(), QSize(56, 368));
        const QImage background = CSkin::Image(181, 1.0).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(QColor(shot.pixel(0, 0)), QColor(0xF1, 0xEF, 0xE2));
        QCOMPARE(QColor(shot.pixel(0, 200)), QColor(0xF1, 0xEF, 0xE2));
        QCOMPARE(QColor(shot.pixel(55, 367)), QColor(0x71, 0x6F, 0x64));
        QCOMPARE(QColor(shot.pixel(55, 100)), QColor(0x71, 0x6F, 0x64));
        QCOMPARE(shot.pixel(20, 150), background.pixel(20, 150));
        strip.SetFrameWanted(false);
        QCOMPARE(Shot(&strip).pixel(0, 0), background.pixel(0, 0));
    }

    void labelsLieOnTheSkin()
    {
        CPlainElement strip(133);
        strip.OnInitDialog();
        QLabel* label = strip.AddLabel(1008, "CH ID", QRect(4, 100, 78, 30), Qt::AlignCenter);
        label->setFont(strip.LabelFont());
        QCOMPARE(FindControl<QLabel>(&strip, 1008), label);
        strip.SetFrameWanted(false);
        const QImage shot = Shot(&strip);
        const QImage background = CSkin::Image(133, 1.0).convertToFormat(QImage::Format_RGB32);
        // Away from the glyphs the skin shows through; the glyphs are drawn.
        QCOMPARE(shot.pixel(6, 102), background.pixel(6, 102));
        bool text = false;
        for (int x = 4; x < 82 && !text; ++x)
            for (int y = 100; y < 130 && !text; ++y)
                text = shot.pixel(x, y) != background.pixel(x, y);
        QVERIFY(text);
    }

    void postToParentAndPlaceControl()
    {
        CMessageLog container;
        CPlainElement* strip = new CPlainElement(133, &container);
        strip->OnInitDialog();
        strip->SetBlockId(0x1234);
        QCOMPARE(strip->BlockId(), quint8(0x34));
        QVERIFY(CMixerElement::PostToParent(strip, UM_VOLUME, strip->BlockId(), 2, -20));
        const auto& log = container.Drain();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].code, UM_VOLUME);
        QCOMPARE(log[0].wParam, quintptr(0x00340002));
        QCOMPARE(log[0].lParam, qintptr(-20));

        QLabel* label = strip->AddLabel(1078, "Line 1/2 PC", QRect(448, 22, 90, 14));
        QVERIFY(strip->PlaceControl(1078, 318, 27));
        QCOMPARE(label->geometry(), QRect(318, 27, 90, 14));
        QVERIFY(!strip->PlaceControl(4242, 1, 1));
    }

    void missingBackgroundLeavesAPlainElement()
    {
        CPlainElement element(4711);
        element.OnInitDialog();
        QCOMPARE(element.ElementWidth(), 0);
        QCOMPARE(element.size(), QSize(196, 347));
        QVERIFY(!element.grab().isNull());
    }

    void topBarShowsItsTitleRightAligned()
    {
        CMixerPanelTop top;
        top.SetTitle("Kavro FW-1884");
        top.OnInitDialog();
        QCOMPARE(top.size(), QSize(795, 28));
        auto* display = FindControl<CMatrixStatic>(&top, CMixerPanelTop::kDisplayId);
        QCOMPARE(display, top.Display());
        QCOMPARE(display->size(), QSize(364, 13));
        QCOMPARE(display->Columns(), 60);
        QVERIFY(!display->IsLeftAligned());
        QCOMPARE(display->Text(), QString(47, ' ') + "Kavro FW-1884");
        QCOMPARE(top.GetConnectionName(), QString());
    }

    void showMessageReturnsToTheTitle()
    {
        CMixerPanelTop top;
        top.SetTitle("Kavro FW-1884");
        top.OnInitDialog();
        CMatrixStatic* display = top.Display();
        display->SetLeftAligned(true);
        display->SetText(top.Title());

        top.ShowMessage("Sync lost", 400);
        QVERIFY(top.MessageShowing());
        QVERIFY(!display->IsLeftAligned());
        QCOMPARE(display->Text(), QString(51, ' ') + "Sync lost");
        // A second message restarts the timer with its own duration.
        QTest::qWait(250);
        top.ShowMessage("Bus reset", 400);
        QTest::qWait(250);
        QCOMPARE(display->Text(), QString(51, ' ') + "Bus reset");
        QTRY_VERIFY_WITH_TIMEOUT(!top.MessageShowing(), 2000);
        QCOMPARE(display->Text(), QString(47, ' ') + "Kavro FW-1884");
        QVERIFY(!display->IsLeftAligned());
    }

    void emptyMessageChangesNothing()
    {
        CMixerPanelTop top;
        top.SetTitle("Kavro FW-1884");
        top.OnInitDialog();
        top.Display()->SetLeftAligned(true);
        const QString before = top.Display()->Text();
        top.ShowMessage(QString(), 4000);
        QVERIFY(!top.MessageShowing());
        QVERIFY(top.Display()->IsLeftAligned());
        QCOMPARE(top.Display()->Text(), before);
    }
};

QTEST_MAIN(ElementTest)
#include "ElementTest.moc"
