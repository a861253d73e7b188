#include "StudioSliderAccessible.h"

#include "StudioSlider.h"

namespace quorel {

namespace {

QAccessibleInterface* sliderFactory(const QString&, QObject* object)
{
    if (auto* slider = qobject_cast<StudioSlider*>(object)) return new StudioSliderAccessible(slider);
    return nullptr;
}

}  // namespace

StudioSliderAccessible::StudioSliderAccessible(StudioSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

void StudioSliderAccessible::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(sliderFactory);
        return true;
    }();
    (void)installed;
}

StudioSlider* StudioSliderAccessible::slider() const { return static_cast<StudioSlider*>(widget()); }

QString StudioSliderAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name: return slider()->label();
    case QAccessible::Value:
    case QAccessible::Description:
        // The AT-SPI bridge publishes only the number of the value interface, never the
        // value's text; screen readers speak the description after it.
        return slider()->spokenValue();
    default: return QAccessibleWidget::text(t);
    }
}

void* StudioSliderAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QStringList StudioSliderAccessible::actionNames() const
{
    if (!slider()->acceptsInput()) return {};
    return {increaseAction(), decreaseAction(), setFocusAction()};
}

void StudioSliderAccessible::doAction(const QString& actionName)
{
    StudioSlider* s = slider();
    if (!s->acceptsInput()) return;
    if (actionName == increaseAction())
        s->increase();
    else if (actionName == decreaseAction())
        s->decrease();
    else if (actionName == setFocusAction())
        s->setFocus(Qt::OtherFocusReason);
}

QStringList StudioSliderAccessible::keyBindingsForAction(const QString&) const { return {}; }

QVariant StudioSliderAccessible::currentValue() const { return double(slider()->value()); }

void StudioSliderAccessible::setCurrentValue(const QVariant& value)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (ok) slider()->setFromAccessibility(v);
}

QVariant StudioSliderAccessible::maximumValue() const { return double(slider()->upper()); }

QVariant StudioSliderAccessible::minimumValue() const { return double(slider()->lower()); }

QVariant StudioSliderAccessible::minimumStepSize() const { return slider()->increment(); }

}  // namespace quorel
