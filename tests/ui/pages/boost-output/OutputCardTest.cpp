// The output card's device picker and restart on the engine controller (no volume control).
#include "OutputPanel.h"
#include "Backdrop.h"
#include "PanelsTest.h"
#include "StudioButton.h"
#include "StudioSlider.h"
#include "Symbols.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace quorel;
using namespace quorel::test;

namespace {

class OutputCard : public PanelsTest {
protected:
    void SetUp() override
    {
        devices = {{10, "speakers", "Speakers", 2, true}, {11, "usb-headset", "USB Headset", 2, false}};
        make();
        panel = new OutputPanel(model->system(), nullptr);
        backdrop = std::make_unique<Backdrop>(panel);
    }
    QStringList entries() const
    {
        QStringList texts;
        for (int i = 0; i < panel->picker()->count(); ++i) texts << panel->picker()->itemText(i);
        return texts;
    }
    OutputPanel* panel = nullptr;
    std::unique_ptr<Backdrop> backdrop;
};

}  // namespace

TEST_F(OutputCard, PickerListsTheDevicesAndWritesOnlyOnAChoice)
{
    SystemModel& system = model->system();
    EXPECT_EQ(entries(), (QStringList{"System default", "Speakers (default)", "USB Headset"}));
    EXPECT_EQ(panel->picker()->currentIndex(), 0);
    EXPECT_EQ(panel->sourceLine()->text(), "System default output");

    QSignalSpy writes(&system, &SystemModel::outputDeviceChanged);
    QComboBox* picker = panel->picker();
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    EXPECT_EQ(system.outputDeviceUID(), std::optional<QString>("speakers"));
    QTest::keyClick(picker, Qt::Key_Down);
    EXPECT_EQ(system.outputDeviceUID(), std::optional<QString>("usb-headset"));
    EXPECT_EQ(panel->sourceLine()->text(), "Output selected in Quorel");
    EXPECT_EQ(writes.count(), 2);

    // "System default" sends no UID.
    QTest::keyClick(picker, Qt::Key_Home);
    EXPECT_EQ(system.outputDeviceUID(), std::nullopt);
    EXPECT_EQ(writes.count(), 3);

    // Redraws (language, device list) never write.
    setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(entries(), (QStringList{"Padrão do sistema", "Speakers (padrão)", "USB Headset"}));
    devices.pop_back();
    advance(3);
    EXPECT_EQ(entries(), (QStringList{"Padrão do sistema", "Speakers (padrão)"}));
    EXPECT_EQ(writes.count(), 3);
}

TEST_F(OutputCard, AStoredDeviceThatIsGoneStaysChosen)
{
    SystemModel& system = model->system();
    system.setOutputDevice(QStringLiteral("gone-dac"));
    EXPECT_EQ(entries().last(), "Device disconnected");
    EXPECT_EQ(panel->picker()->currentText(), "Device disconnected");
    devices.clear();
    advance(3);  // the model reads the device list again
    EXPECT_EQ(entries(), (QStringList{"System default", "Device disconnected"}));
    EXPECT_EQ(system.outputDeviceUID(), std::optional<QString>("gone-dac"));
    // No device is followed: the card says so, and no volume control is offered.
    EXPECT_EQ(panel->deviceName()->text(), "Device disconnected");
    EXPECT_FALSE(panel->volumeSlider()->isEnabled());
    EXPECT_FALSE(panel->maximumButton()->isEnabled());
    EXPECT_EQ(panel->volumeValue()->text(), "");
}

TEST_F(OutputCard, WithoutAVolumeControlTheColumnIsDisabled)
{
    EXPECT_FALSE(panel->volumeSlider()->isEnabled());
    EXPECT_FALSE(panel->maximumButton()->isEnabled());
    EXPECT_EQ(panel->volumeHint()->text(), "Adjust the volume on your device.");
    EXPECT_EQ(panel->volumeTitle()->text(), "System volume");
    EXPECT_EQ(panel->maximumButton()->toolTip(), "Set the system volume to 100% · Ctrl+Shift+M");
    EXPECT_EQ(panel->deviceSymbol()->name(), "hifispeaker");
}

TEST_F(OutputCard, RestartShowsOnlyWhileAdvisedAndOff)
{
    EXPECT_FALSE(panel->restartButton()->isVisibleTo(panel));
    EXPECT_FALSE(panel->capturing()->isVisibleTo(panel));
    model->system().setActive(true);
    settle();
    ASSERT_TRUE(model->system().info());
    EXPECT_EQ(panel->capturing()->isVisibleTo(panel), model->system().info()->capturedDeviceName.has_value());
}
