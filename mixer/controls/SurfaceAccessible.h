#pragma once
// What screen readers and tooltips say about the controls of a mixer surface:
// a name from the element ("Input 1/2 left volume"), a role and the current
// value as the surface shows it ("-12.0 dB", "L20", "on").
#include <QAccessible>
#include <QString>

class QWidget;

namespace surface {

QString ControlName(const QWidget* control);
QString ControlValue(const QWidget* control);
QAccessible::Role ControlRole(const QWidget* control);
// "name: value", or the name alone for a control without a value.
QString ControlToolTip(const QWidget* control);
// A pan, balance or crossfade position as text: "C", "L20", "R5".
QString PanText(int position);
// Makes QAccessible build the surface's interfaces; safe to call again.
void InstallAccessibility();

} // namespace surface
