// The "Settings" page against the rig: slider ranges, ticks and positions
// from the buffer records, the value texts, the three Apply buttons with and
// without the sync-change bracket, refused records and the drop-out poll.
#include <QtTest>

#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DlgPgASIOSettings.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "controlpanel/app/tests/PageFixture.h"
#include "controlpanel/driver/ControlPanelRequests.h"
#include "device/Requests.h"
#include "sim/ControlPanelState.h"
#include "ui/ControlId.h"

using qel::sim::BufferKind;
using qel::sim::BufferSetting;

class SettingsPageTest : public QObject, PageFixture {
    Q_OBJECT

    CDlgPgASIOSettings* Page() { return View()->SettingsPage(); }
    QSlider* Slider(int id) { return FindControl<QSlider>(Page(), id); }
    QPushButton* Apply(int id) { return FindControl<QPushButton>(Page(), id); }
    QString Text(int id) { return FindControl<QLabel>(Page(), id)->text(); }
    void SetBuffer(BufferKind kind, BufferSetting setting)
    {
        m_rig->withControlPanel([&](qel::sim::ControlPanelState& s) { s.buffer(kind) = setting; });
    }
    BufferSetting Buffer(BufferKind kind)
    {
        BufferSetting b;
        m_rig->withControlPanel([&](qel::sim::ControlPanelState& s) { b = s.buffer(kind); });
        return b;
    }
    void SelectPage(int order) { View()->Tree()->SelectItem(View()->TreeItem(order)); }

private slots:
    void init() { SetUpRig(); }
    void cleanup() { TearDownRig(); }

    void slidersFollowTheRecords()
    {
        // Stream 1000/250/2000, ASIO 1000/500/5000, WDM 2000/1000/10000 at 48 kHz.
        Start();
        QSlider* stream = Slider(IDC_STREAM_SLIDER);
        QCOMPARE(stream->minimum(), 4);
        QCOMPARE(stream->maximum(), 40);
        QCOMPARE(stream->value(), 8);
        QCOMPARE(stream->tickInterval(), 1);
        QCOMPARE(stream->pageStep(), 1);
        QCOMPARE(stream->tickPosition(), QSlider::TicksBothSides);
        QCOMPARE(Text(IDC_STREAM_TEXT), QStringLiteral("2000 µs"));

        QSlider* asio = Slider(IDC_ASIO_SLIDER);
        QCOMPARE(asio->minimum(), 2);
        QCOMPARE(asio->maximum(), 80);
        QCOMPARE(asio->value(), 10);
        QCOMPARE(asio->tickInterval(), 2);  // 79 positions
        QCOMPARE(Text(IDC_ASIO_TEXT), QStringLiteral("5.0 ms\n240 samples"));

        QSlider* wdm = Slider(IDC_WDM_SLIDER);
        QCOMPARE(wdm->minimum(), 2);
        QCOMPARE(wdm->maximum(), 40);
        QCOMPARE(wdm->tickInterval(), 1);  // 39 positions
        QCOMPARE(Text(IDC_WDM_TEXT), QStringLiteral("10.0 ms\n480 samples"));
        for (int id : {IDC_STREAM_APPLY, IDC_ASIO_APPLY, IDC_WDM_APPLY})
            QVERIFY(!Apply(id)->isEnabled());

        // Step 1 from 1000 to 40000: 39001 positions.
        SetBuffer(BufferKind::Asio, {1000, 1, 5333, 40000, 0});
        Page()->Refresh();
        QCOMPARE(asio->minimum(), 1000);
        QCOMPARE(asio->maximum(), 40000);
        QCOMPARE(asio->value(), 5333);
        QCOMPARE(asio->tickInterval(), 976);
        QCOMPARE(Text(IDC_ASIO_TEXT), QStringLiteral("5.3 ms\n255 samples"));
        QVERIFY(!Apply(IDC_ASIO_APPLY)->isEnabled());

        QCOMPARE(CDlgPgASIOSettings::AudioTickFrequency(1000, 1000), 1);  // 40 positions
        QCOMPARE(CDlgPgASIOSettings::AudioTickFrequency(500, 500), 2);    // 80 positions
        QCOMPARE(CDlgPgASIOSettings::AudioTickFrequency(0, 1000), 2);     // 41 positions
        // A minimum above the limit does not wrap around to a huge count.
        QCOMPARE(CDlgPgASIOSettings::AudioTickFrequency(50000, 1), 1);
    }

