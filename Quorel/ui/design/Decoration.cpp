#include "Decoration.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace quorel::Decoration {

namespace {

constexpr const char* decorationProperty = "quorelDecoration";

class DecorationAccessible : public QAccessibleWidget {
public:
    explicit DecorationAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::NoRole) {}

    QString text(QAccessible::Text) const override { return {}; }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invisible = true;
        return s;
    }
    QStringList actionNames() const override { return {}; }
};

QAccessibleInterface* factory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->property(decorationProperty).toBool()) return new DecorationAccessible(widget);
    return nullptr;
}

}  // namespace

void mark(QWidget* widget)
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
    widget->setProperty(decorationProperty, true);
    widget->setFocusPolicy(Qt::NoFocus);
}

bool isDecoration(const QWidget* widget) { return widget && widget->property(decorationProperty).toBool(); }

}  // namespace quorel::Decoration
