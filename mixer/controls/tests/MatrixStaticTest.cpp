#include "mixer/controls/MatrixStatic.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

CMatrixStatic* MakeReadout(QWidget* parent, int columns, const QString& text = QString())
{
    auto* d = new CMatrixStatic(parent, 1016);
    d->Setup(columns, text);
    return d;
}

QImage Shot(QWidget* w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Top-left pixel of column i's cell.
QPoint Cell(int i)
{
    return QPoint(CMatrixStatic::kBorder + i * 6, CMatrixStatic::kBorder);
}

} // namespace

class MatrixStaticTest : public QObject {
    Q_OBJECT

private slots:
    void setupSizesTheDisplay()
    {
        QWidget parent;
        CMatrixStatic* d = MakeReadout(&parent, 5, "0.0");
        QCOMPARE(d->size(), QSize(6 * 5 + 4, 13));
        QCOMPARE(d->Rows(), 1);
        CMatrixStatic* top = MakeReadout(&parent, 60);
        QCOMPARE(top->width(), 364);
        QCOMPARE(top->height(), 13);
    }

    void alignmentPadsAndCuts()
    {
        QWidget parent;
        CMatrixStatic* d = MakeReadout(&parent, 5, "0.0");
        QCOMPARE(d->Text(), QString("  0.0"));
        d->SetText("-12.5dB");
        QCOMPARE(d->Text(), QString("2.5dB")); // right-aligned keeps the end
        d->SetLeftAligned(true);
        d->SetText("-12.5dB");
        QCOMPARE(d->Text(), QString("-12.5")); // left-aligned keeps the start
        d->SetText("0");
        QCOMPARE(d->Text(), QString("0    "));
    }

    void sameTextChangesNothing()
    {
        QWidget parent;
        CMatrixStatic* d = MakeReadout(&parent, 5, "-20.0");
        QVERIFY(d->Changed());
        d->ClearChanged();
        d->SetText("-20.0");
        QVERIFY(!d->Changed());
        d->SetText("-19.0");
        QVERIFY(d->Changed());
    }

    void zeroColumnsTakeTheTextLength()
    {
        QWidget parent;
        auto* d = new CMatrixStatic(&parent);
        d->SetFillString("     ");
        d->SetText("abc");
        QCOMPARE(d->Columns(), 3);
        QCOMPARE(d->Text(), QString("abc"));
        d->SetText("a"); // fill was emptied: nothing to pad with
        QCOMPARE(d->Text(), QString("a"));
    }

    void fitHeightMakesOneRow()
    {
        QWidget parent;
        auto* d = new CMatrixStatic(&parent);
        d->SetRows(0);
        d->resize(40, 40);
        d->FitHeight();
        QCOMPARE(d->Rows(), 1);
        QCOMPARE(d->size(), QSize(40, 13));
    }

    void titleSlidesToTheRightEdge()
    {
        QWidget parent;
        CMatrixStatic* d = MakeReadout(&parent, 60);
        const QString title = "Kavro FW-1884 Studio";
        QCOMPARE(title.size(), 20);
        d->SetLeftAligned(true);
        d->SetText(title);
        QVERIFY(d->Text().startsWith(title));
        QElapsedTimer clock;
        clock.start();
        d->StartScroll();
        QVERIFY(d->IsScrolling());
        QCOMPARE(d->ScrollSteps(), 40);
        QTRY_VERIFY_WITH_TIMEOUT(d->Text() != QString(title + QString(40, ' ')), 500);
        // Rotated right by whole columns (a loaded machine may have run more than one tick).
        const int shift = int(d->Text().indexOf(title));
        QVERIFY2(shift >= 1 && shift <= 40, qPrintable(d->Text()));
        QCOMPARE(d->Text(), QString(QString(shift, ' ') + title + QString(40 - shift, ' ')));
        QTRY_VERIFY_WITH_TIMEOUT(!d->IsScrolling(), 5000);
        QCOMPARE(d->Text(), QString(QString(40, ' ') + title));
        QVERIFY2(clock.elapsed() >= 40 * CMatrixStatic::kSlideTimerMs * 3 / 4,
                 qPrintable(QString::number(clock.elapsed())));
        // It stays there.
        QTest::qWait(120);
        QCOMPARE(d->Text(), QString(QString(40, ' ') + title));
    }

    void fullWidthTextDoesNotSlide()
    {
        QWidget parent;
        CMatrixStatic* d = MakeReadout(&parent, 5, "48000");
        d->StartScroll();
        QVERIFY(!d->IsScrolling());
        QCOMPARE(d->ScrollSteps(), -1);
        QTest::qWait(100);
        QCOMPARE(d->Text(), QString("48000"));
    }

    void paintsCellsWithReplacedColours()
    {
        QWidget parent;
        CMatrixStatic* d = MakeReadout(&parent, 4);
        const QColor background(0x40, 0, 0);
        d->SetDisplayColours(QColor(0x3F, 0xB5, 0xFF), QColor(0x17, 0x40, 0x67), background);
        d->SetText("A  |");
        const QImage shot = Shot(d);
        const QPoint a = Cell(0);
        // 'A': the left column is lit from the second row; its top-left dot is not.
        QCOMPARE(QColor(shot.pixel(a + QPoint(0, 3))), QColor(0, 0xFF, 0xFF));
        QCOMPARE(QColor(shot.pixel(a)), QColor(0, 0x33, 0x66));
        // The black spacing column and row take the background colour.
        QCOMPARE(QColor(shot.pixel(a + QPoint(5, 3))), background);
        QCOMPARE(QColor(shot.pixel(a + QPoint(2, 8))), background);
        // A blank shows unlit dots.
        QCOMPARE(QColor(shot.pixel(Cell(1) + QPoint(2, 3))), QColor(0, 0x33, 0x66));
    }

    void charactersOutsideAsciiShowBlankCells()
    {
        QWidget parent;
        CMatrixStatic* d = MakeReadout(&parent, 4);
        d->SetText(QString("\t") + QChar(0xE9) + QChar(0x20AC) + QChar(0x7F));
        const QImage shot = Shot(d);
        const QRgb black = qRgb(0, 0, 0);
        for (int i = 0; i < 3; ++i)
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 6; ++x)
                    QCOMPARE(shot.pixel(Cell(i) + QPoint(x, y)), black);
        // 127 is the last cell of the bitmap: drawn, unlit.
        QCOMPARE(QColor(shot.pixel(Cell(3) + QPoint(2, 3))), QColor(0, 0x33, 0x66));
    }

    void emptyTextDrawsNoCells()
    {
        QWidget parent;
        auto* d = new CMatrixStatic(&parent);
        d->resize(40, 13);
        const QImage shot = Shot(d);
        QVERIFY(QColor(shot.pixel(Cell(0) + QPoint(2, 3))) != QColor(0, 0x33, 0x66));
        QVERIFY(QColor(shot.pixel(Cell(0) + QPoint(2, 3))) != QColor(0, 0, 0));
    }
};

QTEST_MAIN(MatrixStaticTest)
#include "MatrixStaticTest.moc"
