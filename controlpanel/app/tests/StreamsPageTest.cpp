// The "Streams" page against the rig: plug cells, the report with its rate
// line and status lines, the summary in pane 3 and the kept selection.
#include <QtTest>

#include <QLabel>

#include "controlpanel/app/ControlPanelIds.h"
#include "controlpanel/app/DlgPgStreams.h"
#include "controlpanel/app/ListCtrlEx.h"
#include "controlpanel/app/TreeCtrlEx.h"
#include "controlpanel/app/tests/PageFixture.h"
#include "controlpanel/driver/ControlPanelRequests.h"
#include "sim/ControlPanelState.h"
#include "ui/ControlId.h"

class StreamsPageTest : public QObject, PageFixture {
    Q_OBJECT

    CDlgPgStreams* Page() { return View()->StreamsPage(); }
    CListCtrlEx* List() { return FindControl<CListCtrlEx>(Page(), IDC_STREAM_LIST); }
    QString Report() { return FindControl<QLabel>(Page(), IDC_STREAM_REPORT)->text(); }
    QStringList Cells(int row)
    {
        QStringList cells;
        for (int c = 0; c < 5; ++c)
            cells << List()->GetItemText(row, c);
        return cells;
    }
    void SetPlug(std::uint32_t device, std::uint32_t plug, std::uint32_t state, std::uint32_t code = 0)
    {
        m_rig->withControlPanel([=](qel::sim::ControlPanelState& s) { s.setPlugState(device, plug, state, code); });
    }

private slots:
    void init() { SetUpRig(); }
    void cleanup() { TearDownRig(); }

    void connectedPlugsAndTheReport()
    {
        m_rig->setSampleRates({1, 48000, {44100, 48000, 96000}});
        Start();
        QCOMPARE(List()->horizontalHeaderItem(4)->text(), QStringLiteral("Synch In Plug"));
        QCOMPARE(Cells(0), QStringList({"Studio 610", "connected (0)", "connected (1)", "", ""}));
        QCOMPARE(List()->GetItemText(1, 0), QStringLiteral("Stage 1814"));
        QCOMPARE(m_frame->PaneText(3), QStringLiteral("streaming"));
        QCOMPARE(List()->GetSelectedIndex(), 0);
        const QString rates = QStringLiteral("Supported sampling rates (Hz): 44100  [48000]  96000  ");
        QCOMPARE(Report(), QStringLiteral("AudioOutPlug: successfully connected\n   Isochronous stream number: 0\n   ") +
                               rates +
                               QStringLiteral("\nAudioInPlug: successfully connected\n   Isochronous stream number: "
                                              "1\n   ") +
                               rates + QStringLiteral("\n\n"));
        QCOMPARE(Page()->Report(), Report());
    }

    void connectFailedShowsTheStatusLine()
    {
        SetPlug(2, qel::sim::kAudioInPlug, qel::sim::kPlugConnectFailed, 0xE0000073);
        SetPlug(2, qel::sim::kSynchOutPlug, qel::sim::kPlugConnectFailed, 0xE00000FF);
        Start();
        QCOMPARE(m_frame->PaneText(3), QStringLiteral("connect failed"));
        // The rig numbers the second device's streams from 4.
        QCOMPARE(Cells(1).mid(1), QStringList({"connected (4)", "connect failed", "connect failed", ""}));
        List()->SelectItem(1);
        const QStringList lines = Report().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[3], QStringLiteral("AudioInPlug: connect failed (Error code 0xE0000073: Bandwidth allocation "
                                          "failed.)"));
        // Nothing is highlighted on a failed plug.
        QCOMPARE(lines[4], QStringLiteral("   Supported sampling rates (Hz): 44100  48000  88200  96000  176400  192000  "));
        // An unknown code keeps the colon and its blank.
        QCOMPARE(lines[5], QStringLiteral("SynchOutPlug: connect failed (Error code 0xE00000FF: )"));
        QCOMPARE(lines[7], QString());
    }

    void rateTexts()
    {
        m_rig->setSampleRates({1, 44100, {22050, 32000, 44100}});
        Start();
        QVERIFY(Report().contains(
            QStringLiteral("Supported sampling rates (Hz): unknown    32000  [44100]  \n")));
        // Direct: eight rates at most, unknown values and no highlight.
        qel::QEL_PLUG_STATUS plug;
        plug.setWord(qel::QEL_PLUG_STATUS::kRateCountOffset, 9);
        for (std::size_t i = 0; i < 8; ++i)
            plug.setWord(qel::QEL_PLUG_STATUS::kRatesOffset + 4 * i, 22050);
        QCOMPARE(RateLine(plug, 0), QStringLiteral("Supported sampling rates (Hz): ") +
                                        QStringLiteral("unknown    ").repeated(8));
        QCOMPARE(PlugCellText(plug), QString());
        // A failed plug marks the value 0, so a zero rate word shows in brackets.
        plug.setWord(qel::QEL_PLUG_STATUS::kRatesOffset, 0);
        QVERIFY(RateLine(plug, 0).startsWith(QStringLiteral("Supported sampling rates (Hz): [unknown  ]  unknown")));
        QCOMPARE(PlugReportText(QStringLiteral("AudioOutPlug"), plug), QString());
    }

    void invalidRememberedSelectionSelectsTheFirstDevice()
    {
        Start();
        List()->SelectItem(1);
        QVERIFY(Report().contains(QStringLiteral("Isochronous stream number: 4\n")));
        const QString second = Report();
        QVERIFY(m_rig->unplug(2));
        View()->RefreshAllPages();
        QCOMPARE(List()->GetItemCount(), 1);
        QCOMPARE(List()->GetSelectedIndex(), 0);
        QVERIFY(Report().startsWith(QStringLiteral("AudioOutPlug: successfully connected\n   Isochronous stream number: 0")));
        QVERIFY(Report() != second);
    }

    void unreadableStreamInfoAndNoDriver()
    {
        SetPlug(1, qel::sim::kAudioOutPlug, qel::sim::kPlugConnectFailed, 0xE0000076);
        // The failing device keeps an empty row and does not count.
        m_rig->failNext(qel::QEL_REQ_GET_STREAM_INFO, 1, 0xE0000001);
        Start();
        QCOMPARE(Cells(0), QStringList({"Studio 610", "", "", "", ""}));
        QCOMPARE(m_frame->PaneText(3), QStringLiteral("streaming"));

        TearDownRig();
        SetUpRig();
        DriverAbsent();
        Start();
        QCOMPARE(List()->GetItemCount(), 0);
        QCOMPARE(Report(), QString());
        QCOMPARE(m_frame->PaneText(3), QStringLiteral("no streams available"));
    }

    void screenshot()
    {
        Start();
        m_frame->show();
        View()->Tree()->SelectItem(View()->TreeItem(5));
        
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
        QVERIFY(m_frame->grab().save(QStringLiteral("/tmp/cpl_page_streams.png")));
    }
};

QTEST_MAIN(StreamsPageTest)
#include "StreamsPageTest.moc"
