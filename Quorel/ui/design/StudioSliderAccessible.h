#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace quorel {

class StudioSlider;

// What assistive technologies see of a StudioSlider: name = label, value and description = the
// spoken value ("6.0 dB", "50%"), a value interface whose setting is snapped like user input,
// and the increase, decrease and focus actions while the slider takes input (none while
// disabled).
class StudioSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit StudioSliderAccessible(StudioSlider* slider);

    // Installs the factory that gives every StudioSlider this interface (once per process).
    static void installFactory();

    QString text(QAccessible::Text t) const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    StudioSlider* slider() const;
};

}  // namespace quorel
