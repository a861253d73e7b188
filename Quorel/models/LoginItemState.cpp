#include "LoginItemState.h"

#include "AutostartEntry.h"

#include <QCoreApplication>

namespace quorel {

LoginItemState::LoginItemState(QObject* parent) : QObject(parent)
{
    // An entry an earlier version wrote under the old name is replaced first, so the desktop
    // never starts Quorel twice.
    const QString program = QCoreApplication::applicationFilePath();
    error_ = AutostartEntry::replaceOldEntry(program);
    enabled_ = AutostartEntry::isEnabled(program);
}

void LoginItemState::set(bool enabled)
{
    // The entry starts the program with no arguments: the stored on/off choice decides whether
    // processing resumes, not the login item.
    const QString program = QCoreApplication::applicationFilePath();
    const std::optional<QString> failure = enabled ? AutostartEntry::enable(program) : AutostartEntry::disable(program);
    if (failure != error_) {
        error_ = failure;
        emit errorChanged();
    }
    const bool now = AutostartEntry::isEnabled(program);
    if (now != enabled_) {
        enabled_ = now;
        emit enabledChanged();
    }
}

}  // namespace quorel
