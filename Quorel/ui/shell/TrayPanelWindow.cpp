#include "TrayPanelWindow.h"

#include "L10n.h"
#include "LanguageBinding.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace quorel {

namespace {

QAccessibleInterface* dialogFactory(const QString&, QObject* object)
{
    if (auto* window = qobject_cast<TrayPanelWindow*>(object))
        return new QAccessibleWidget(window, QAccessible::Dialog);
    return nullptr;
}

}  // namespace

TrayPanelWindow::TrayPanelWindow(QWidget* content)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    static const bool installed = [] {
        QAccessible::installFactory(dialogFactory);
        return true;
    }();
    (void)installed;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    content->setParent(this);
    layout->addWidget(content);
    LanguageBinding::follow(this, &TrayPanelWindow::retranslate);
    retranslate();
}

void TrayPanelWindow::retranslate()
{
    const QString name = L10n::text("{0} panel", L10n::language(), QStringLiteral("Quorel"));
    setWindowTitle(name);
    setAccessibleName(name);
}

bool TrayPanelWindow::event(QEvent* event)
{
    // A menu of the panel (the preset menu) opening takes no activation from it; anything else
    // that becomes active (a click elsewhere) closes the panel, once the dust has settled.
    if (event->type() == QEvent::WindowDeactivate)
        QTimer::singleShot(0, this, [this] {
            if (!isActiveWindow() && !QApplication::activePopupWidget()) hide();
        });
    return QWidget::event(event);
}

void TrayPanelWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace quorel
