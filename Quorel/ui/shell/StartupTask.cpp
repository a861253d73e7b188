#include "StartupTask.h"

#include "BoostModel.h"
#include "Brand.h"
#include "ControlChecks.h"
#include "DesignCommands.h"
#include "L10n.h"
#include "StatisticsLine.h"
#include "SystemModel.h"
#include "UpdateChecker.h"
#include "UserFile.h"
#include "WindowSnapshot.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

namespace quorel {

StartupTask::StartupTask(BoostModel& model, UpdateChecker& updater, StartupOptions options, QObject* parent)
    : StartupTask(model, updater, std::move(options), Hooks{}, parent)
{
}

StartupTask::StartupTask(BoostModel& model, UpdateChecker& updater, StartupOptions options, Hooks hooks,
                         QObject* parent)
    : QObject(parent), model_(model), updater_(updater), options_(std::move(options)), hooks_(std::move(hooks)),
      clock_(model.clock())
{
    if (!hooks_.checkControls) hooks_.checkControls = [] { return ControlChecks::run(); };
    if (!hooks_.exit)
        // Queued: the window may be shown before the event loop runs, and an exit asked for
        // then would be lost.
        hooks_.exit = [](int status) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
        };
    if (!hooks_.exportGlyph) hooks_.exportGlyph = [](const QString& path) { return DesignCommands::exportGlyph(path); };
    if (!hooks_.snapshot) hooks_.snapshot = [](const QString& path) { WindowSnapshot::save(path); };
    if (!hooks_.standardOutput) hooks_.standardOutput = stdout;
    if (!hooks_.standardError) hooks_.standardError = stderr;
    choiceAtStart_ = model_.store().boolean(SystemModel::activeKey);
}

StartupTask::~StartupTask() = default;

void StartupTask::start()
{
    if (started_) return;
    started_ = true;

    // 1. The application icon; without the artwork the default icon stays.
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (std::optional<QPixmap> icon = Brand::image(512)) QApplication::setWindowIcon(QIcon(*icon));
    }

    // 3. The delayed update check, except in the design preview.
    if (!options_.preview) updateTimer_ = clock_->schedule(updateCheckDelay, [this] { updater_.checkIfDue(); });

    // 4. The control self-check, before processing could be turned on.
    if (options_.checkControls) {
        hooks_.exit(hooks_.checkControls());
        return;
    }

    // 5. Processing back on after 0.6 s; the diagnostic options wait for it.
    // A URL opened with the launch ("off", "toggle") is a newer choice than the stored one: then
    // the stored choice no longer decides.
    if (options_.system || choiceAtStart_ == true) {
        activationTimer_ = clock_->schedule(activationDelay, [this] {
            if (model_.store().boolean(SystemModel::activeKey) == choiceAtStart_ && !model_.system().isActive())
                model_.system().setActive(true);
            afterActivation();
        });
    } else {
        afterActivation();
    }
}

void StartupTask::afterActivation()
{
    // 6. Statistics every 2 s.
    if (options_.logStats)
        statisticsTimer_ = clock_->schedule(
            statisticsInterval, [this] { emitStatistics(); }, true);

    // 7. The glyph; failures are silent.
    if (options_.exportGlyphPath) hooks_.exportGlyph(*options_.exportGlyphPath);

    // 8. A snapshot every 4 s.
    if (options_.snapshotPath) {
        const QString path = *options_.snapshotPath;
        snapshotTimer_ = clock_->schedule(
            snapshotInterval, [this, path] { hooks_.snapshot(path); }, true);
    }
}

void StartupTask::emitStatistics()
{
    const QByteArray line = StatisticsLine::read(model_.system(), clock_->currentDateTime()).text();
    if (options_.logStatsPath) {
        // A FIFO or a device is never opened (a FIFO without a reader would block the window):
        // told once, and the lines go to standard output.
        const std::optional<LocalizedMessage> refused = UserFile::refusedTarget(*options_.logStatsPath);
        if (refused && !logRefusalTold_) {
            logRefusalTold_ = true;
            const QByteArray message =
                L10n::text("Could not write {0}: {1}", L10n::language(), *options_.logStatsPath, refused->text())
                    .toUtf8()
                + '\n';
            std::fwrite(message.constData(), 1, size_t(message.size()), hooks_.standardError);
            std::fflush(hooks_.standardError);
        }
        QFile file(*options_.logStatsPath);
        if (!refused && file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(line) == line.size()
            && file.flush()) {
            file.close();
            return;
        }
    }
    std::fwrite(line.constData(), 1, size_t(line.size()), hooks_.standardOutput);
    std::fflush(hooks_.standardOutput);
}

}  // namespace quorel
