#include "FocusRing.h"

#include "Studio.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <algorithm>

namespace quorel {

namespace {

constexpr const char* keyboardFocusProperty = "quorelKeyboardFocus";

// Notes on every widget how it last took the focus. A window that becomes active again, or a
// menu that closes, gives the focus back as it was: those leave the note alone.
class FocusReasonTracker : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
            switch (static_cast<QFocusEvent*>(event)->reason()) {
            case Qt::TabFocusReason:
            case Qt::BacktabFocusReason:
            case Qt::ShortcutFocusReason:
            case Qt::OtherFocusReason: watched->setProperty(keyboardFocusProperty, true); break;
            case Qt::MouseFocusReason: watched->setProperty(keyboardFocusProperty, false); break;
            default: break;
            }
        }
        return false;
    }
};

void installFocusReasonTracker()
{
    QCoreApplication::instance()->installEventFilter(new FocusReasonTracker(QCoreApplication::instance()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installFocusReasonTracker)

QColor FocusRing::colour() { return Studio::violet(); }

void FocusRing::draw(QPainter& painter, const QRectF& bounds, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(1.0);
    painter.setBrush(Qt::NoBrush);
    const qreal half = width / 2;
    const QRectF ring = bounds.adjusted(half, half, -half, -half);
    painter.setPen(QPen(colour(), width));
    painter.drawRoundedRect(ring, std::max<qreal>(0, radius - half), std::max<qreal>(0, radius - half));
    const QRectF gap = bounds.adjusted(width + 0.5, width + 0.5, -width - 0.5, -width - 0.5);
    painter.setPen(QPen(Studio::withOpacity(Studio::background(), 0.85), 1));
    painter.drawRoundedRect(gap, std::max<qreal>(0, radius - width - 0.5), std::max<qreal>(0, radius - width - 0.5));
    painter.restore();
}

bool FocusRing::showsRing(const QWidget& widget)
{
    return widget.hasFocus() && widget.property(keyboardFocusProperty).toBool();
}

void FocusRing::drawIfFocused(QPainter& painter, const QWidget& widget, qreal radius)
{
    if (showsRing(widget)) draw(painter, QRectF(widget.rect()), radius);
}

}  // namespace quorel
