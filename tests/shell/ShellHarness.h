#pragma once

#include "BoostModel.h"
#include "FrontApplicationSource.h"
#include "L10n.h"
#include "ShortcutBackend.h"
#include "CapturePrimer.h"
#include "LocalizationModel.h"
#include "ManualClock.h"
#include "SimulatedAudioBackend.h"
#include "SystemModel.h"
#include "TestSupport.h"
#include "UpdateChecker.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace quorel::test {

// Processes events until `done` or ten seconds pass; true when `done`.
bool spinUntil(const std::function<bool()>& done);

// The application's models as the windows get them: a root model whose engine runs on the
// simulated sound system, a manual clock, an update checker that reaches nothing, a temporary
// settings store in English, and no desktop services. The engine is never started unless a
// test switches processing on.
class ShellHarness {
public:
    explicit ShellHarness(std::function<void(SystemModel::Options&)> tweak = {});
    ~ShellHarness();

    SystemModel& system() { return model->system(); }
    void settle();
    void advance(double seconds);
    // Switches processing on and waits until it runs.
    void start();
    // The silent-start road to its end: processing stops with an error, and both the
    // permission and the restart flags are set.
    void failSilentStart();
    std::optional<bool> storedActive() const;

    void setLanguage(AppLanguage language) { LocalizationModel::shared().setLanguage(language); }

    TemporaryHome home;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<SimulatedAudioBackend> backend = std::make_shared<SimulatedAudioBackend>();
    std::shared_ptr<CapturePrimer> primer;
    SystemBoostEngine* engine = nullptr;
    int soundSettingsOpened = 0;
    int restarts = 0;
    bool canOpenSoundSettings = true;
    std::unique_ptr<BoostModel> model;
    std::unique_ptr<UpdateChecker> updater;
};

// Catches the URLs QDesktopServices would open for a scheme, while it lives.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(const QString& scheme);
    ~UrlCatcher() override;
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }

private:
    QString scheme_;
};

// Every visible text of a widget tree: label and button texts, tooltips, accessible names,
// window titles, combo entries and menu entries.
QStringList visibleTexts(QWidget* root);

// The folder for window images (created).
QString snapshotFolder();
// Saves a grab of `widget` as snapshots/<name>.png and returns the path.
QString saveSnapshot(QWidget* widget, const QString& name);

}  // namespace quorel::test

#include <ostream>
// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
