#include "RootModelFixture.h"

#include "BlindTestModel.h"

using namespace quorel;
using namespace quorel::test;

namespace {

class BlindTest : public RootModelTest {
protected:
    // Side A plays the processed sound in rounds 0, 2 and 3.
    std::shared_ptr<ScriptedRandom> assignment()
    {
        return std::make_shared<ScriptedRandom>(std::vector<bool>{true, false, true, true, false});
    }
};

TEST_F(BlindTest, StartDrawsFiveRoundsAndTurnsProcessingOn)
{
    make(assignment());
    BlindTestModel test;
    test.start(*model);
    EXPECT_EQ(test.processedIsA(), (std::vector<bool>{true, false, true, true, false}));
    EXPECT_EQ(test.phase(), BlindTestModel::Phase::running);
    EXPECT_EQ(test.round(), 0);
    EXPECT_EQ(test.preferredProcessed() + test.preferredOriginal() + test.undecided(), 0);
    EXPECT_EQ(storedActive(), true);
    EXPECT_TRUE(model->blindTestRunning());
}

TEST_F(BlindTest, ListeningSetsTheFlagAndConfiguresAtOnce)
{
    make(assignment());
    BlindTestModel test;
    test.start(*model);
    test.listen("B");
    EXPECT_FALSE(model->processed());
    EXPECT_EQ(configureCount, 1);
    EXPECT_FALSE(lastProcessed);
    test.listen("A");
    EXPECT_TRUE(lastProcessed);
    EXPECT_EQ(test.listening(), QStringLiteral("A"));
    test.listen("something");  // counts as B
    EXPECT_FALSE(lastProcessed);
}

TEST_F(BlindTest, FiveAnswersAGiveThreeToTwoAndNoConsistentPreference)
{
    make(assignment());
    BlindTestModel test;
    test.start(*model);
    for (int i = 0; i < 5; ++i) {
        test.listen("B");
        test.choose(QStringLiteral("A"));
    }
    EXPECT_EQ(test.preferredProcessed(), 3);
    EXPECT_EQ(test.preferredOriginal(), 2);
    EXPECT_EQ(test.undecided(), 0);
    EXPECT_EQ(test.phase(), BlindTestModel::Phase::done);
    EXPECT_EQ(test.round(), 4);
    EXPECT_EQ(test.listening(), std::nullopt);
    EXPECT_TRUE(model->processed());
    EXPECT_TRUE(lastProcessed);
    EXPECT_FALSE(model->blindTestRunning());
    EXPECT_EQ(test.verdict(AppLanguage::english),
              QStringLiteral("No consistent preference: the difference is subtle or the settings are neutral."));
    EXPECT_EQ(test.summary(AppLanguage::english),
              QStringLiteral("You preferred processed audio in 3 of 5 rounds, original audio in 2, and heard no "
                             "difference in 0."));
    // Processing stays on after the test.
    EXPECT_EQ(storedActive(), true);
}

TEST_F(BlindTest, Verdicts)
{
    make(assignment());
    BlindTestModel test;
    test.start(*model);
    // Processed side: A, B, A, A, then no difference.
    for (const char* side : {"A", "B", "A", "A"}) test.choose(QString::fromLatin1(side));
    test.choose(std::nullopt);
    EXPECT_EQ(test.verdict(AppLanguage::english), QStringLiteral("A clear preference for your settings."));
    EXPECT_EQ(test.verdict(AppLanguage::portuguese), QStringLiteral("Uma preferência clara pelos seus ajustes."));

    make(std::make_shared<ScriptedRandom>(std::vector<bool>{true, false, true, true, false}));
    test.start(*model);
    for (const char* side : {"B", "A", "B", "B", "B"}) test.choose(QString::fromLatin1(side));
    EXPECT_EQ(test.preferredOriginal(), 4);
    EXPECT_EQ(test.verdict(AppLanguage::english),
              QStringLiteral("The original won: reduce Boost or Loudness and try again."));
}

TEST_F(BlindTest, IdleIgnoresListenAndChooseButCancelSelectsProcessed)
{
    make(assignment());
    BlindTestModel test;
    test.choose(QStringLiteral("A"));
    test.listen("A");
    EXPECT_EQ(test.undecided() + test.preferredProcessed(), 0);
    EXPECT_EQ(configureCount, 0);
    test.start(*model);
    test.cancel();
    test.cancel();
    EXPECT_EQ(test.phase(), BlindTestModel::Phase::idle);
    EXPECT_GE(configureCount, 2);
    EXPECT_TRUE(lastProcessed);
    EXPECT_FALSE(model->blindTestRunning());
}

TEST_F(BlindTest, CancelMidTestClearsTheBlindFlagAndSelectsProcessed)
{
    make(assignment());
    BlindTestModel test;
    int flagChanges = 0;
    QObject::connect(model.get(), &BoostModel::blindTestRunningChanged, [&flagChanges] { ++flagChanges; });
    test.start(*model);
    test.listen("B");
    test.choose(QStringLiteral("B"));
    test.listen("A");  // round 1: side B is the processed one
    EXPECT_FALSE(model->processed());
    test.cancel();
    EXPECT_TRUE(model->processed());
    EXPECT_FALSE(model->blindTestRunning());
    EXPECT_EQ(flagChanges, 2);
}

TEST_F(BlindTest, ATestDestroyedWhileRunningClearsTheBlindFlag)
{
    make(assignment());
    {
        BlindTestModel test;
        test.start(*model);
        EXPECT_TRUE(model->blindTestRunning());
    }
    EXPECT_FALSE(model->blindTestRunning());
}

TEST_F(BlindTest, DiscardShowsTheSideAgainAndLeavesTheSoundAsLastHeard)
{
    make(assignment());
    BlindTestModel test;
    test.start(*model);
    test.listen("B");  // round 0: side A is the processed one
    ASSERT_FALSE(model->processed());
    const int configured = configureCount;
    test.discard();
    EXPECT_EQ(test.phase(), BlindTestModel::Phase::idle);
    EXPECT_EQ(test.listening(), std::nullopt);
    EXPECT_FALSE(model->blindTestRunning());
    EXPECT_FALSE(model->processed());
    EXPECT_EQ(configureCount, configured);
}

TEST_F(BlindTest, WithoutTheRootModelListenDoesNothingAndChooseStillCounts)
{
    make(assignment());
    BlindTestModel test;
    test.start(*model);
    model.reset();
    test.listen("A");
    EXPECT_EQ(test.listening(), std::nullopt);
    test.choose(QStringLiteral("A"));
    EXPECT_EQ(test.preferredProcessed(), 1);
    EXPECT_EQ(test.round(), 1);
}

TEST_F(BlindTest, AnInjectedSourceWinsOverTheRootModels)
{
    make(std::make_shared<ScriptedRandom>(std::vector<bool>{false, false, false, false, false}));
    BlindTestModel test(std::make_shared<ScriptedRandom>(std::vector<bool>{true, true, true, true, true}));
    test.start(*model);
    EXPECT_EQ(test.processedIsA(), std::vector<bool>(5, true));
}

}  // namespace
