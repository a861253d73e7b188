#include "ShownRefresh.h"

#include <QEvent>
#include <QWidget>

namespace quorel {

ShownRefresh::ShownRefresh(QWidget* view, std::function<void()> refresh)
    : QObject(view), view_(view), refresh_(std::move(refresh))
{
    view_->installEventFilter(this);
}

bool ShownRefresh::seen() const { return view_->isVisible() && !view_->window()->isMinimized(); }

void ShownRefresh::request()
{
    if (seen()) {
        pending_ = false;
        refresh_();
        return;
    }
    pending_ = true;
    // A minimised window keeps its children visible: its restoring is told to the window alone.
    QWidget* window = view_->window();
    if (window != view_ && window != watchedWindow_) {
        if (watchedWindow_) watchedWindow_->removeEventFilter(this);
        window->installEventFilter(this);
        watchedWindow_ = window;
    }
}

bool ShownRefresh::eventFilter(QObject* watched, QEvent* event)
{
    if (pending_ && (event->type() == QEvent::Show || event->type() == QEvent::WindowStateChange)
        && (watched == view_ || watched == watchedWindow_) && seen()) {
        pending_ = false;
        refresh_();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quorel
