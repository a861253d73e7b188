#pragma once

#include <QObject>

namespace quorel {

// Whether a tray host shows our icon right now, as the application learns it from the desktop.
// What depends on a tray reads it live: closing the window hides or quits by it, and the
// settings page's Ctrl+W line says which. No host until the application says so. Main thread
// only.
class TrayPresence : public QObject {
    Q_OBJECT
public:
    static TrayPresence& shared();

    bool isPresent() const { return present_; }
    void setPresent(bool present);

signals:
    void changed(bool present);

private:
    explicit TrayPresence(QObject* parent = nullptr) : QObject(parent) {}

    bool present_ = false;
};

}  // namespace quorel
