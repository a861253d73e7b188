#include "AppMenus.h"

#include "BoostModel.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "SystemVolumeController.h"
#include "UpdateChecker.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace quorel {

namespace {

bool supportsVolume(const SystemModel& system) { return system.volume() && system.volume()->supportsVolume(); }

}  // namespace

AppMenus::AppMenus(BoostModel& model, UpdateChecker& updater, QMenuBar* bar, QWidget* window)
    : QObject(bar), model_(model), updater_(updater), window_(window)
{
    application_ = bar->addMenu(QString());
    checkUpdates_ = application_->addAction(QString());
    checkUpdates_->setMenuRole(QAction::ApplicationSpecificRole);
    application_->addSeparator();
    closeWindow_ = application_->addAction(QString());
    closeWindow_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    quit_ = application_->addAction(QString());
    quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit_->setMenuRole(QAction::QuitRole);
    connect(checkUpdates_, &QAction::triggered, this, [this] { updater_.check(true); });
    connect(closeWindow_, &QAction::triggered, this, [this] { window_->close(); });
    connect(quit_, &QAction::triggered, this, [this] {
        model_.system().shutdown();
        emit quitRequested();
    });

    processing_ = bar->addMenu(QString());
    toggle_ = processing_->addAction(QString());
    toggle_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    compare_ = processing_->addAction(QString());
    compare_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    volume_ = processing_->addAction(QString());
    volume_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    processing_->addSeparator();
    reset_ = processing_->addAction(QString());
    connect(toggle_, &QAction::triggered, this, [this] { model_.system().setActive(!model_.system().isActive()); });
    connect(compare_, &QAction::triggered, this, [this] {
        const bool processed = !model_.processed();
        model_.setProcessed(processed);
        model_.system().configure(model_.settings(), processed);
    });
    connect(volume_, &QAction::triggered, this, [this] {
        // The enabled state is refreshed live, but a shortcut may race a device change.
        if (supportsVolume(model_.system())) model_.system().volume()->set(1.0f);
    });
    connect(reset_, &QAction::triggered, this, [this] { model_.reset(); });

    section_ = bar->addMenu(QString());
    int position = 1;
    for (MainTab tab : mainTab::allCases) {
        QAction* action = section_->addAction(QString());
        action->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_0 + position)));
        connect(action, &QAction::triggered, this, [this, tab] { model_.setTab(tab); });
        sections_.push_back(action);
        ++position;
    }

    // F10 opens the first menu, as on GNOME and KDE; the arrow keys and mnemonics go on from there.
    openMenuBar_ = new QAction(this);
    openMenuBar_->setShortcut(QKeySequence(Qt::Key_F10));
    connect(openMenuBar_, &QAction::triggered, this, [this, bar] { bar->setActiveAction(application_->menuAction()); });

    // Shortcuts work while the window is active even with the menu bar hidden.
    for (QAction* action : {closeWindow_, quit_, toggle_, compare_, volume_, openMenuBar_}) {
        action->setShortcutContext(Qt::WindowShortcut);
        window_->addAction(action);
    }
    for (QAction* action : sections_) {
        action->setShortcutContext(Qt::WindowShortcut);
        window_->addAction(action);
    }

    connect(&model_.system(), &SystemModel::activeChanged, this, &AppMenus::refresh);
    if (SystemVolumeController* volume = model_.system().volume())
        connect(volume, &SystemVolumeController::changed, this, &AppMenus::refresh);
    LanguageBinding::follow(this, &AppMenus::refresh);
    connect(processing_, &QMenu::aboutToShow, this, &AppMenus::refresh);
    refresh();
}

void AppMenus::refresh()
{
    // Each text carries its mnemonic (&), chosen per language so that none clashes in its menu.
    const AppLanguage language = L10n::language();
    application_->setTitle(L10n::text("&Quorel", language));
    checkUpdates_->setText(L10n::text("Check for &Updates…", language));
    closeWindow_->setText(L10n::text("&Close Window", language));
    quit_->setText(L10n::text("&Quit", language));

    processing_->setTitle(L10n::text("&Processing", language));
    toggle_->setText(model_.system().isActive() ? L10n::text("&Turn off system audio processing", language)
                                                : L10n::text("&Process all system audio", language));
    compare_->setText(L10n::text("&Compare original/processed", language));
    volume_->setText(L10n::text("Set system &volume to maximum", language));
    volume_->setEnabled(supportsVolume(model_.system()));
    reset_->setText(L10n::text("&Reset settings", language));

    section_->setTitle(L10n::text("&Section", language));
    // The page titles begin with different letters in both languages.
    for (size_t i = 0; i < sections_.size(); ++i)
        sections_[i]->setText(QStringLiteral("&") + mainTab::title(mainTab::allCases[i], language));
}

}  // namespace quorel
