// Pictures of the Equalizer and Automation pages in both languages, written to snapshots/ in
// the build tree for a person to look at. Each also checks the state it pictures.
#include "AutomationPanel.h"
#include "EqualizerPage.h"
#include "EqualizerFader.h"
#include "EqualizerPanel.h"
#include "L10n.h"
#include "PagesTest.h"
#include "PresetsPanel.h"
#include "PresetsPanelState.h"
#include "SpectrumModel.h"
#include "SelectableButton.h"
#include "Studio.h"
#include "StudioButton.h"
#include "TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QComboBox>
#include <QDir>
#include <QTest>

#include <cmath>

using namespace quorel;
using namespace quorel::test;

namespace {

constexpr int pageWidth = 1040 - 212 - 56;  // the page column of the smallest window

const AppLanguage languages[] = {AppLanguage::english, AppLanguage::portuguese};

// A spectrum with the shape of music: strong lows, falling highs.
SpectrumReading musicReading(float trim)
{
    SpectrumReading reading{true, std::vector<float>(31), std::vector<float>(31)};
    for (int i = 0; i < 31; ++i) {
        const double dB = -14 - i * 1.1 - 4 * std::sin(i * 0.9);
        reading.input[size_t(i)] = float(std::pow(10.0, dB / 20));
        reading.output[size_t(i)] = float(std::pow(10.0, (dB + trim + 3 * std::cos(i * 0.5)) / 20));
    }
    return reading;
}

}  // namespace

class Snapshots : public PagesTest {
protected:
    QWidget* equalizerPage()
    {
        QWidget* page = EqualizerPage::build(*model, nullptr);
        show(page, pageWidth);
        return page;
    }
    QWidget* automationPage()
    {
        auto* page = new AutomationPanel(*model);
        show(page, pageWidth);
        return page;
    }
    // The page with `popup` drawn where it opens below `anchor`.
    QImage withPopup(QWidget* page, QWidget* anchor, QWidget* popup)
    {
        QImage image = page->grab().toImage();
        const QImage menu = popup->grab().toImage();
        QPainter painter(&image);
        const QPoint at = anchor->mapTo(
            page, QPoint(anchor->width() - menu.width() / int(menu.devicePixelRatio()), anchor->height() + 2));
        painter.drawImage(at, menu);
        return image;
    }
    void save(const QImage& image, const QString& name)
    {
        const QString folder = quorel::test::buildPath("snapshots");
        QDir().mkpath(folder);
        const QString language = L10n::language() == AppLanguage::portuguese ? "pt-BR" : "en";
        EXPECT_TRUE(image.save(folder + "/" + name + "-" + language + ".png", "PNG"));
    }
};

TEST_F(Snapshots, EqualizerOffAndFlat)
{
    for (AppLanguage language : languages) {
        make();
        setLanguage(language);
        QWidget* page = equalizerPage();
        auto* panel = page->findChild<EqualizerPanel*>();
        ASSERT_TRUE(panel);
        EXPECT_FALSE(panel->spectrumModel().live());
        snapshot(page, "equalizer-off-flat");
    }
}

TEST_F(Snapshots, EqualizerLiveWithAPreset)
{
    for (AppLanguage language : languages) {
        make();
        setLanguage(language);
        model->apply(*BuiltInPresets::preset("builtin.movies"));
        activate(48000);
        QWidget* page = equalizerPage();
        auto* panel = page->findChild<EqualizerPanel*>();
        for (int i = 0; i < 4; ++i) {
            readings->setSpectrum(musicReading(float(i)));
            panel->spectrumModel().tick();
        }
        EXPECT_TRUE(panel->spectrumModel().live());
        snapshot(page, "equalizer-live-preset");
        window.reset();
        deactivate();
    }
}

TEST_F(Snapshots, EqualizerAtThirtyTwoKilohertz)
{
    for (AppLanguage language : languages) {
        make();
        setLanguage(language);
        model->change([](DSPSettings& s) {
            s.bands[28] = 4;
            s.bands[29] = 6;
            s.bands[30] = 6;
            s.bands[3] = -3;
        });
        activate(32000);
        QWidget* page = equalizerPage();
        auto* panel = page->findChild<EqualizerPanel*>();
        EXPECT_FALSE(panel->fader(30)->isEnabled());
        snapshot(page->findChild<EqualizerPanel*>(), "equalizer-32khz");
        window.reset();
        deactivate();
    }
}

