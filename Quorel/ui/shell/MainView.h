#pragma once

#include "MainTab.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;

class QScrollArea;
class QVBoxLayout;

namespace quorel {

class BoostModel;
class OnboardingState;
class OnboardingView;
class Sidebar;
class StudioButton;
class UpdateChecker;

// The main window's content: the sidebar beside a scrolling page area with the page header,
// the permission banner (while the capture permission is missing) and the page of the current
// tab, built anew on every tab change. Owns the first-run sheet and the three alerts (engine
// error, update available, update message), shown one at a time as window-modal message boxes;
// closing an alert clears only its own value.
class MainView : public QWidget {
    Q_OBJECT
public:
    enum class Alert { none, error, update, updateMessage };

    MainView(BoostModel& model, UpdateChecker& updater, QWidget* parent = nullptr);
    ~MainView() override;

    Sidebar* sidebar() const { return sidebar_; }
    QWidget* page() const { return page_; }
    MainTab pageTab() const { return pageTab_; }
    QLabel* pageTitle() const { return title_; }
    QLabel* pageSubtitle() const { return subtitle_; }
    QWidget* banner() const { return banner_; }
    StudioButton* bannerButton() const { return bannerButton_; }
    OnboardingState& onboarding() const { return *onboarding_; }
    OnboardingView* onboardingSheet() const;
    QMessageBox* alertBox() const { return alertBox_; }
    Alert shownAlert() const { return shownAlert_; }
    QScrollArea* scrollArea() const { return scroll_; }

    // Builds the page of a tab; the feature panels install theirs here. The default shows the
    // settings panel on the settings page and nothing below the header elsewhere.
    using PageBuilder =
        std::function<QWidget*(MainTab tab, BoostModel& model, UpdateChecker& updater, QWidget* parent)>;
    static void setPageBuilder(PageBuilder builder);

    void refresh();
    // Presents the first-run sheet while it is due, else the next pending alert. Called on
    // every change of the values behind them.
    void presentNext();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuildPage();
    void showAlert(Alert alert);
    // Closes the shown alert without running any of its actions.
    void dismissAlert();
    void alertClosed();

    BoostModel& model_;
    UpdateChecker& updater_;
    OnboardingState* onboarding_;
    Sidebar* sidebar_;
    QScrollArea* scroll_;
    QVBoxLayout* column_;
    QLabel* title_;
    QLabel* subtitle_;
    QWidget* banner_;
    QLabel* bannerText_;
    StudioButton* bannerButton_;
    QWidget* page_ = nullptr;
    MainTab pageTab_ = MainTab::boost;
    QPointer<OnboardingView> sheet_;
    QPointer<QMessageBox> alertBox_;
    Alert shownAlert_ = Alert::none;
    bool presentPending_ = false;
};

}  // namespace quorel
