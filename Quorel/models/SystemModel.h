#pragma once

#include "Clock.h"
#include "DSPSettings.h"
#include "LocalizedMessage.h"
#include "UserDefaults.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quorel {

class SystemBoostEngine;

// The main-thread controller of the audio engine: activation, configuration, the output device,
// meters, status and error messages. One exists per process, owned by the root model.
//
// (Interim surface: the engine-controller work fills in the engine, watchdog, sleep and wake,
// meters and device list behind these same calls.)
class SystemModel : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::shared_ptr<Clock> clock;                             // none: Clock::system()
        std::optional<UserDefaults> store;                        // none: UserDefaults::standard()
        std::function<std::unique_ptr<SystemBoostEngine>()> engineFactory;  // none: the PipeWire engine
        bool preview = false;                                     // "--preview": demonstration values, no engine
        bool noPrime = false;                                     // "--no-prime"
    };

    explicit SystemModel(QObject* parent = nullptr);
    explicit SystemModel(Options options, QObject* parent = nullptr);
    ~SystemModel() override;

    static constexpr const char* activeKey = "Corvanta.System.Active.v1";
    static constexpr const char* outputDeviceKey = "Corvanta.OutputDeviceUID";

    bool isActive() const { return isActive_; }
    const LocalizedMessage& status() const { return status_; }
    const std::optional<LocalizedMessage>& errorMessage() const { return errorMessage_; }
    const std::optional<QString>& outputDeviceUID() const { return outputDeviceUID_; }
    bool isPreview() const { return options_.preview; }

    // Switches processing on or off and stores the choice under activeKey.
    void setActive(bool active);
    // Stops processing as quitting does: the stored choice stays as it was.
    void shutdown();
    // The settings and processed flag for the next activation; applied at once while active.
    void configure(const DSPSettings& settings, bool processed);
    // Sets (or with none, clears) the error message shown as the window's banner.
    void setError(const std::optional<QString>& text);
    void setErrorMessage(const std::optional<LocalizedMessage>& message);
    // Chooses the output device (none: the system default) and restarts processing on it.
    void setOutputDevice(const std::optional<QString>& uid);
    void refresh();

signals:
    void activeChanged();
    void statusChanged();
    void errorChanged();
    void outputDeviceChanged();

private:
    Options options_;
    UserDefaults store_;
    bool isActive_ = false;
    LocalizedMessage status_;
    std::optional<LocalizedMessage> errorMessage_;
    std::optional<QString> outputDeviceUID_;
    DSPSettings settings_;
    bool processed_ = true;
};

}  // namespace quorel
