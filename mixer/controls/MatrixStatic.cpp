#include "mixer/controls/MatrixStatic.h"

#include "ui/ControlId.h"
#include "ui/SkinLoader.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

CMatrixStatic::CMatrixStatic(QWidget* parent, int controlId) : QWidget(parent)
{
    SetControlId(this, controlId);
    setContentsMargins(kBorder, kBorder, kBorder, kBorder);
}

void CMatrixStatic::Setup(int columns, const QString& text)
{
    SetRows(1);
    SetColumns(columns);
    SetFillString(QString(columns, QLatin1Char(' ')));
    SetCharSize(5, 8);
    SetSpacing(1, 1);
    SetBitmapResource(147);
    resize((m_charWidth + m_spacingX) * columns + 2 * kBorder, contentsRect().height() + 2 * kBorder);
    FitHeight();
    SetLeftAligned(false);
    SetText(text);
}

void CMatrixStatic::SetCharSize(int width, int height)
{
    m_charWidth = width;
    m_charHeight = height;
    m_characters = QPixmap();
}

void CMatrixStatic::SetSpacing(int x, int y)
{
    m_spacingX = x;
    m_spacingY = y;
}

void CMatrixStatic::SetBitmapResource(int id)
{
    m_bitmapId = id;
    m_characters = QPixmap();
}

void CMatrixStatic::SetDisplayColours(const QColor& lit, const QColor& unlit, const QColor& background)
{
    m_lit = lit;
    m_unlit = unlit;
    m_background = background;
    m_characters = QPixmap();
    update();
}

void CMatrixStatic::Refresh()
{
    if (m_repaintAtOnce)
        repaint();
    else
        update();
}

void CMatrixStatic::SetText(const QString& text)
{
    if (text == m_text)
        return;
    if (m_columns == 0) {
        m_columns = int(text.size());
        m_fill.clear();
    }
    m_text = m_leftAligned ? (text + m_fill).left(m_columns) : (m_fill + text).right(m_columns);
    m_changed = true;
    Refresh();
}

void CMatrixStatic::FitHeight()
{
    if (m_rows == 0)
        m_rows = 1;
    resize(contentsRect().width() + 2 * kBorder, m_charHeight + m_spacingY + 2 * kBorder);
}

void CMatrixStatic::StartScroll()
{
    const int length = int(m_text.trimmed().size());
    m_scrollSteps = m_columns - length + 1;
    if (!m_scrolling) {
        m_scrolling = true;
        m_slideRight = true;
        m_slideTimer.start(kSlideTimerMs, this);
        --m_scrollSteps;
    }
    if (m_scrollSteps == 0) {
        m_scrollSteps = -1;
        m_slideTimer.stop();
        m_scrolling = false;
    }
}

void CMatrixStatic::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_slideTimer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    if (m_text.size() > 1) {
        m_text = m_slideRight ? m_text.right(1) + m_text.left(m_text.size() - 1)
                              : m_text.mid(1) + m_text.left(1);
    }
    if (m_scrollSteps-- == 1) {
        m_slideTimer.stop();
        m_scrolling = false;
    }
    Refresh();
}

QPoint CMatrixStatic::CellOf(int code)
{
    if (code < 32 || code > 127)
        return QPoint(-1, -1);
    return QPoint((code - 32) % 32, (code - 32) / 32);
}

const QPixmap& CMatrixStatic::Characters()
{
    if (!m_characters.isNull() &&
        m_characters.devicePixelRatio() != CSkin::ScaleFor(devicePixelRatioF()))
        m_characters = QPixmap();
    if (m_characters.isNull()) {
        QImage image = CSkin::Image(m_bitmapId, devicePixelRatioF());
        if (!image.isNull()) {
            image = image.convertToFormat(QImage::Format_RGB32);
            const QRgb fromLit = qRgb(0x3F, 0xB5, 0xFF), fromUnlit = qRgb(0x17, 0x40, 0x67);
            for (int y = 0; y < image.height(); ++y) {
                QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb c = line[x] | 0xFF000000;
                    if (c == fromLit)
                        line[x] = m_lit.rgb();
                    else if (c == fromUnlit)
                        line[x] = m_unlit.rgb();
                    else if (c == qRgb(0, 0, 0))
                        line[x] = m_background.rgb();
                }
            }
            m_characters = QPixmap::fromImage(image);
        }
    }
    return m_characters;
}

void CMatrixStatic::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit doubleClicked();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void CMatrixStatic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Bezel: a recessed window.
    const QRect outer = rect();
    painter.fillRect(outer, QColor(0x14, 0x15, 0x18));
    painter.setPen(QColor(0x5A, 0x60, 0x68));
    painter.drawLine(outer.bottomLeft(), outer.bottomRight());
    painter.drawLine(outer.topRight(), outer.bottomRight());

    if (m_text.isEmpty())
        return;
    const QRect client = contentsRect();
    painter.fillRect(client, m_background);
    const QPixmap& characters = Characters();
    const int cellWidth = m_charWidth + m_spacingX;
    const int cellHeight = m_charHeight + m_spacingY;
    const qreal ratio = characters.devicePixelRatio();
    const int count = std::min(int(m_text.size()), m_columns);
    for (int i = 0; i < count; ++i) {
        const QPoint cell = CellOf(m_text.at(i).unicode());
        if (cell.x() < 0 || characters.isNull())
            continue; // blank cell
        const QRectF source(cell.x() * cellWidth * ratio, cell.y() * cellHeight * ratio,
                            cellWidth * ratio, cellHeight * ratio);
        const QRectF target(client.left() + i * cellWidth, client.top(), cellWidth, cellHeight);
        painter.drawPixmap(target, characters, source);
    }
}
