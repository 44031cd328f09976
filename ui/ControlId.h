#pragma once
// Numeric control ids kept on widgets, so code and tests find "control 1043".
#include <QWidget>

inline constexpr const char* kControlIdProperty = "controlId";

void SetControlId(QWidget* widget, int id);
// The widget's control id, or 0 when it has none.
int ControlId(const QWidget* widget);
// The first descendant of parent carrying id, or null.
QWidget* FindControl(const QWidget* parent, int id);

template <typename T>
T* FindControl(const QWidget* parent, int id)
{
    return qobject_cast<T*>(FindControl(parent, id));
}
