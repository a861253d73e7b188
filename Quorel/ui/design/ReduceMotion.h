#pragma once

#include <QDBusVariant>
#include <QObject>

namespace quorel {

// Whether the desktop asks to reduce motion: GNOME's "enable-animations" read through the XDG
// desktop portal's Settings interface, and followed while it changes. Without a session bus or
// a portal that knows the setting, animations stay on. Main thread only.
class ReduceMotion : public QObject {
    Q_OBJECT
public:
    static ReduceMotion& shared();

    bool isOn() const { return reduce_; }
    // Sets the value by hand (tests and the portal's answers).
    void set(bool reduce);

    // Asks the portal (asynchronously) and subscribes to its changes; does nothing without a
    // session bus. Called once by the application entry.
    void watchPortal();

signals:
    void changed(bool reduce);

private:
    explicit ReduceMotion(QObject* parent = nullptr);

private slots:
    void settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    void takeAnimationsValue(const QVariant& value);

    bool reduce_ = false;
    bool watching_ = false;
};

}  // namespace quorel
