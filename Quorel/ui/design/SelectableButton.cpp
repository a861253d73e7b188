#include "SelectableButton.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace quorel {

namespace {

class SelectableButtonAccessible : public QAccessibleWidget {
public:
    explicit SelectableButtonAccessible(SelectableButton* button) : QAccessibleWidget(button, QAccessible::Button)
    {
        addControllingSignal(QLatin1String("clicked(bool)"));
    }

    SelectableButton* button() const { return static_cast<SelectableButton*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = button()->accessibleName();
            return name.isEmpty() ? button()->text() : name;
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.selectable = true;
        state.selected = button()->isSelected();
        return state;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && button()->isEnabled()) button()->click();
    }
};

QAccessibleInterface* selectableFactory(const QString&, QObject* object)
{
    if (auto* button = qobject_cast<SelectableButton*>(object)) return new SelectableButtonAccessible(button);
    return nullptr;
}

}  // namespace

SelectableButton::SelectableButton(QWidget* parent) : QAbstractButton(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(selectableFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

void SelectableButton::setSelected(bool selected)
{
    if (selected_ == selected) return;
    selected_ = selected;
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.selected = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
    update();
}

void SelectableButton::enterEvent(QEnterEvent* event)
{
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SelectableButton::leaveEvent(QEvent* event)
{
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace quorel