    void asioOneStepAndApplyWithoutBracket()
    {
        Start();
        QSlider* asio = Slider(IDC_ASIO_SLIDER);
        asio->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(asio->value(), 11);
        QVERIFY(Apply(IDC_ASIO_APPLY)->isEnabled());
        QCOMPARE(Text(IDC_ASIO_TEXT), QStringLiteral("5.5 ms"));
        QVERIFY(!Apply(IDC_STREAM_APPLY)->isEnabled());
        QVERIFY(!Apply(IDC_WDM_APPLY)->isEnabled());
        // Moving back keeps Apply enabled.
        asio->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QVERIFY(Apply(IDC_ASIO_APPLY)->isEnabled());
        QCOMPARE(Text(IDC_ASIO_TEXT), QStringLiteral("5.0 ms"));
        asio->triggerAction(QAbstractSlider::SliderSingleStepAdd);

        m_rig->takeTrace();
        Apply(IDC_ASIO_APPLY)->click();
        const std::vector<std::string> trace = m_rig->takeTrace();
        QStringList names;
        for (const std::string& line : trace)
            names << QString::fromStdString(line).section(QLatin1Char(' '), 1, 1);
        names.removeAll(QStringLiteral("QEL_REQ_GET_EVENT"));
        QCOMPARE(names, QStringList({"QEL_REQ_SET_ASIO_BUFFER", "QEL_REQ_GET_STREAM_BUFFER", "QEL_REQ_GET_ASIO_BUFFER",
                                     "QEL_REQ_GET_WDM_BUFFER"}));
        // Current depth, minimum and step as read, and the sample word as read.
        QCOMPARE(QString::fromStdString(trace.front()).section(QLatin1Char(' '), 3, 3),
                 QStringLiteral("in=") + Le32(5500) + Le32(1000) + Le32(500) + Le32(240));
        QCOMPARE(Buffer(BufferKind::Asio).current, 5500u);
        QCOMPARE(m_rig->syncChangeDepth(), 0);
        QCOMPARE(Text(IDC_ASIO_TEXT), QStringLiteral("5.5 ms\n264 samples"));
        QVERIFY(!Apply(IDC_ASIO_APPLY)->isEnabled());
    }

    void streamAndWdmApplyInsideTheBracket()
    {
        Start();
        Slider(IDC_STREAM_SLIDER)->setValue(12);
        QCOMPARE(Text(IDC_STREAM_TEXT), QStringLiteral("3000 µs"));
        QVERIFY(Apply(IDC_STREAM_APPLY)->isEnabled());
        Requests();
        m_rig->takeTrace();
        Apply(IDC_STREAM_APPLY)->click();
        const QStringList sent = Requests();
        QCOMPARE(sent.mid(0, 3),
                 QStringList({"QEL_REQ_SET_STREAM_BUFFER", "QEL_REQ_BEGIN_SYNC_CHANGE", "QEL_REQ_END_SYNC_CHANGE"}));
        QCOMPARE(Buffer(BufferKind::Stream).current, 3000u);
        QCOMPARE(Slider(IDC_STREAM_SLIDER)->value(), 12);
        QVERIFY(!Apply(IDC_STREAM_APPLY)->isEnabled());

        Slider(IDC_STREAM_SLIDER)->setValue(16);
        m_rig->takeTrace();
        Apply(IDC_STREAM_APPLY)->click();
        // The word at offset 4 goes back as the driver gave it.
        QCOMPARE(InputsOf(QStringLiteral("QEL_REQ_SET_STREAM_BUFFER")),
                 QStringList({Le32(1000) + Le32(1) + Le32(250) + Le32(4000)}));

        Slider(IDC_WDM_SLIDER)->setValue(20);
        QCOMPARE(Text(IDC_WDM_TEXT), QStringLiteral("20.0 ms"));
        m_rig->takeTrace();
        Apply(IDC_WDM_APPLY)->click();
        QCOMPARE(Requests().mid(0, 3),
                 QStringList({"QEL_REQ_SET_WDM_BUFFER", "QEL_REQ_BEGIN_SYNC_CHANGE", "QEL_REQ_END_SYNC_CHANGE"}));
        QCOMPARE(Buffer(BufferKind::Wdm).current, 20000u);
        QCOMPARE(Text(IDC_WDM_TEXT), QStringLiteral("20.0 ms\n960 samples"));
        QCOMPARE(m_rig->syncChangeDepth(), 0);
    }

