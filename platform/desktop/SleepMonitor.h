#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

namespace quorel {

// Sleep and wake from logind on the system bus: `PrepareForSleep(true)` before the system
// sleeps, `PrepareForSleep(false)` after it woke. While awake a "delay" inhibitor is held, so
// the system waits (up to logind's InhibitDelayMaxSec) until allowSleep() closes it; it is taken
// again on wake. Without a system bus (or logind) there are no sleep events and nothing fails.
// Main thread.
class SleepMonitor : public QObject {
    Q_OBJECT
public:
    explicit SleepMonitor(QObject* parent = nullptr);
    // On the given bus (tests run a private one).
    explicit SleepMonitor(const QDBusConnection& bus, QObject* parent = nullptr);
    ~SleepMonitor() override;

    // Whether the sleep signal is subscribed to.
    bool isAvailable() const { return available_; }
    // Whether the delay inhibitor is held right now.
    bool holdsInhibitor() const { return inhibitor_.isValid(); }

    // Lets a pending sleep go on: closes the inhibitor.
    void allowSleep();

signals:
    void aboutToSleep();
    void resumed();
    // The inhibitor was taken (again).
    void inhibitorTaken();

private slots:
    void prepareForSleep(bool sleeping);

private:
    void takeInhibitor();

    QDBusConnection bus_;
    bool available_ = false;
    bool sleeping_ = false;
    QDBusUnixFileDescriptor inhibitor_;
};

}  // namespace quorel
