#include "LoginItemState.h"

#include "AutostartEntry.h"

#include <QCoreApplication>

namespace quorel {

LoginItemState::LoginItemState(QObject* parent) : QObject(parent), enabled_(AutostartEntry::isEnabled()) {}

void LoginItemState::set(bool enabled)
{
    // The entry starts the program with no arguments: the stored on/off choice decides whether
    // processing resumes, not the login item.
    const std::optional<QString> failure =
        enabled ? AutostartEntry::enable(QCoreApplication::applicationFilePath()) : AutostartEntry::disable();
    if (failure != error_) {
        error_ = failure;
        emit errorChanged();
    }
    const bool now = AutostartEntry::isEnabled();
    if (now != enabled_) {
        enabled_ = now;
        emit enabledChanged();
    }
}

}  // namespace quorel
