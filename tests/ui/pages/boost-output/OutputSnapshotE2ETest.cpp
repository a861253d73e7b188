// Pictures of the Output page in each state the design names, in English and Brazilian
// Portuguese, on the headless sound server (the volume card follows its stand-in speaker).
#include "FeaturePages.h"
#include "HeadlessServer.h"
#include "HeadphoneCatalog.h"
#include "HeadphoneLibrary.h"
#include "HeadphonePanel.h"
#include "OutputPanel.h"
#include "Backdrop.h"
#include "L10n.h"
#include "PanelsTest.h"
#include "PulseDevices.h"
#include "StudioButton.h"
#include "StudioSlider.h"
#include "SystemVolumeController.h"

#include <QComboBox>
#include <QPushButton>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTest>

using namespace quorel;
using namespace quorel::test;

namespace {

class OutputSnapshotsE2E : public PanelsTest, public ::testing::WithParamInterface<AppLanguage> {
protected:
    static void SetUpTestSuite() { server = new HeadlessServer(); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    QString lang() const { return GetParam() == AppLanguage::english ? "en" : "pt-BR"; }
    void SetUp() override
    {
        ASSERT_TRUE(server->isRunning()) << server->error().toStdString();
        devices = {{10, "test_speakers", "Test speakers", 2, true}, {11, "usb-headset", "USB Headset", 2, false}};
        backend->sourceRunning = true;
        audioDevices = std::make_shared<PulseDevices>();  // the volume of the server's speakers
        make([this](BoostModel::Options& options) {
            options.system.followVolume = true;
            options.system.restartAudioService = [this](SystemModel::RestartDone done) { restartDone = done; };
        });
        setLanguage(GetParam());
        page = FeaturePages::output(*model, nullptr);
        backdrop = std::make_unique<Backdrop>(page);
        output = page->findChild<OutputPanel*>();
        headphones = page->findChild<HeadphonePanel*>();
        ASSERT_TRUE(output && headphones);
    }
    void TearDown() override
    {
        if (SystemVolumeController* volume = model ? model->system().volume() : nullptr) volume->setMuted(false);
    }
    void shot(const QString& state)
    {
        const QString path = backdrop->save("output-" + state + "-" + lang());
        EXPECT_GT(QFileInfo(path).size(), 1000) << path.toStdString();
    }

    static HeadlessServer* server;
    SystemModel::RestartDone restartDone;
    QWidget* page = nullptr;
    OutputPanel* output = nullptr;
    HeadphonePanel* headphones = nullptr;
    std::unique_ptr<Backdrop> backdrop;
};

HeadlessServer* OutputSnapshotsE2E::server = nullptr;

}  // namespace

TEST_P(OutputSnapshotsE2E, EveryState)
{
    SystemModel& system = model->system();
    SystemVolumeController* volume = system.volume();
    ASSERT_TRUE(volume);
    EXPECT_EQ(output->deviceName()->text(), "Test speakers");
    volume->set(0.62f);
    QCoreApplication::processEvents();
    EXPECT_EQ(output->volumeValue()->text(), "62%");
    shot("default");
    shot("headphones-none");

    // A chosen device that is gone stays chosen as "Device disconnected".
    system.setOutputDevice(QStringLiteral("gone-dac"));
    QCoreApplication::processEvents();
    EXPECT_EQ(output->picker()->currentText(), L10n::text("Device disconnected", GetParam()));
    shot("disconnected");
    system.setOutputDevice(std::nullopt);

    volume->setMuted(true);
    QTRY_COMPARE(output->volumeValue()->text(), L10n::text("Muted", GetParam()));
    shot("muted");
    // "Maximum" stays enabled on a muted device at any volume, and unmutes it.
    volume->set(1.0f);
    volume->setMuted(true);
    QTRY_VERIFY(volume->isMuted());
    QTRY_VERIFY(output->maximumButton()->isEnabled());
    output->maximumButton()->click();
    QTRY_VERIFY(!volume->isMuted());
    EXPECT_FLOAT_EQ(volume->volume(), 1.0f);
    QTRY_VERIFY(!output->maximumButton()->isEnabled());
    // The slider writes the volume on the user's input only.
    output->volumeSlider()->setFocus();
    QTest::keyClick(output->volumeSlider(), Qt::Key_Left);
    QTRY_COMPARE(output->volumeValue()->text(), "99%");
    volume->set(0.62f);

    // Processing that never receives audio ends with the restart advised.
    system.setActive(true);
    settle();
    for (int i = 0; i < 1200 && !system.canRestartAudioService(); ++i) advance(0.1);
    ASSERT_TRUE(system.canRestartAudioService());
    system.setError(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_TRUE(output->restartButton()->isVisibleTo(output));
    shot("restart");
    system.restartAudioService();
    for (int i = 0; i < 50 && !restartDone; ++i) advance(0.1);
    EXPECT_TRUE(system.restartingAudioService());
    EXPECT_FALSE(output->restartButton()->isEnabled());
    EXPECT_EQ(output->restartButton()->text(), L10n::text("Restarting…", GetParam()));
    shot("restarting");
    if (restartDone) restartDone(QStringLiteral("test"));
    advance(3.5);
    EXPECT_FALSE(system.restartingAudioService());

    const HeadphoneProfile catalog = HeadphoneCatalog::profiles(HeadphoneCatalog::brands().first()).front();
    model->setHeadphoneProfile(catalog);
    shot("headphones-catalog");

    const QString file = home.path() + "/Studio Cans ParametricEQ.txt";
    QFile autoEq(file);
    ASSERT_TRUE(autoEq.open(QIODevice::WriteOnly));
    autoEq.write("Preamp: -6.5 dB\nFilter 1: ON LSC Fc 105 Hz Gain 6.0 dB Q 0.70\n"
                 "Filter 2: ON PK Fc 3000 Hz Gain -2.5 dB Q 2.00\n");
    autoEq.close();
    HeadphonePanel::setFileChooser([file](QWidget*) { return std::optional<QString>(file); });
    headphones->importButton()->click();
    HeadphonePanel::setFileChooser({});
    ASSERT_TRUE(headphones->preGainNote()->isVisibleTo(headphones));
    EXPECT_TRUE(headphones->preGainNote()->text().contains(GetParam() == AppLanguage::english ? "-6.5" : "-6,5"));
    shot("headphones-imported");
}

INSTANTIATE_TEST_SUITE_P(Languages, OutputSnapshotsE2E,
                         ::testing::Values(AppLanguage::english, AppLanguage::portuguese));
