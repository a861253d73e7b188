#pragma once

#include "BoostModel.h"
#include "FrontApplicationSource.h"
#include "L10n.h"
#include "ShortcutBackend.h"
#include "LocalizationModel.h"
#include "SimulatedSystem.h"
#include "UpdateChecker.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace quorel::test {

// The application's models as the windows get them: a root model whose engine runs on the
// simulated sound system, a manual clock, an update checker that reaches nothing, a temporary
// settings store in English, and no desktop services. The engine is never started unless a
// test switches processing on.
class ShellHarness : public SimulatedSystem {
public:
    explicit ShellHarness(std::function<void(SystemModel::Options&)> tweak = {});
    ~ShellHarness();

    SystemModel& system() { return model->system(); }
    // Switches processing on and waits until it runs.
    void start();
    // The silent-start road to its end: processing stops with an error, and both the
    // permission and the restart flags are set.
    void failSilentStart();
    std::optional<bool> storedActive() const;
    // A new update checker on `feed`, checking its signatures with `publicKey` (empty: the
    // built-in key).
    void checkUpdatesAt(const QUrl& feed, const QString& publicKey = {});

    void setLanguage(AppLanguage language) { LocalizationModel::shared().setLanguage(language); }

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
