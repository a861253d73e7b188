#pragma once

#include "LocalizedMessage.h"
#include "MeterBallistics.h"
#include "QRSystemIOStats.h"
#include "SystemBoostEngine.h"
#include "UserDefaults.h"

#include <QObject>

#include <optional>

namespace quorel {

// What the user reads of processing: on or off, the status and error lines, the flags, the
// engine's information and counters, and the meters. Owns these fields and nothing else; every
// setter stores and then tells at once (SystemModel passes the signals on as its own). Main
// thread only.
class SystemStatus : public QObject {
    Q_OBJECT
public:
    using Meters = MeterBallistics::Meters;

    static constexpr const char* offStatus = "Off. Other apps play directly to the output.";

    // `store` is the one whose failed writes the error line reports.
    explicit SystemStatus(UserDefaults store);

    bool isActive() const { return isActive_; }
    const LocalizedMessage& status() const { return status_; }
    const std::optional<LocalizedMessage>& errorMessage() const { return errorMessage_; }
    const std::optional<SystemBoostEngine::Info>& info() const { return info_; }
    const QRSystemIOStats& stats() const { return stats_; }
    const Meters& meters() const { return meters_; }
    bool needsPermission() const { return needsPermission_; }
    bool canRestartAudioService() const { return canRestartAudioService_; }
    bool waitingForAudio() const { return waitingForAudio_; }
    bool restartingAudioService() const { return restartingAudioService_; }

    void setActive(bool active);
    void setStatus(const LocalizedMessage& status);
    void setErrorMessage(const std::optional<LocalizedMessage>& message);
    void setInfo(const std::optional<SystemBoostEngine::Info>& info);
    void setStats(const QRSystemIOStats& stats);
    void setMeters(const Meters& meters);
    void setNeedsPermission(bool value) { setFlag(needsPermission_, value); }
    void setCanRestartAudioService(bool value) { setFlag(canRestartAudioService_, value); }
    void setWaitingForAudio(bool value) { setFlag(waitingForAudio_, value); }
    void setRestartingAudioService(bool value) { setFlag(restartingAudioService_, value); }

    // Says that the store could not be written (nothing when `written`).
    void reportWriteFailure(bool written);
    // Clears the error line, but not the news that a choice could not be stored: the next launch
    // would not find it.
    void clearError();

    // "Processing on <device>" with the engine's information.
    void showProcessing();
    // Processing waits for the first sound an app plays, and leaves that wait (with information
    // only, once each).
    void enterWaitingForAudio();
    void leaveWaitingForAudio();
    // The design preview's demonstration values (on), or off.
    void showPreview(bool active);

signals:
    void activeChanged();
    void statusChanged();
    void errorChanged();
    void infoChanged();
    void statsChanged();
    void metersChanged();
    void flagsChanged();

private:
    void setFlag(bool& field, bool value);

    UserDefaults store_;
    bool isActive_ = false;
    LocalizedMessage status_;
    std::optional<LocalizedMessage> errorMessage_;
    std::optional<SystemBoostEngine::Info> info_;
    QRSystemIOStats stats_;
    Meters meters_;
    bool needsPermission_ = false;
    bool canRestartAudioService_ = false;
    bool waitingForAudio_ = false;
    bool restartingAudioService_ = false;
};

}  // namespace quorel