    void refusedRecordsDisableTheirSliderOnly()
    {
        // A step of 0 never reaches the page.
        SetBuffer(BufferKind::Asio, {1000, 0, 5000, 40000, 0});
        Start();
        QVERIFY(!Slider(IDC_ASIO_SLIDER)->isEnabled());
        QCOMPARE(Text(IDC_ASIO_TEXT), QString());
        QVERIFY(Slider(IDC_STREAM_SLIDER)->isEnabled());
        QVERIFY(Slider(IDC_WDM_SLIDER)->isEnabled());
        QCOMPARE(Text(IDC_WDM_TEXT), QStringLiteral("10.0 ms\n480 samples"));
        // Nothing can send the refused record.
        QVERIFY(!Apply(IDC_ASIO_APPLY)->isEnabled());

        m_rig->failNext(qel::QEL_REQ_GET_WDM_BUFFER, 1, 0xE0000001);
        SetBuffer(BufferKind::Asio, {1000, 500, 5000, 40000, 0});
        Page()->Refresh();
        QVERIFY(Slider(IDC_ASIO_SLIDER)->isEnabled());
        QVERIFY(!Slider(IDC_WDM_SLIDER)->isEnabled());
        QCOMPARE(Text(IDC_WDM_TEXT), QString());
        QCOMPARE(Text(IDC_ASIO_TEXT), QStringLiteral("5.0 ms\n240 samples"));
    }

    void dropOutsPolledOnlyWhileShown()
    {
        m_rig->withControlPanel([](qel::sim::ControlPanelState& s) { s.dropouts = 7; });
        Start(true);
        m_frame->show();
        QVERIFY(Page()->isVisible());
        QVERIFY(Page()->StatisticsTimerActive());
        QTRY_COMPARE(Text(IDC_DROPOUTS_TEXT), QStringLiteral("7"));

        // Showing again drops an unapplied position.
        Slider(IDC_ASIO_SLIDER)->setValue(30);
        SelectPage(0);
        QVERIFY(!Page()->StatisticsTimerActive());
        m_rig->takeTrace();
        QTest::qWait(1200);
        QVERIFY(!Requests().contains(QStringLiteral("QEL_REQ_GET_STATISTICS")));
        SelectPage(4);
        QVERIFY(Page()->StatisticsTimerActive());
        QCOMPARE(Slider(IDC_ASIO_SLIDER)->value(), 10);
        QVERIFY(!Apply(IDC_ASIO_APPLY)->isEnabled());

        // A failed poll blanks the count until the next good one.
        m_rig->failNext(qel::QEL_REQ_GET_STATISTICS, 1, 0xE0000001);
        QTRY_COMPARE(Text(IDC_DROPOUTS_TEXT), QString());
        m_rig->withControlPanel([](qel::sim::ControlPanelState& s) { s.dropouts = 4000000000u; });
        QTRY_COMPARE(Text(IDC_DROPOUTS_TEXT), QStringLiteral("4000000000"));
    }

    void noDriver()
    {
        DriverAbsent();
        Start(true);
        m_frame->show();
        for (int id : {IDC_STREAM_SLIDER, IDC_ASIO_SLIDER, IDC_WDM_SLIDER})
            QVERIFY(!Slider(id)->isEnabled());
        for (int id : {IDC_STREAM_APPLY, IDC_ASIO_APPLY, IDC_WDM_APPLY})
            QVERIFY(!Apply(id)->isEnabled());
        // The emptied texts reach the screen with the first statistics tick.
        QTRY_COMPARE(Text(IDC_ASIO_TEXT), QString());
        QCOMPARE(Text(IDC_STREAM_TEXT), QString());
        QCOMPARE(Text(IDC_WDM_TEXT), QString());
        QCOMPARE(Text(IDC_DROPOUTS_TEXT), QString());
    }

    void screenshot()
    {
        Start();
        m_frame->show();
        View()->Tree()->SelectItem(View()->TreeItem(4));
        
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
        QVERIFY(m_frame->grab().save(QStringLiteral("/tmp/cpl_page_settings.png")));
    }
};

QTEST_MAIN(SettingsPageTest)
#include "SettingsPageTest.moc"
