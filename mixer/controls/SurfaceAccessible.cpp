#include "mixer/controls/SurfaceAccessible.h"

#include "mixer/controls/BitmapPushButton.h"
#include "mixer/controls/BitmapSlider.h"
#include "mixer/controls/BitmapStatusDisplay.h"
#include "mixer/controls/ClipLamp.h"
#include "mixer/controls/LevelMeter.h"
#include "mixer/controls/MatrixStatic.h"
#include "mixer/controls/MixerElement.h"
#include "mixer/controls/ValueScaling.h"

#include <QAccessibleWidget>
#include <QLocale>

namespace surface {

namespace {

const CMixerElement* ElementOf(const QWidget* control)
{
    for (const QWidget* w = control ? control->parentWidget() : nullptr; w; w = w->parentWidget())
        if (const auto* element = qobject_cast<const CMixerElement*>(w))
            return element;
    return nullptr;
}

bool IsVolumeFader(const CBitmapSlider* slider)
{
    // Fader position p is -p dB.
    return slider->IsVertical() && slider->Minimum() == -scaling::kVolumeMax &&
           slider->Maximum() == -scaling::kVolumeMin;
}

bool IsLit(const QWidget* control)
{
    if (const auto* lamp = qobject_cast<const CClipLamp*>(control))
        return lamp->IsLit();
    if (const auto* button = qobject_cast<const CBitmapPushButton*>(control))
        return button->GetCheck() & CBitmapPushButton::StateChecked;
    return false;
}

bool IsToggle(const CBitmapPushButton* button)
{
    return button->ButtonStyle() != CBitmapPushButton::Style::PushButton;
}

// One interface for every skinned control; sliders and meters also carry a value.
class CControlAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit CControlAccessible(QWidget* control)
        : QAccessibleWidget(control, ControlRole(control))
    {
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name: return ControlName(widget());
        case QAccessible::Value: return ControlValue(widget());
        case QAccessible::Description: return ControlToolTip(widget());
        default: return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        const auto* button = qobject_cast<const CBitmapPushButton*>(widget());
        if ((button && IsToggle(button)) || qobject_cast<const CClipLamp*>(widget())) {
            s.checkable = true;
            s.checked = IsLit(widget());
        }
        if (qobject_cast<const CBitmapStatusDisplay*>(widget()) || qobject_cast<const CLevelMeter*>(widget()) ||
            qobject_cast<const CMatrixStatic*>(widget()))
            s.readOnly = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface && Slider())
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (Pressable())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& name) override
    {
        if (name == pressAction() && Pressable()) {
            static_cast<CBitmapPushButton*>(widget())->Click();
            return;
        }
        QAccessibleWidget::doAction(name);
    }

    // The slider's own position; a meter shows 100 minus the level.
    QVariant currentValue() const override { return Slider()->GetPos(); }
    QVariant maximumValue() const override { return Slider()->Maximum(); }
    QVariant minimumValue() const override { return Slider()->Minimum(); }
    QVariant minimumStepSize() const override { return 1; }
    void setCurrentValue(const QVariant& value) override
    {
        CBitmapSlider* slider = Slider();
        if (!slider->isEnabled() || qobject_cast<CLevelMeter*>(slider) || !value.canConvert<int>())
            return;
        slider->MoveByUser(value.toInt());
    }

private:
    CBitmapSlider* Slider() const { return qobject_cast<CBitmapSlider*>(widget()); }
    bool Pressable() const
    {
        const auto* button = qobject_cast<const CBitmapPushButton*>(widget());
        return button && button->isEnabled() && !qobject_cast<const CBitmapStatusDisplay*>(button);
    }
};

QAccessibleInterface* Factory(const QString&, QObject* object)
{
    auto* w = qobject_cast<QWidget*>(object);
    if (!w || !ElementOf(w))
        return nullptr;
    if (qobject_cast<CBitmapSlider*>(w) || qobject_cast<CBitmapPushButton*>(w) ||
        qobject_cast<CClipLamp*>(w) || qobject_cast<CMatrixStatic*>(w))
        return new CControlAccessible(w);
    return nullptr;
}

} // namespace

QString PanText(int position)
{
    if (position == 0)
        return QStringLiteral("C");
    return (position < 0 ? QStringLiteral("L") : QStringLiteral("R")) +
           QLocale::c().toString(position < 0 ? -qint64(position) : qint64(position));
}

QString ControlName(const QWidget* control)
{
    if (!control)
        return {};
    if (!control->accessibleName().isEmpty())
        return control->accessibleName();
    if (const CMixerElement* element = ElementOf(control)) {
        const QString name = element->ControlName(control);
        if (!name.isEmpty())
            return name;
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return {};
}

QString ControlValue(const QWidget* control)
{
    if (const auto* meter = qobject_cast<const CLevelMeter*>(control))
        return CLevelMeter::FormatDb(meter->LevelDb());
    if (const auto* slider = qobject_cast<const CBitmapSlider*>(control)) {
        if (IsVolumeFader(slider))
            return QString::fromStdString(scaling::FormatLevelDb(-slider->GetPos())).trimmed();
        if (slider->Minimum() == scaling::kPanMin && slider->Maximum() == scaling::kPanMax)
            return PanText(slider->GetPos());
        return QLocale::c().toString(slider->GetPos());
    }
    if (qobject_cast<const CClipLamp*>(control))
        return IsLit(control) ? QStringLiteral("on") : QStringLiteral("off");
    if (const auto* button = qobject_cast<const CBitmapPushButton*>(control))
        return IsToggle(button) ? (IsLit(control) ? QStringLiteral("on") : QStringLiteral("off"))
                                : QString();
    if (const auto* display = qobject_cast<const CMatrixStatic*>(control))
        return display->Text().simplified();
    return {};
}

QAccessible::Role ControlRole(const QWidget* control)
{
    if (qobject_cast<const CLevelMeter*>(control))
        return QAccessible::ProgressBar;
    if (qobject_cast<const CBitmapSlider*>(control))
        return QAccessible::Slider;
    if (qobject_cast<const CClipLamp*>(control) || qobject_cast<const CBitmapStatusDisplay*>(control))
        return QAccessible::Indicator;
    if (const auto* button = qobject_cast<const CBitmapPushButton*>(control))
        return IsToggle(button) ? QAccessible::CheckBox : QAccessible::Button;
    if (qobject_cast<const CMatrixStatic*>(control))
        return QAccessible::StaticText;
    return QAccessible::Client;
}

QString ControlToolTip(const QWidget* control)
{
    const QString name = ControlName(control);
    QString value = ControlValue(control);
    if (const auto* meter = qobject_cast<const CLevelMeter*>(control))
        value += QStringLiteral(", peak ") + CLevelMeter::FormatDb(meter->PeakDb());
    if (qobject_cast<const CClipLamp*>(control) && IsLit(control))
        value += QStringLiteral(" (click to clear)");
    if (value.isEmpty())
        return name;
    return name.isEmpty() ? value : name + QStringLiteral(": ") + value;
}

void InstallAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

} // namespace surface
