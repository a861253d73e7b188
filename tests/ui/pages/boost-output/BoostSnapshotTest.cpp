// Pictures of the Boost page in each state the design names, in English and Brazilian
// Portuguese, written into snapshots/ of the build folder for a person to compare.
#include "Backdrop.h"
#include "BlindTestModel.h"
#include "BlindTestPanel.h"
#include "BoostPanel.h"
#include "ComparisonSwitch.h"
#include "FeaturePages.h"
#include "L10n.h"
#include "LevelMeter.h"
#include "MonitorPanel.h"
#include "PanelsTest.h"
#include "ScriptedRandom.h"
#include "SelectableButton.h"
#include "StudioButton.h"

#include <QFileInfo>
#include <QList>
#include <QLabel>

#include <algorithm>

using namespace quorel;
using namespace quorel::test;

namespace {

class BoostSnapshots : public PanelsTest, public ::testing::WithParamInterface<AppLanguage> {
protected:
    QString lang() const { return GetParam() == AppLanguage::english ? "en" : "pt-BR"; }
    void SetUp() override
    {
        make([](BoostModel::Options& options) {
            options.random = std::make_shared<ScriptedRandom>(std::vector<bool>{true, false, true, true, false});
        });
        setLanguage(GetParam());
        page = FeaturePages::boost(*model, nullptr);
        backdrop = std::make_unique<Backdrop>(page);
    }
    // A picture shows the state its name says: the meters have finished easing to their levels.
    void shot(const QString& state)
    {
        const QList<LevelMeter*> meters = page->findChildren<LevelMeter*>();
        auto easing = [&] {
            return std::any_of(meters.begin(), meters.end(), [](const LevelMeter* m) { return m->isEasing(); });
        };
        waitUntil([&] { return !easing(); }, 2000);
        EXPECT_FALSE(easing()) << state.toStdString();
        const QString path = backdrop->save("boost-" + state + "-" + lang());
        EXPECT_GT(QFileInfo(path).size(), 1000) << path.toStdString();
    }
    template <typename T>
    T* find() const
    {
        return page->findChild<T*>();
    }

    QWidget* page = nullptr;
    std::unique_ptr<Backdrop> backdrop;
};

MeterReading reading(float output, float limiter, bool measuring, float loudness, float gain, float drive)
{
    MeterReading r{-120, output, output, limiter, 0, 0};
    r.levelerMeasuring = measuring;
    r.levelerLoudnessLUFS = loudness;
    r.levelerGainDB = gain;
    r.driveActivity = drive;
    return r;
}

}  // namespace

TEST_P(BoostSnapshots, EveryState)
{
    BoostPanel* boost = find<BoostPanel>();
    MonitorPanel* monitor = find<MonitorPanel>();
    BlindTestPanel* blind = find<BlindTestPanel>();
    ASSERT_TRUE(boost && monitor && blind);

    shot("off");

    model->change([](DSPSettings& s) {
        s.boostDB = 0;
        s.driveAmount = 1;
        s.levelerStrength = 0.6f;
    });
    model->system().setActive(true);
    settle();
    EXPECT_EQ(boost->levelerReadout()->text(), L10n::text("waiting for sound", GetParam()));
    shot("waiting");

    goLive(0.2427f, reading(-3, -6.1f, true, -14.2f, 0, 0.9f));
    EXPECT_TRUE(boost->driveShaping());
    EXPECT_TRUE(boost->levelerReadout()->text().endsWith("+0" + QString(GetParam() == AppLanguage::english ? "." : ",")
                                                         + "0 dB"));
    shot("live-gain0");
    EXPECT_EQ(monitor->outputMeter()->segmentColour(22), QColor(255, 149, 0));  // -3 dBFS, as drawn
    goLive(0.2427f, reading(-3, -6.1f, true, -18, -2.5f, 0.9f));
    EXPECT_TRUE(boost->levelerReadout()->text().endsWith("2" + QString(GetParam() == AppLanguage::english ? "." : ",")
                                                         + "5 dB"));
    shot("live-gain-2.5");
    // The monitor: input -12.3, output -3 (the orange segment 22 lit), reduction 6.1 dB.
    EXPECT_EQ(monitor->inputMeter()->valueText(), GetParam() == AppLanguage::english ? "-12.3" : "-12,3");
    shot("monitor-live");

    for (float value : {0.0f, 6.5f, 12.0f}) {
        model->change([value](DSPSettings& s) { s.boostDB = value; });
        shot("dial" + QString::number(value));
    }

    boost->comparisonSwitch()->originalSegment()->click();
    shot("original");
    boost->comparisonSwitch()->processedSegment()->click();

    shot("blind-idle");
    blind->startButton()->click();
    blind->listenButton(0)->click();
    shot("blind-running");
    for (int i = 0; i < 5; ++i) blind->preferAButton()->click();
    shot("blind-done");
}

INSTANTIATE_TEST_SUITE_P(Languages, BoostSnapshots, ::testing::Values(AppLanguage::english, AppLanguage::portuguese));
