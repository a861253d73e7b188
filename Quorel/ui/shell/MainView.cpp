#include "MainView.h"

#include "AutomationPanel.h"
#include "BoostModel.h"
#include "EqualizerPage.h"
#include "FocusRing.h"
#include "FeaturePages.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "OnboardingState.h"
#include "OnboardingView.h"
#include "PanelWidgets.h"
#include "Plate.h"
#include "ReduceMotion.h"
#include "SettingsPanel.h"
#include "Sidebar.h"
#include "Studio.h"
#include "StudioButton.h"
#include "Symbols.h"
#include "UpdateChecker.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <map>
#include <memory>

namespace quorel {

namespace {

MainView::PageBuilder& pageBuilder()
{
    static MainView::PageBuilder builder;
    return builder;
}

QWidget* defaultPage(MainTab tab, BoostModel& model, UpdateChecker& updater, QWidget* parent)
{
    if (tab == MainTab::equalizer) return EqualizerPage::build(model, parent);
    if (tab == MainTab::automation) return new AutomationPanel(model, parent);
    if (tab == MainTab::settings) return new SettingsPanel(model, updater, parent);
    if (tab == MainTab::boost) return FeaturePages::boost(model, parent);
    if (tab == MainTab::output) return FeaturePages::output(model, parent);
    auto* empty = new QWidget(parent);
    empty->setFixedHeight(0);
    return empty;
}

// The page column inside the scroll area: transparent over the window background.
class PageColumn : public QWidget {
public:
    using QWidget::QWidget;
};

}  // namespace

OnboardingView* MainView::onboardingSheet() const { return sheet_.data(); }

void MainView::setPageBuilder(PageBuilder builder) { pageBuilder() = std::move(builder); }

MainView::MainView(BoostModel& model, UpdateChecker& updater, QWidget* parent)
    : QWidget(parent), model_(model), updater_(updater), onboarding_(new OnboardingState(this))
{
    setMinimumSize(1040, 600);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Studio::background());
    palette.setColor(QPalette::WindowText, Studio::text());
    setPalette(palette);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    sidebar_ = new Sidebar(model_, this);
    row->addWidget(sidebar_);

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    // The page's controls take the Tab stops; the scroll area follows them and has none of its own.
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->viewport()->setAutoFillBackground(false);
    auto* column = new PageColumn;
    column->setAutoFillBackground(false);
    column_ = new QVBoxLayout(column);
    column_->setContentsMargins(28, 40, 28, 24);
    column_->setSpacing(16);

    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    header->setContentsMargins(0, 0, 0, 4);
    title_ = new QLabel(column);
    QFont titleFont = Studio::font(24, QFont::DemiBold);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, -0.7);
    title_->setFont(titleFont);
    subtitle_ = new QLabel(column);
    subtitle_->setFont(Studio::font(12));
    subtitle_->setWordWrap(true);
    QPalette secondary = subtitle_->palette();
    secondary.setColor(QPalette::WindowText, Studio::secondary());
    subtitle_->setPalette(secondary);
    header->addWidget(title_);
    header->addWidget(subtitle_);
    column_->addLayout(header);

    // The permission banner, on a faint violet plate.
    banner_ = new Plate(12, Studio::withOpacity(Studio::violet(), 0.08), column);
    auto* bannerRow = new QHBoxLayout(banner_);
    bannerRow->setContentsMargins(13, 13, 13, 13);
    bannerRow->setSpacing(10);
    bannerRow->addWidget(new SymbolView(QStringLiteral("lock.circle"), 13, Studio::violet(), banner_));
    bannerText_ = new QLabel(banner_);
    bannerText_->setFont(Studio::font(12));
    bannerRow->addWidget(bannerText_);
    bannerRow->addStretch(1);
    bannerButton_ = new StudioButton(QString(), true, banner_);
    bannerRow->addWidget(bannerButton_);
    column_->addWidget(banner_);
    connect(bannerButton_, &QAbstractButton::clicked, this, [this] { model_.system().openPrivacySettings(); });

    column_->addStretch(1);
    scroll_->setWidget(column);
    column->setAutoFillBackground(false);  // setWidget turned it on; the window background shows
    row->addWidget(scroll_, 1);

    connect(&model_, &BoostModel::tabChanged, this, [this] {
        if (model_.tab() != pageTab_) rebuildPage();
        refresh();
    });
    LanguageBinding::follow(this, [this] {
        refresh();
        if (alertBox_) showAlert(shownAlert_);  // the same alert, rendered again in the new language
    });
    connect(&model_.system(), &SystemModel::errorChanged, this, &MainView::presentNext);
    connect(&model_.system(), &SystemModel::flagsChanged, this, &MainView::refresh);
    connect(&model_.system(), &SystemModel::statusChanged, this, &MainView::refresh);
    connect(&updater_, &UpdateChecker::availableChanged, this, &MainView::presentNext);
    connect(&updater_, &UpdateChecker::localizedMessageChanged, this, &MainView::presentNext);
    connect(onboarding_, &OnboardingState::presentedChanged, this, &MainView::presentNext);

    rebuildPage();
    refresh();
}

