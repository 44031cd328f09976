#include "device/EventMessages.h"
#include "ui/ControlId.h"
#include "ui/DialogUnits.h"
#include "ui/MessageBoxRecorder.h"
#include "ui/SkinLoader.h"
#include "ui/WindowMessage.h"
#include "ui/WindowPort.h"

#include <QApplication>
#include <QLabel>
#include <QList>
#include <QTest>

#include <thread>

namespace {

struct Received {
    unsigned code;
    quintptr wParam;
    qintptr lParam;
};

class CMessageSink : public QWidget {
public:
    QList<Received> received;

protected:
    void customEvent(QEvent* event) override
    {
        if (const CWindowMessage* m = CWindowMessage::From(event))
            received.append({m->Code(), m->WParam(), m->LParam()});
    }
};

} // namespace

class UiGlueTest : public QObject {
    Q_OBJECT

private slots:
    void messageCarriesCodeAndParameters()
    {
        CMessageSink sink;
        QVERIFY(CWindowMessage::Post(&sink, 0x291D, CWindowMessage::MakeWParam(0x12, 2), -20));
        QVERIFY(sink.received.isEmpty()); // posted, not sent
        QCoreApplication::sendPostedEvents(&sink);
        QCOMPARE(sink.received.size(), 1);
        QCOMPARE(sink.received[0].code, 0x291Du);
        QCOMPARE(sink.received[0].wParam, quintptr(0x00120002));
        QCOMPARE(sink.received[0].lParam, qintptr(-20));

        const CWindowMessage m(0x2925, CWindowMessage::MakeWParam(0xABCD, 0x0001), 5);
        QCOMPARE(m.HighWord(), quint16(0xABCD));
        QCOMPARE(m.LowWord(), quint16(1));
    }

    void postToParentAndRejectedTargets()
    {
        CMessageSink parent;
        QWidget* child = new QWidget(&parent);
        QVERIFY(CWindowMessage::PostToParent(child, 0x28D1, 1012, 33));
        QWidget orphan;
        QVERIFY(!CWindowMessage::PostToParent(&orphan, 0x28D1, 1, 1));
        QVERIFY(!CWindowMessage::Post(nullptr, 0x28D1, 0, 0));
        // Codes below the user range would collide with Qt's own events.
        QVERIFY(!CWindowMessage::Post(&parent, 0x0111, 0, 0));
        QVERIFY(!CWindowMessage::Post(&parent, 0x10000, 0, 0));
        QCoreApplication::sendPostedEvents(&parent);
        QCOMPARE(parent.received.size(), 1);
        QCOMPARE(parent.received[0].code, 0x28D1u);
        QCOMPARE(parent.received[0].wParam, quintptr(1012));

        // Ordinary events are not mistaken for messages.
        QEvent plain(QEvent::User);
        QVERIFY(CWindowMessage::From(&plain) == nullptr);
    }

    void postingFromWorkerThreadsKeepsOrder()
    {
        CMessageSink sink;
        std::thread worker([&sink] {
            for (int i = 0; i < 50; ++i)
                CWindowMessage::Post(&sink, 0x8005, 7, i);
        });
        worker.join();
        QCoreApplication::sendPostedEvents(&sink);
        QCOMPARE(sink.received.size(), 50);
        for (int i = 0; i < 50; ++i)
            QCOMPARE(sink.received[i].lParam, qintptr(i));
    }

    void devicePortPostsUntilDetached()
    {
        CMessageSink sink;
        CWindowPort port(&sink);
        qel::IWindow& window = port;
        std::thread worker([&window] {
            for (int i = 0; i < 20; ++i)
                window.postMessage(0x8005, 0x00120000u, std::uintptr_t(i));
        });
        worker.join();
        // The device layer's unsigned second parameter keeps its bits.
        window.postMessage(0x8001, 0, ~std::uintptr_t(0));
        port.Detach();
        window.postMessage(0x8002, 1, 1);
        QCoreApplication::sendPostedEvents(&sink);
        QCOMPARE(sink.received.size(), 21);
        QCOMPARE(sink.received[19].code, 0x8005u);
        QCOMPARE(sink.received[19].wParam, quintptr(0x00120000));
        QCOMPARE(sink.received[19].lParam, qintptr(19));
        QCOMPARE(sink.received[20].lParam, qintptr(-1));
    }

    // The device layer's device-change message carries the platform's code
    // below the user range: the port hands it on under a code of that range.
    // Other codes below it still go nowhere.
    void devicePortCarriesTheDeviceChange()
    {
        CMessageSink sink;
        CWindowPort port(&sink);
        qel::IWindow& window = port;
        window.postMessage(qel::QEL_MSG_DEVICE_CHANGE, 0x8004, 0);
        window.postMessage(0x0111, 1, 1);
        window.postMessage(qel::QEL_MSG_DEVICE_CHANGE, 0x8000, 0);
        QCoreApplication::sendPostedEvents(&sink);
        QCOMPARE(sink.received.size(), 2);
        QVERIFY(CWindowMessage::IsValidCode(CWindowPort::kDeviceChangeMessage));
        QCOMPARE(sink.received[0].code, CWindowPort::kDeviceChangeMessage);
        QCOMPARE(sink.received[0].wParam, quintptr(0x8004));
        QCOMPARE(sink.received[1].code, CWindowPort::kDeviceChangeMessage);
        QCOMPARE(sink.received[1].wParam, quintptr(0x8000));
    }

