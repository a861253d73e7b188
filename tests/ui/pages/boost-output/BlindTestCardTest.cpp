// The blind A/B test card: it stays blind (both comparison switches blank, both status lines on
// processed) while it runs, counts the answers, and a test is dropped when its card leaves the
// screen or goes away: the switches show the side last heard again, which keeps playing.
#include "BlindTestModel.h"
#include "BlindTestPanel.h"
#include "BoostPanel.h"
#include "ComparisonSwitch.h"
#include "MainView.h"
#include "MenuBarPanel.h"
#include "OutputPanel.h"
#include "Backdrop.h"
#include "PanelsTest.h"
#include "ScriptedRandom.h"
#include "SelectableButton.h"
#include "Sidebar.h"
#include "StudioButton.h"
#include "UpdateChecker.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace quorel;
using namespace quorel::test;

namespace {

// Side A plays processed in rounds 1, 3 and 4.
const std::vector<bool> draws{true, false, true, true, false};

class BlindTestCard : public PanelsTest {
protected:
    void SetUp() override
    {
        make([](BoostModel::Options& options) { options.random = std::make_shared<ScriptedRandom>(draws); });
        page = new QWidget;
        auto* layout = new QVBoxLayout(page);
        boost = new BoostPanel(*model, model->system(), page);
        blind = new BlindTestPanel(*model, nullptr, page);
        layout->addWidget(boost);
        layout->addWidget(blind);
        backdrop = std::make_unique<Backdrop>(page);
        tray = std::make_unique<MenuBarPanel>(*model);
        sidebar = std::make_unique<Sidebar>(*model);
    }

    // Nothing on screen tells which side plays.
    void expectBlind()
    {
        for (ComparisonSwitch* comparison : {boost->comparisonSwitch(), tray->comparisonSwitch()}) {
            for (SelectableButton* segment : {comparison->originalSegment(), comparison->processedSegment()}) {
                EXPECT_FALSE(segment->isSelected());
                QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(segment);
                ASSERT_TRUE(accessible);
                EXPECT_FALSE(accessible->state().selected) << "assistive technologies must not hear the side either";
            }
        }
        EXPECT_EQ(sidebar->statusText(), "Processing system audio");
        EXPECT_EQ(tray->statusText(), "Processing");
    }
    void expectProcessedShown()
    {
        EXPECT_FALSE(model->blindTestRunning());
        EXPECT_TRUE(model->processed());
        EXPECT_TRUE(model->system().processed());
        EXPECT_TRUE(boost->comparisonSwitch()->processedSegment()->isSelected());
        EXPECT_TRUE(tray->comparisonSwitch()->processedSegment()->isSelected());
    }
    // The test dropped with the original last heard: no longer blind, still the original.
    void expectOriginalShown()
    {
        EXPECT_FALSE(model->blindTestRunning());
        EXPECT_FALSE(model->processed());
        EXPECT_FALSE(model->system().processed());
        EXPECT_TRUE(boost->comparisonSwitch()->originalSegment()->isSelected());
        EXPECT_TRUE(tray->comparisonSwitch()->originalSegment()->isSelected());
        EXPECT_FALSE(tray->comparisonSwitch()->processedSegment()->isSelected());
    }
    // The side that plays the original in `round`.
    static QString originalSide(int round) { return draws[size_t(round)] ? "B" : "A"; }

    QWidget* page = nullptr;
    BoostPanel* boost = nullptr;
    BlindTestPanel* blind = nullptr;
    std::unique_ptr<Backdrop> backdrop;
    std::unique_ptr<MenuBarPanel> tray;
    std::unique_ptr<Sidebar> sidebar;
};

}  // namespace

TEST_F(BlindTestCard, StaysBlindThroughoutAndEndsOnProcessed)
{
    EXPECT_TRUE(blind->idleView()->isVisibleTo(blind));
    EXPECT_FALSE(blind->counter()->isVisibleTo(blind));
    blind->startButton()->click();
    settle();
    ASSERT_EQ(blind->test().phase(), BlindTestModel::Phase::running);
    EXPECT_TRUE(model->system().isActive());
    EXPECT_TRUE(blind->runningView()->isVisibleTo(blind));
    EXPECT_EQ(blind->counter()->text(), "Round 1 of 5");
    expectBlind();

    // Rounds 1-4: listen to both, prefer the processed side; round 5: no difference.
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(blind->counter()->text(), QString("Round %1 of 5").arg(round + 1));
        EXPECT_FALSE(blind->listenButton(0)->isProminent());
        EXPECT_FALSE(blind->listenButton(1)->isProminent());
        const int original = originalSide(round) == "A" ? 0 : 1;
        blind->listenButton(original)->click();
        EXPECT_FALSE(model->system().processed()) << "the original path reaches the engine";
        EXPECT_TRUE(blind->listenButton(original)->isProminent());
        EXPECT_EQ(blind->listenButton(original)->symbol(), "speaker.wave.2.fill");
        expectBlind();
        blind->listenButton(1 - original)->click();
        EXPECT_TRUE(model->system().processed());
        EXPECT_FALSE(blind->listenButton(original)->isProminent());
        expectBlind();
        if (round < 4)
            (1 - original == 0 ? blind->preferAButton() : blind->preferBButton())->click();
        else
            blind->noDifferenceButton()->click();
    }
    ASSERT_EQ(blind->test().phase(), BlindTestModel::Phase::done);
    EXPECT_TRUE(blind->doneView()->isVisibleTo(blind));
    EXPECT_FALSE(blind->counter()->isVisibleTo(blind));
    EXPECT_EQ(blind->summary()->text(),
              "You preferred processed audio in 4 of 5 rounds, original audio in 0, and heard no difference in 1.");
    EXPECT_EQ(blind->verdict()->text(), "A clear preference for your settings.");
    expectProcessedShown();
    EXPECT_EQ(sidebar->statusText(), "Processing system audio");

    blind->closeButton()->click();
    EXPECT_EQ(blind->test().phase(), BlindTestModel::Phase::idle);
}

