#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

namespace quorel {

class BlindTestModel;
class BoostModel;
class PanelHeading;
class RandomSource;
class StudioButton;

// The blind A/B test card: idle (the explanation and "Start"), running (listen to A or B, then
// name the preferred side or no difference, or cancel) and done (summary, verdict, "Try again"
// and "Close"). Owns its test; a test still running when the card leaves the screen (another
// page, the window hidden or closed) or is destroyed is dropped: the side is shown again and
// the comparison stays on the side last listened to; shown again, the card starts idle.
class BlindTestPanel : public QWidget {
    Q_OBJECT
public:
    // `random` none: the root model's source.
    explicit BlindTestPanel(BoostModel& model, std::shared_ptr<RandomSource> random = nullptr,
                            QWidget* parent = nullptr);
    ~BlindTestPanel() override;

    BlindTestModel& test() const { return *test_; }
    QLabel* counter() const { return counter_; }
    QWidget* idleView() const { return idle_; }
    QWidget* runningView() const { return running_; }
    QWidget* doneView() const { return done_; }
    StudioButton* startButton() const { return start_; }
    StudioButton* listenButton(int side) const { return side == 0 ? listenA_ : listenB_; }
    StudioButton* preferAButton() const { return preferA_; }
    StudioButton* preferBButton() const { return preferB_; }
    StudioButton* noDifferenceButton() const { return noDifference_; }
    QPushButton* cancelButton() const { return cancel_; }
    QLabel* summary() const { return summary_; }
    QLabel* verdict() const { return verdict_; }
    StudioButton* tryAgainButton() const { return tryAgain_; }
    StudioButton* closeButton() const { return close_; }

    void refresh();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void dropRunningTest();

    BoostModel& model_;
    BlindTestModel* test_;
    PanelHeading* heading_;
    QLabel* counter_;
    QWidget* idle_;
    QLabel* explanation_;
    StudioButton* start_;
    QWidget* running_;
    StudioButton* listenA_;
    StudioButton* listenB_;
    StudioButton* preferA_;
    StudioButton* preferB_;
    StudioButton* noDifference_;
    QPushButton* cancel_;
    QLabel* note_;
    QWidget* done_;
    QLabel* summary_;
    QLabel* verdict_;
    StudioButton* tryAgain_;
    StudioButton* close_;
};

}  // namespace quorel
