#pragma once
// The keyboard-focus mark of the skinned controls: a thin frame in the lit
// colour of the LED read-outs, drawn over the control's own pictures. It
// shows only while the focus came by keyboard (Tab, a shortcut or a key
// pressed on the control), as focus cues do on the platform; a click hides it.
#include <QColor>
#include <Qt>

class QPainter;
class QRect;

namespace surface {

inline const QColor kFocusMarkColour{0x3F, 0xB5, 0xFF};

// True for the focus reasons that come from the keyboard.
bool IsKeyboardFocusReason(Qt::FocusReason reason);
// Whether the mark shows after the focus came in, or went out, for `reason`:
// keyboard focus shows it, a click hides it, and a window that comes back
// to the front shows it as it did.
bool CueAfterFocusIn(bool cue, Qt::FocusReason reason);
bool CueAfterFocusOut(bool cue, Qt::FocusReason reason);
void DrawFocusMark(QPainter& painter, const QRect& rect);

} // namespace surface
