#include "ui/ControlId.h"

void SetControlId(QWidget* widget, int id)
{
    if (widget)
        widget->setProperty(kControlIdProperty, id);
}

int ControlId(const QWidget* widget)
{
    if (!widget)
        return 0;
    const QVariant v = widget->property(kControlIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

QWidget* FindControl(const QWidget* parent, int id)
{
    if (!parent)
        return nullptr;
    const auto children = parent->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (ControlId(w) == id)
            return w;
    }
    return nullptr;
}