MainView::~MainView()
{
    if (alertBox_) alertBox_->disconnect(this);
}

void MainView::refresh()
{
    const AppLanguage language = L10n::language();
    title_->setText(mainTab::title(model_.tab(), language));
    subtitle_->setText(mainTab::subtitle(model_.tab(), language));
    banner_->setVisible(model_.system().needsPermission());
    bannerText_->setText(L10n::text("Allow audio access to get started.", language));
    bannerButton_->setText(L10n::text("Open sound settings", language));
    bannerButton_->setVisible(model_.system().canOpenSoundSettings());
}

void MainView::rebuildPage()
{
    const int index = page_ ? column_->indexOf(page_) : column_->count() - 1;
    const bool animate = !ReduceMotion::shared().isOn() && isVisible();
    if (page_ && animate && page_->height() > 0) {
        // The old page fades out over the new one as a picture of itself.
        auto* ghost = new QLabel(scroll_->widget());
        ghost->setPixmap(page_->grab());
        ghost->setGeometry(page_->geometry());
        ghost->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* effect = new QGraphicsOpacityEffect(ghost);
        effect->setOpacity(1);
        ghost->setGraphicsEffect(effect);
        auto* fade = new QPropertyAnimation(effect, "opacity", ghost);
        fade->setDuration(180);
        fade->setEasingCurve(QEasingCurve::OutCubic);
        fade->setStartValue(1.0);
        fade->setEndValue(0.0);
        connect(fade, &QPropertyAnimation::finished, ghost, &QObject::deleteLater);
        ghost->show();
        ghost->raise();
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    }
    if (page_) {
        // The focus inside the old page goes to the row of the new one, taken the same way;
        // left to Qt it would move on as if by Tab, a ring on the website link after a click.
        QWidget* focused = QApplication::focusWidget();
        if (focused && page_->isAncestorOf(focused)) {
            const Qt::FocusReason reason = FocusRing::showsRing(*focused) ? Qt::OtherFocusReason : Qt::MouseFocusReason;
            for (SidebarItem* item : sidebar_->items())
                if (item->tab() == model_.tab()) item->setFocus(reason);
        }
        column_->removeWidget(page_);
        page_->hide();
        page_->deleteLater();
    }
    pageTab_ = model_.tab();
    QWidget* parent = scroll_->widget();
    const PageBuilder& builder = pageBuilder();
    page_ = builder ? builder(pageTab_, model_, updater_, parent) : defaultPage(pageTab_, model_, updater_, parent);
    if (!page_) page_ = defaultPage(pageTab_, model_, updater_, parent);
    column_->insertWidget(index, page_);
    // Each page opens at its top, never where the previous one was scrolled to.
    scroll_->verticalScrollBar()->setValue(0);
    if (animate) {
        auto* effect = new QGraphicsOpacityEffect(page_);
        effect->setOpacity(0);
        page_->setGraphicsEffect(effect);
        auto* fade = new QPropertyAnimation(effect, "opacity", page_);
        fade->setDuration(180);
        fade->setEasingCurve(QEasingCurve::OutCubic);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        QPointer<QWidget> faded = page_;
        connect(fade, &QPropertyAnimation::finished, page_, [faded] {
            if (faded) faded->setGraphicsEffect(nullptr);  // paint directly again once it has faded in
        });
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    }
    page_->show();
}

void MainView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    presentNext();
}

void MainView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Studio::background());
}

void MainView::presentNext()
{
    // Deferred: a value may change from inside the handler of the alert that is closing.
    if (presentPending_) return;
    presentPending_ = true;
    QTimer::singleShot(0, this, [this] {
        presentPending_ = false;
        if (alertBox_) {
            // The shown alert's value went away by other means: close it without its actions.
            const bool stillDue = (shownAlert_ == Alert::error && model_.system().errorMessage())
                                  || (shownAlert_ == Alert::update && updater_.available())
                                  || (shownAlert_ == Alert::updateMessage && updater_.localizedMessage());
            if (stillDue) {
                showAlert(shownAlert_);  // rebuilt only when its texts or buttons changed
            } else {
                dismissAlert();
                presentNext();
            }
            return;
        }
        if (!window() || !window()->isVisible()) return;
        if (sheet_) return;
        if (onboarding_->presented()) {
            sheet_ = new OnboardingView(model_, *onboarding_, window());
            connect(sheet_, &QDialog::finished, this, [this] {
                if (sheet_) sheet_->deleteLater();
                sheet_ = nullptr;
                presentNext();
            });
            sheet_->open();
            return;
        }
        if (model_.system().errorMessage())
            showAlert(Alert::error);
        else if (updater_.available())
            showAlert(Alert::update);
        else if (updater_.localizedMessage())
            showAlert(Alert::updateMessage);
    });
}

