#include "mixer/controls/FocusMark.h"

#include <QPainter>
#include <QRect>

namespace surface {

bool IsKeyboardFocusReason(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
           reason == Qt::ShortcutFocusReason;
}

bool CueAfterFocusIn(bool cue, Qt::FocusReason reason)
{
    if (IsKeyboardFocusReason(reason))
        return true;
    return reason == Qt::MouseFocusReason ? false : cue;
}

bool CueAfterFocusOut(bool cue, Qt::FocusReason reason)
{
    return reason == Qt::ActiveWindowFocusReason && cue;
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