    void recorderCapturesBoxesAndRestoresPrevious()
    {
        CMessageBoxService* const before = &CMessageBoxService::Current();
        {
            CMessageBoxRecorder outer;
            {
                CMessageBoxRecorder inner(CMessageBoxService::ResultNo);
                QCOMPARE(QelMessageBox(nullptr, "XML-configuration missing", "Warning",
                                       CMessageBoxService::Icon::Warning,
                                       CMessageBoxService::Buttons::YesNo),
                         int(CMessageBoxService::ResultNo));
                QCOMPARE(inner.Entries().size(), 1);
                QCOMPARE(inner.Entries()[0].caption, QString("Warning"));
                QCOMPARE(inner.Entries()[0].icon, CMessageBoxService::Icon::Warning);
            }
            QelMessageBox(nullptr, "second", "c");
            QCOMPARE(outer.Entries().size(), 1);
            QCOMPARE(outer.Entries()[0].text, QString("second"));
        }
        QCOMPARE(&CMessageBoxService::Current(), before);
    }

    void controlIdsFindNestedWidgets()
    {
        QWidget dialog;
        QWidget* group = new QWidget(&dialog);
        QLabel* label = new QLabel("Optical SPDIF", group);
        SetControlId(label, 1043);
        SetControlId(group, 1001);
        QCOMPARE(ControlId(label), 1043);
        QCOMPARE(ControlId(&dialog), 0);
        QCOMPARE(FindControl(&dialog, 1043), static_cast<QWidget*>(label));
        QCOMPARE(FindControl<QLabel>(&dialog, 1043), label);
        QVERIFY(FindControl<QLabel>(&dialog, 1001) == nullptr); // wrong type
        QVERIFY(FindControl(&dialog, 9999) == nullptr);
    }

    void dialogUnitsUseTheDialogFontBase()
    {
        // The empty element page of 131 x 214 dialog units.
        QCOMPARE(DuToPxX(131), 196);
        QCOMPARE(DuToPxY(214), 347);
        QCOMPARE(DuRect(7, 7, 80, 225), QRect(10, 11, 120, 365));
        QCOMPARE(DuToPxX(1), 1);
        QCOMPARE(DuToPxY(1), 1);
    }

    void skinPicturesHaveTheirSizesAtBothScales()
    {
        struct Expect { int id; int w; int h; };
        for (const Expect& e : {Expect{151, 1024, 512}, Expect{132, 795, 28}, Expect{133, 86, 368},
                                Expect{181, 56, 368}, Expect{135, 179, 422}, Expect{137, 614, 52},
                                Expect{141, 10, 199}, Expect{139, 10, 25}, Expect{152, 33, 13},
                                Expect{153, 52, 13}, Expect{136, 351, 13}, Expect{150, 7, 13},
                                Expect{143, 10, 200}, Expect{142, 10, 200}, Expect{149, 90, 16},
                                Expect{156, 90, 16}, Expect{144, 204, 12}, Expect{182, 150, 14},
                                Expect{134, 33, 11}, Expect{154, 51, 14}, Expect{148, 48, 14},
                                Expect{155, 84, 14}, Expect{147, 192, 27}}) {
            const QPixmap one = CSkin::Bitmap(e.id, 1.0);
            const QPixmap two = CSkin::Bitmap(e.id, 2.0);
            QVERIFY2(!one.isNull(), qPrintable(QString::number(e.id)));
            QCOMPARE(one.size(), QSize(e.w, e.h));
            QCOMPARE(two.size(), QSize(2 * e.w, 2 * e.h));
            QCOMPARE(two.deviceIndependentSize().toSize(), QSize(e.w, e.h));
        }
        for (int id : {175, 176, 177, 178, 179})
            QVERIFY2(!CSkin::Icon(id).isNull(), qPrintable(QString::number(id)));
        QVERIFY(CSkin::Bitmap(4711).isNull());
        QVERIFY(CSkin::Icon(4711).isNull());
    }

    void ledCharactersUseTheirFixedColours()
    {
        const QImage led = CSkin::Image(147, 1.0);
        QCOMPARE(led.size(), QSize(192, 27));
        // 'A' (65) is cell 1 of row 1; its left column is lit from row 1 to 6.
        const int ax = 1 * 6, ay = 9;
        QCOMPARE(led.pixel(ax, ay + 3), qRgb(0, 0xFF, 0xFF));
        QCOMPARE(led.pixel(ax, ay + 0), qRgb(0, 0x33, 0x66));
        QCOMPARE(led.pixel(ax + 5, ay + 3), qRgb(0, 0, 0)); // spacing column
        QCOMPARE(led.pixel(ax + 2, ay + 8), qRgb(0, 0, 0)); // spacing row
        // The blank (32) has no lit dot.
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 5; ++x)
                QCOMPARE(led.pixel(x, y), qRgb(0, 0x33, 0x66));
    }

    void keyedPicturesUseWhiteOnlyWhereTransparent()
    {
        // Thumb corners carry the key colour; the cap itself never does.
        const QImage thumb = CSkin::Image(139, 1.0);
        QCOMPARE(thumb.pixel(0, 0), qRgb(255, 255, 255));
        QVERIFY(thumb.pixel(5, 12) != qRgb(255, 255, 255));
        const QImage track = CSkin::Image(141, 2.0);
        QCOMPARE(track.pixel(0, 0), qRgb(255, 255, 255));
        QVERIFY(track.pixel(10, 100) != qRgb(255, 255, 255)); // the slot
    }
};

QTEST_MAIN(UiGlueTest)
#include "UiGlueTest.moc"