void MainView::dismissAlert()
{
    QMessageBox* box = alertBox_;
    if (!box) return;
    box->disconnect(this);
    alertBox_ = nullptr;
    shownAlert_ = Alert::none;
    box->done(0);
    box->deleteLater();
}

void MainView::showAlert(Alert alert)
{
    const AppLanguage language = L10n::language();
    SystemModel& system = model_.system();
    struct Choice {
        QString text;
        std::function<void()> action;
    };
    QString title;
    QString message;
    std::vector<Choice> choices;
    int escapeIndex = 0;
    switch (alert) {
    case Alert::error: {
        title = L10n::text("System audio", language);
        message = system.errorMessage() ? system.errorMessage()->localized(language) : QString();
        if (system.canRestartAudioService())
            choices.push_back({L10n::text("Restart audio service", language), [this] {
                                   model_.system().setErrorMessage(std::nullopt);
                                   model_.system().restartAudioService();
                               }});
        if (system.needsPermission())
            choices.push_back({L10n::text("Open sound settings", language), [this] {
                                   model_.system().openPrivacySettings();
                                   model_.system().setErrorMessage(std::nullopt);
                               }});
        choices.push_back({L10n::text("OK", language), [this] { model_.system().setErrorMessage(std::nullopt); }});
        escapeIndex = int(choices.size()) - 1;
        break;
    }
    case Alert::update: {
        const std::optional<UpdateChecker::Release>& release = updater_.available();
        title = L10n::text("Update available", language);
        message = L10n::text("Version {0} is available. {1}", language, release ? release->version : QString(),
                             release ? release->notes : QString());
        choices.push_back({L10n::text("Download", language), [this] {
                               if (const auto& available = updater_.available()) {
                                   QDesktopServices::openUrl(available->url);
                                   updater_.clearAvailable();
                               }
                           }});
        choices.push_back({L10n::text("Later", language), [this] { updater_.clearAvailable(); }});
        escapeIndex = 1;
        break;
    }
    case Alert::updateMessage: {
        title = L10n::text("Updates", language);
        message = updater_.localizedMessage() ? updater_.localizedMessage()->localized(language) : QString();
        choices.push_back({L10n::text("OK", language), [this] { updater_.clearLocalizedMessage(); }});
        break;
    }
    case Alert::none: return;
    }

    QStringList signature{title, message};
    for (const Choice& choice : choices) signature << choice.text;
    if (alertBox_) {
        if (shownAlert_ == alert && alertBox_->property("signature").toStringList() == signature)
            return;      // already shown as it is
        dismissAlert();  // new texts or buttons: shown afresh
    }

    auto* box = new QMessageBox(window());
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::NoIcon);
    box->setWindowTitle(title);
    box->setText(title);
    box->setInformativeText(message);
    PanelWidgets::fitAlert(box);
    box->setProperty("signature", signature);
    // Every button takes the same role, so the button box keeps them in the given order on
    // every desktop's layout.
    QList<QPushButton*> buttons;
    auto actions = std::make_shared<std::map<QAbstractButton*, std::function<void()>>>();
    for (const Choice& choice : choices) {
        QPushButton* button = box->addButton(choice.text, QMessageBox::ActionRole);
        (*actions)[button] = choice.action;
        buttons.append(button);
    }
    // buttonClicked comes before the box closes, so each action runs in its own order before
    // the close clears what is left.
    connect(box, &QMessageBox::buttonClicked, this, [actions](QAbstractButton* button) {
        if (auto found = actions->find(button); found != actions->end()) found->second();
    });
    box->setEscapeButton(buttons.at(escapeIndex));
    box->setDefaultButton(buttons.last());
    alertBox_ = box;
    shownAlert_ = alert;
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (alertBox_ == box) alertClosed();
    });
    box->open();
}

void MainView::alertClosed()
{
    // Closed by the system (not by one of its buttons): clear the alert's own value.
    switch (shownAlert_) {
    case Alert::error:
        if (model_.system().errorMessage()) model_.system().setErrorMessage(std::nullopt);
        break;
    case Alert::update:
        if (updater_.available()) updater_.clearAvailable();
        break;
    case Alert::updateMessage:
        if (updater_.localizedMessage()) updater_.clearLocalizedMessage();
        break;
    case Alert::none: break;
    }
    QMessageBox* box = alertBox_;
    alertBox_ = nullptr;
    shownAlert_ = Alert::none;
    if (box) box->deleteLater();
    presentNext();
}

}  // namespace quorel
