#pragma once

#include <QObject>

#include <functional>

class QWidget;

namespace quorel {

// Runs a view's refresh of live readings only while someone can see the view. A request that
// comes while the view, its page or its window is hidden, or the window is minimised, is kept
// and run once when the view shows again: readings that arrive five times a second cost nothing
// for a page that is not shown or a window closed to the tray.
class ShownRefresh : public QObject {
public:
    ShownRefresh(QWidget* view, std::function<void()> refresh);

    void request();
    // Whether a request waits for the view to show.
    bool pending() const { return pending_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool seen() const;

    QWidget* view_;
    std::function<void()> refresh_;
    QObject* watchedWindow_ = nullptr;
    bool pending_ = false;
};

}  // namespace quorel