// Starting (or trying again) while processing runs must not stop and restart it: the sound
// would drop out and the default output would be handed to a new device mid-test.
TEST_F(BlindTestCard, StartingWhileProcessingRunsKeepsItRunning)
{
    goLive(0.1f, MeterReading{-120, -20, -20, 0, 0, 0});
    ASSERT_TRUE(model->system().isActive());
    QSignalSpy activeChanges(&model->system(), &SystemModel::activeChanged);
    blind->startButton()->click();
    settle();
    for (int round = 0; round < 5; ++round) blind->preferAButton()->click();
    blind->tryAgainButton()->click();
    settle();
    EXPECT_TRUE(model->system().isActive());
    EXPECT_EQ(activeChanges.count(), 0);
    EXPECT_EQ(blind->test().phase(), BlindTestModel::Phase::running);
    EXPECT_TRUE(UserDefaults::standard().boolean("Corvanta.System.Active.v1").value_or(false));
}

TEST_F(BlindTestCard, OriginalPreferredAndCancel)
{
    blind->startButton()->click();
    for (int round = 0; round < 5; ++round)
        (originalSide(round) == "A" ? blind->preferAButton() : blind->preferBButton())->click();
    EXPECT_EQ(blind->verdict()->text(), "The original won: reduce Boost or Loudness and try again.");
    blind->tryAgainButton()->click();
    EXPECT_EQ(blind->test().phase(), BlindTestModel::Phase::running);
    EXPECT_EQ(blind->counter()->text(), "Round 1 of 5");
    blind->listenButton(0)->click();
    blind->cancelButton()->click();
    EXPECT_EQ(blind->test().phase(), BlindTestModel::Phase::idle);
    expectProcessedShown();
}

TEST_F(BlindTestCard, HidingTheCardMidTestKeepsTheSideLastHeard)
{
    blind->startButton()->click();
    blind->listenButton(originalSide(0) == "A" ? 0 : 1)->click();
    ASSERT_FALSE(model->processed());
    const int configured = configureCount;
    backdrop->hide();  // the window hidden
    EXPECT_EQ(blind->test().phase(), BlindTestModel::Phase::idle);
    expectOriginalShown();
    EXPECT_EQ(configureCount, configured) << "the engine is left as the last Listen set it";
    backdrop->show();
    EXPECT_TRUE(blind->idleView()->isVisibleTo(blind));
}

TEST_F(BlindTestCard, DestroyingTheCardMidTestKeepsTheSideLastHeard)
{
    auto* unseen = new BlindTestPanel(*model);
    unseen->test().start(*model);
    unseen->test().listen(originalSide(0));
    ASSERT_FALSE(model->processed());
    ASSERT_TRUE(model->blindTestRunning());
    delete unseen;
    expectOriginalShown();
}

TEST_F(BlindTestCard, LeavingThePageMidTestKeepsTheSideLastHeard)
{
    UpdateChecker::Options updaterOptions;
    updaterOptions.clock = clock;
    updaterOptions.store = UserDefaults::standard();
    UpdateChecker updater(updaterOptions);
    model->setTab(MainTab::boost);
    MainView view(*model, updater);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.show();
    QCoreApplication::processEvents();
    BlindTestPanel* card = view.page()->findChild<BlindTestPanel*>();
    ASSERT_TRUE(card);
    ASSERT_TRUE(view.page()->findChild<BoostPanel*>());
    card->startButton()->click();
    card->listenButton(originalSide(0) == "A" ? 0 : 1)->click();
    ASSERT_FALSE(model->processed());
    model->setTab(MainTab::output);
    EXPECT_FALSE(model->blindTestRunning());
    EXPECT_FALSE(model->processed()) << "the comparison stays as the last Listen left it";
    EXPECT_FALSE(model->system().processed());
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.page()->findChild<OutputPanel*>());
}
