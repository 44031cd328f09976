#include "mixer/controls/FocusMark.h"

#include <QPainter>
#include <QRect>

namespace surface {

bool IsKeyboardFocusReason(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
           reason == Qt::ShortcutFocusReason;
}

void DrawFocusMark(QPainter& painter, const QRect& rect)
{
    if (rect.width() < 2 || rect.height() < 2)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kFocusMarkColour, 1));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
}

} // namespace surface
