#pragma once
// A one-row dot-matrix LED text display drawn cell by cell from a character
// bitmap of printable ASCII (3 rows of 32 cells). Texts are padded with the
// fill string and cut to the column count; StartScroll slides the text to the
// right one column every 40 ms.
#include <QBasicTimer>
#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

class CMatrixStatic : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSlideTimerMs = 40;
    static constexpr int kBorder = 2; // bezel on every side

    explicit CMatrixStatic(QWidget* parent = nullptr, int controlId = 0);

    // The set-up every read-out gets: one row of columns 5 x 8 characters with
    // spacing 1 from bitmap 147, sized to fit, right-aligned, showing text.
    void Setup(int columns, const QString& text);

    void SetRows(int rows) { m_rows = rows; }
    void SetColumns(int columns) { m_columns = columns; }
    void SetFillString(const QString& fill) { m_fill = fill; }
    void SetCharSize(int width, int height);
    void SetSpacing(int x, int y);
    void SetBitmapResource(int id);
    void SetDisplayColours(const QColor& lit, const QColor& unlit, const QColor& background);
    void SetLeftAligned(bool left) { m_leftAligned = left; }
    void SetRepaintAtOnce(bool now) { m_repaintAtOnce = now; }

    // Shows text padded and cut to the columns; the same text again does nothing.
    void SetText(const QString& text);
    // The text as displayed: exactly one row of columns once set.
    QString Text() const { return m_text; }
    // Height to one row of characters plus the bezel.
    void FitHeight();
    void StartScroll();

    bool IsLeftAligned() const { return m_leftAligned; }
    bool IsScrolling() const { return m_scrolling; }
    int ScrollSteps() const { return m_scrollSteps; }
    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }
    bool Changed() const { return m_changed; }
    void ClearChanged() { m_changed = false; }
    // Cell of the character bitmap for code, or (-1, -1) when there is none.
    static QPoint CellOf(int code);

signals:
    // The display was double-clicked (the strips open the value editor on it).
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    const QPixmap& Characters();
    void Refresh();

    bool m_leftAligned = true;
    int m_scrollSteps = -1;
    QString m_fill;
    QString m_text;
    bool m_changed = false;
    bool m_repaintAtOnce = false;
    bool m_scrolling = false;
    QColor m_unlit{0x17, 0x40, 0x67};
    QColor m_lit{0x3F, 0xB5, 0xFF};
    QColor m_background{0, 0, 0};
    int m_bitmapId = 147;
    QBasicTimer m_slideTimer;
    int m_charWidth = 5;
    int m_charHeight = 8;
    int m_spacingX = 1;
    int m_spacingY = 1;
    int m_rows = 1;
    int m_columns = 0;
    bool m_slideRight = true;
    QPixmap m_characters; // with the colours replaced; rebuilt when null
};
