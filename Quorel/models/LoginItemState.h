#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace quorel {

// The state behind the launch-at-login switch: whether the desktop starts Quorel at login (its
// XDG autostart entry), and the text of the last failed change. Main thread only.
class LoginItemState : public QObject {
    Q_OBJECT
public:
    // Replaces an entry an earlier version left under the old name, then reads the state;
    // `error` starts as none, or as the reason that entry could not be replaced.
    explicit LoginItemState(QObject* parent = nullptr);

    bool enabled() const { return enabled_; }
    const std::optional<QString>& error() const { return error_; }

    // Adds (true) or removes (false) the login item. On success `error` becomes none, on
    // failure the file system's text; either way `enabled` is read afresh. Never throws.
    void set(bool enabled);

signals:
    void enabledChanged();
    void errorChanged();

private:
    bool enabled_ = false;
    std::optional<QString> error_;
};

}  // namespace quorel