TEST_F(Snapshots, PresetsCardStates)
{
    for (AppLanguage language : languages) {
        make();
        setLanguage(language);
        model->change([](DSPSettings& s) {
            s.loudness = 0.37f;
            s.bands[3] = 1.5f;
        });
        QWidget* page = equalizerPage();
        auto* presets = page->findChild<PresetsPanel*>();
        snapshot(presets, "presets-nothing");
        model->apply(*BuiltInPresets::preset("builtin.games"));
        snapshot(presets, "presets-builtin");
        for (int i = 1; i <= 4; ++i) {
            model->change([i](DSPSettings& s) {
                s.bands[0] = float(i);
                s.bands[20] = -float(i);
            });
            model->presets().save(QString("Sofa %1").arg(i), model->settings());
        }
        snapshot(presets, "presets-custom");
        emit presets->presetMenu()->aboutToShow();
        presets->presetMenu()->adjustSize();
        {
            QImage tall(presets->width(),
                        presets->presetMenu()->height() + presets->menuButton()->geometry().bottom() + 40,
                        QImage::Format_ARGB32_Premultiplied);
            tall.fill(Studio::background());
            QPainter painter(&tall);
            painter.drawImage(0, 0, presets->grab().toImage());
            const QPoint at = presets->menuButton()->mapTo(presets, QPoint(0, presets->menuButton()->height() + 2));
            painter.drawImage(at, presets->presetMenu()->grab().toImage());
            painter.end();
            save(tall, "presets-menu-open");
        }

        presets->saveAs();
        ASSERT_TRUE(presets->nameDialog());
        presets->nameDialog()->adjustSize();
        save(presets->nameDialog()->grab().toImage(), "presets-dialog-name");
        presets->nameDialog()->reject();
        presets->state().setName("sofa 4");
        presets->state().setConfirmingOverwrite(true);
        ASSERT_TRUE(presets->replaceBox());
        save(presets->replaceBox()->grab().toImage(), "presets-dialog-replace");
        presets->replaceBox()->reject();
        presets->askDelete();
        ASSERT_TRUE(presets->deleteBox());
        save(presets->deleteBox()->grab().toImage(), "presets-dialog-delete");
        presets->deleteBox()->reject();
        QCoreApplication::processEvents();
    }
}

TEST_F(Snapshots, AutomationStates)
{
    for (AppLanguage language : languages) {
        make();
        setLanguage(language);
        QWidget* page = automationPage();
        snapshot(page, "automation-empty");

        front->running = {{"org.gnome.Rhythmbox", "Rhythmbox", "audio-x-generic"},
                          {"firefox", "Firefox", ""},
                          {"org.videolan.VLC", "VLC media player", ""},
                          {"org.gnome.Totem", "Videos", ""}};
        model->automation().refreshRunningApps();
        model->automation().setRule("firefox", "Firefox", "builtin.voice");
        model->automation().setRule("org.gnome.Rhythmbox", "Rhythmbox", "builtin.music");
        model->automation().setRule("org.videolan.VLC", "VLC media player", "builtin.movies");
        front->activate("org.gnome.Rhythmbox");
        ASSERT_EQ(model->automation().activeRuleBundleID(), "org.gnome.Rhythmbox");
        QCoreApplication::processEvents();
        snapshot(page, "automation-three-rules");

        auto* panel = static_cast<AutomationPanel*>(page);
        emit panel->addAppMenu()->aboutToShow();
        panel->addAppMenu()->adjustSize();
        save(withPopup(page, panel->addAppButton(), panel->addAppMenu()), "automation-add-app");

        NightSchedule night = model->automation().night();
        night.enabled = true;
        night.startMinutes = 660;
        night.endMinutes = 840;
        model->automation().setNight(night);
        ASSERT_TRUE(model->automation().nightActive());
        snapshot(page, "automation-night-active");

        night.enabled = false;
        night.startMinutes = 1325;
        model->automation().setNight(night);
        EXPECT_EQ(panel->startPicker()->currentText(), "22:05");
        snapshot(page, "automation-off-grid");
    }
}

TEST_F(Snapshots, AutomationRulesUnavailable)
{
    frontAvailable = false;
    for (AppLanguage language : languages) {
        make();
        shortcuts->setAvailable(false);
        setLanguage(language);
        model->automation().setRule("firefox", "Firefox", "builtin.voice");
        QWidget* page = automationPage();
        snapshot(page, "automation-unavailable");
    }
}
