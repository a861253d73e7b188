#include "ShellHarness.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace quorel::test {

ShellHarness::ShellHarness(std::function<void(SystemModel::Options&)> tweak)
{
    LocalizationModel::shared().setLanguage(AppLanguage::english);
    BoostModel::Options options;
    options.clock = clock;
    options.store = UserDefaults::standard();
    options.desktopServices = false;
    options.system = SimulatedSystem::options();
    SystemModel::Options& system = options.system;
    system.canOpenSoundSettings = true;
    system.openSoundSettings = [this] {
        ++soundSettingsOpened;
        return true;
    };
    system.restartAudioService = [this](SystemModel::RestartDone done) {
        ++restarts;
        done(std::nullopt);
    };
    if (tweak) tweak(system);
    model = std::make_unique<BoostModel>(std::move(options));

    checkUpdatesAt(QUrl("http://127.0.0.1:9/updates/appcast.json"));
}

void ShellHarness::checkUpdatesAt(const QUrl& feed, const QString& publicKey)
{
    UpdateChecker::Options updates;
    updates.clock = clock;
    updates.store = UserDefaults::standard();
    updates.feedURL = feed;
    if (!publicKey.isEmpty()) updates.publicKey = publicKey;
    updater = std::make_unique<UpdateChecker>(updates);
}

ShellHarness::~ShellHarness()
{
    updater.reset();
    model.reset();
    LocalizationModel::shared().setLanguage(AppLanguage::english);
}

void ShellHarness::start()
{
    system().setActive(true);
    settle();
}

void ShellHarness::failSilentStart()
{
    backend->sourceRunning = true;
    start();
    for (int retry = 1; retry <= 5; ++retry) {
        advance(1.9);
        for (int i = 0; i < 4 && !system().isRestartPending(); ++i) advance(0.1);
        advance(5.1);
    }
    advance(2.2);
}

std::optional<bool> ShellHarness::storedActive() const
{
    return UserDefaults::standard().boolean(SystemModel::activeKey);
}

UrlCatcher::UrlCatcher(const QString& scheme) : scheme_(scheme)
{
    QDesktopServices::setUrlHandler(scheme, this, "open");
}
UrlCatcher::~UrlCatcher() { QDesktopServices::unsetUrlHandler(scheme_); }

QStringList visibleTexts(QWidget* root)
{
    QStringList texts;
    auto add = [&](const QString& text) {
        if (!text.trimmed().isEmpty()) texts << text;
    };
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(root) && widget != root) continue;
        add(widget->toolTip());
        add(widget->accessibleName());
        if (widget->isWindow()) add(widget->windowTitle());
        if (auto* label = qobject_cast<QLabel*>(widget)) add(label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) add(button->text());
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            for (int i = 0; i < combo->count(); ++i) add(combo->itemText(i));
        if (auto* menu = qobject_cast<QMenu*>(widget)) add(menu->title());
        for (QAction* action : widget->actions()) {
            add(action->text());
            if (QMenu* sub = action->menu()) {
                add(sub->title());
                for (QAction* item : sub->actions()) add(item->text());
            }
        }
    }
    return texts;
}

QString snapshotFolder()
{
#ifdef QUOREL_SNAPSHOT_DIR
    const QString folder = QStringLiteral(QUOREL_SNAPSHOT_DIR);
#else
    const QString folder = QDir::currentPath() + "/snapshots";
#endif
    QDir().mkpath(folder);
    return folder;
}

QString saveSnapshot(QWidget* widget, const QString& name)
{
    const QString path = snapshotFolder() + "/" + name + ".png";
    widget->grab().save(path);
    return path;
}

}  // namespace quorel::test
