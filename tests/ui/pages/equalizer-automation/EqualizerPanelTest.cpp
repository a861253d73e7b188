// The Equalizer page on the real root model, its engine on the simulated sound system.
#include "DetailPanels.h"
#include "EqualizerFader.h"
#include "EqualizerPanel.h"
#include "EqualizerSpectrum.h"
#include "MainView.h"
#include "PagesTest.h"
#include "SelectableButton.h"
#include "SpectrumModel.h"
#include "Studio.h"
#include "StudioButton.h"
#include "UpdateChecker.h"

#include <QLabel>
#include <QPaintEvent>
#include <QPointer>
#include <QSet>
#include <QTest>

#include <cmath>
#include <functional>

using namespace quorel;
using namespace quorel::test;

namespace {

int countChanges(BoostModel& model, const std::function<void()>& action)
{
    int count = 0;
    auto connection = QObject::connect(&model, &BoostModel::settingsChanged, [&] { ++count; });
    action();
    QObject::disconnect(connection);
    return count;
}

}  // namespace

class EqualizerPage : public PagesTest {};

TEST_F(EqualizerPage, ArrowsAndDragsMoveOneBand)
{
    make();
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    EqualizerFader* fader = panel->fader(17);
    fader->setFocus();
    QTest::keyClick(fader, Qt::Key_Up);
    EXPECT_EQ(model->settings().bands[17], 1.0f);
    EXPECT_EQ(panel->faderLabel(17)->text(), "+1");
    QTest::keyClick(fader, Qt::Key_Down);
    QTest::keyClick(fader, Qt::Key_Down);
    EXPECT_EQ(model->settings().bands[17], -1.0f);

    // A press at the top of the travel: +12, only that band.
    const QRectF bar = panel->fader(5)->barRect();
    QTest::mouseClick(panel->fader(5), Qt::LeftButton, {}, QPoint(int(bar.center().x()), int(bar.top()) + 1));
    EXPECT_EQ(model->settings().bands[5], 12.0f);
    EXPECT_EQ(panel->faderLabel(5)->text(), "+12");
    for (int i = 0; i < 31; ++i)
        if (i != 5 && i != 17) {
            EXPECT_EQ(model->settings().bands[size_t(i)], 0.0f) << i;
        }
}

TEST_F(EqualizerPage, ResetIsOneChangeOfThirtyOneZerosEvenWhenFlat)
{
    make();
    model->change([](DSPSettings& s) {
        s.bands[3] = 4;
        s.bands[20] = -2.5f;
    });
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    EXPECT_EQ(countChanges(*model, [&] { QTest::mouseClick(panel->resetButton(), Qt::LeftButton); }), 1);
    EXPECT_EQ(model->settings().bands, std::vector<float>(31, 0.0f));
    EXPECT_EQ(countChanges(*model, [&] { QTest::mouseClick(panel->resetButton(), Qt::LeftButton); }), 1);
}

TEST_F(EqualizerPage, BassCutAndHarmonics)
{
    make();
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    EXPECT_TRUE(panel->bassCutButton(0)->isSelected());
    QTest::mouseClick(panel->bassCutButton(2), Qt::LeftButton);
    EXPECT_EQ(model->settings().highPassHz, 100.0f);
    EXPECT_TRUE(panel->bassCutButton(2)->isSelected());
    EXPECT_FALSE(panel->bassCutButton(0)->isSelected());
    // Choosing the selected one again is still a change.
    EXPECT_EQ(countChanges(*model, [&] { QTest::mouseClick(panel->bassCutButton(2), Qt::LeftButton); }), 1);
    // A value off the choices is sanitized to Off.
    model->change([](DSPSettings& s) { s.highPassHz = 90; });
    EXPECT_TRUE(panel->bassCutButton(0)->isSelected());
    EXPECT_EQ(panel->bassCutButton(0)->accessibleName(), "Turn off bass cut");
    EXPECT_EQ(panel->bassCutButton(4)->accessibleName(), "Bass cut at 150 Hz");

    EXPECT_EQ(panel->harmonicsValue()->text(), "0%");
    panel->harmonicsSlider()->setFocus();
    QTest::keyClick(panel->harmonicsSlider(), Qt::Key_Right);
    EXPECT_NEAR(model->settings().bassHarmonics, 0.05, 1e-6);
    EXPECT_EQ(panel->harmonicsValue()->text(), "5%");
}

TEST_F(EqualizerPage, ARedrawWritesNothing)
{
    make();
    auto* panel = new EqualizerPanel(*model);
    auto* detail = new DetailPanels(*model);
    show(panel, 780);
    detail->show();
    // A preset moves every fader and the limiter rows with one change: the panels' own.
    const SoundPreset preset = *BuiltInPresets::preset("builtin.movies");
    EXPECT_EQ(countChanges(*model, [&] { model->apply(preset); }), 1);
    EXPECT_EQ(panel->fader(1)->value(), model->settings().bands[1]);
    EXPECT_EQ(detail->releaseValue()->text(), DetailPanels::releaseText(model->settings().limiterReleaseMS));
    delete detail;
}

TEST_F(EqualizerPage, BarsFollowReadingsAndGoWhenProcessingStops)
{
    make();
    activate(48000);
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    // The drawing without a spectrum: the card's colour, the curve and the faders.
    const QImage none = panel->spectrumView()->grab().toImage();
    SpectrumModel& spectrum = panel->spectrumModel();
    EXPECT_TRUE(spectrum.isPolling());
    EXPECT_EQ(spectrum.system(), &model->system());

    SpectrumReading reading{true, std::vector<float>(31, 0.1f), std::vector<float>(31, 0.0f)};
    reading.output[10] = 1.0f;
    readings->setSpectrum(reading);
    spectrum.tick();
    EXPECT_TRUE(spectrum.live());
    EXPECT_NEAR(spectrum.input()[0], -20, 1e-4);
    EXPECT_EQ(spectrum.output()[0], -120.0f);
    EXPECT_NEAR(spectrum.output()[10], 0, 1e-6);
    EXPECT_EQ(panel->legend()->toolTip(), "Live per-band spectrum and estimated response of your settings.");

    // The violet output bar of band 10 fills the track; band 12 has none.
    EqualizerSpectrum* overlay = panel->spectrumView();
    const QImage live = overlay->grab().toImage();
    const auto g = overlay->geometry();
    auto at = [&](const QImage& image, qreal x, qreal y) { return image.pixelColor(int(x), int(y)); };
    const QColor bar = at(live, g.centre(10), g.bottom() - 10);
    EXPECT_GT(bar.blue(), 60) << bar.name().toStdString();
    EXPECT_GT(bar.blue(), at(none, g.centre(10), g.bottom() - 10).blue());
    EXPECT_EQ(at(live, g.centre(12), g.bottom() - 70), at(none, g.centre(12), g.bottom() - 70));

    // An analyser that is not ready counts as no reading.
    readings->setSpectrum(SpectrumReading{false, reading.input, reading.output});
    spectrum.tick();
    EXPECT_FALSE(spectrum.live());
    EXPECT_NEAR(spectrum.input()[0], -20, 1e-4);  // kept
    readings->setSpectrum(reading);
    spectrum.tick();
    EXPECT_TRUE(spectrum.live());

    deactivate();
    spectrum.tick();
    EXPECT_FALSE(spectrum.live());
    EXPECT_EQ(panel->legend()->toolTip(), "Enable processing to see the live spectrum.");
    const QImage off = overlay->grab().toImage();
    EXPECT_EQ(at(off, g.centre(10), g.bottom() - 10), at(none, g.centre(10), g.bottom() - 10));
}

TEST_F(EqualizerPage, AShortReadingDrawsNoBarForTheMissingBands)
{
    make();
    activate(48000);
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    const QImage none = panel->spectrumView()->grab().toImage();
    readings->setSpectrum(SpectrumReading{true, std::vector<float>(5, 1.0f), std::vector<float>(5, 1.0f)});
    panel->spectrumModel().tick();
    EXPECT_EQ(panel->spectrumModel().output().size(), 5u);
    const QImage image = panel->spectrumView()->grab().toImage();
    const auto g = panel->spectrumView()->geometry();
    const auto at = [&](const QImage& picture, int band) {
        return picture.pixelColor(int(g.centre(band)), int(g.bottom() - 10));
    };
    EXPECT_NE(at(image, 4), at(none, 4));
    EXPECT_EQ(at(image, 20), at(none, 20));
}

TEST_F(EqualizerPage, AtThirtyTwoKilohertzTheTopFadersAreOff)
{
    make();
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    for (int i = 0; i < 31; ++i) EXPECT_TRUE(panel->fader(i)->isEnabled()) << i;
    EXPECT_EQ(panel->spectrumView()->sampleRate(), 48000.0);
    activate(32000);
    EXPECT_TRUE(panel->fader(28)->isEnabled());
    EXPECT_FALSE(panel->fader(29)->isEnabled());
    EXPECT_FALSE(panel->fader(30)->isEnabled());
    EXPECT_EQ(panel->spectrumView()->sampleRate(), 32000.0);
    // A disabled fader takes no arrow.
    panel->fader(30)->setFocus();
    QTest::keyClick(panel->fader(30), Qt::Key_Up);
    EXPECT_EQ(model->settings().bands[30], 0.0f);
}

TEST_F(EqualizerPage, TheCurveLayerIsDrawnAgainOnlyWhenTheGainsChange)
{
    make();
    activate(48000);
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    EqualizerSpectrum* overlay = panel->spectrumView();
    overlay->grab();
    const int curves = overlay->curveRenders();
    const int faderRenders = panel->fader(3)->renders();
    for (int i = 0; i < 5; ++i) {
        panel->spectrumModel().tick();
        panel->faderArea()->grab();
    }
    EXPECT_EQ(overlay->curveRenders(), curves);
    EXPECT_EQ(panel->fader(3)->renders(), faderRenders);
    model->change([](DSPSettings& s) { s.bands[3] = 5; });
    panel->faderArea()->grab();
    EXPECT_EQ(overlay->curveRenders(), curves + 1);
    EXPECT_EQ(panel->fader(3)->renders(), faderRenders + 1);
}

// Paint events a widget receives.
struct PaintCount : QObject {
    int paints = 0;
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

TEST_F(EqualizerPage, AFrameOfTheSpectrumRepaintsTheFaderRowAlone)
{
    make();
    activate(48000);
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    PaintCount card;  // paints of the card behind the fader row
    panel->faderArea()->parentWidget()->installEventFilter(&card);
    QCoreApplication::processEvents();
    card.paints = 0;
    readings->setSpectrum(SpectrumReading{true, std::vector<float>(31, 0.1f), std::vector<float>(31, 0.05f)});
    panel->spectrumModel().tick();
    ASSERT_TRUE(panel->spectrumModel().live());
    panel->spectrumView()->repaint();
    EXPECT_EQ(card.paints, 0);
}

TEST_F(EqualizerPage, AFrameOfTheSpectrumPaintsNoFader)
{
    make();
    activate(48000);
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    std::vector<PaintCount> faders(31);
    for (int i = 0; i < 31; ++i) panel->fader(i)->installEventFilter(&faders[size_t(i)]);
    QCoreApplication::processEvents();
    for (PaintCount& fader : faders) fader.paints = 0;
    readings->setSpectrum(SpectrumReading{true, std::vector<float>(31, 0.1f), std::vector<float>(31, 0.05f)});
    panel->spectrumModel().tick();
    ASSERT_TRUE(panel->spectrumModel().live());
    panel->spectrumView()->repaint();
    for (int i = 0; i < 31; ++i) EXPECT_EQ(faders[size_t(i)].paints, 0) << i;
}

TEST_F(EqualizerPage, AFadersChangeIsDrawnAgainWhereItLies)
{
    make();
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);
    EqualizerSpectrum* overlay = panel->spectrumView();
    PaintCount drawing;
    overlay->installEventFilter(&drawing);
    QCoreApplication::processEvents();
    const QRect place = panel->fader(7)->geometry().translated(-overlay->pos()) & overlay->rect();
    // A new value, the focus, and the fader turned off: each paints the fader's place again.
    const std::function<void()> changes[] = {
        [&] { model->change([](DSPSettings& s) { s.bands[7] = 4; }); },
        [&] { panel->fader(7)->setFocus(Qt::TabFocusReason); },
        [&] { panel->fader(7)->setEnabled(false); },
    };
    for (const auto& change : changes) {
        const QImage before = overlay->grab(place).toImage();
        drawing.painted = QRegion();
        change();
        QCoreApplication::processEvents();
        EXPECT_TRUE(drawing.painted.contains(place));
        EXPECT_NE(overlay->grab(place).toImage(), before);  // the cached layer shows the change
    }
}

TEST_F(EqualizerPage, TheBarsFillWholePixels)
{
    make();
    activate(48000);
    auto* panel = new EqualizerPanel(*model);
    show(panel, 780);  // columns of 23.2 pt: the bars' edges fall between pixels
    EqualizerSpectrum* overlay = panel->spectrumView();
    readings->setSpectrum(SpectrumReading{true, std::vector<float>(31, 0.0f), std::vector<float>(31, 0.1f)});
    panel->spectrumModel().tick();
    ASSERT_TRUE(panel->spectrumModel().live());
    for (int i = 0; i < 31; ++i) panel->fader(i)->hide();  // the bars alone
    const QImage image = overlay->grab().toImage();
    // A row near the bottom: the card's colour or the bars' one colour there (all output bars
    // stand at -20 dB), no blend of the two at their edges.
    const int y = int(overlay->geometry().bottom()) - 3;
    QSet<QRgb> colours;
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    EXPECT_EQ(colours.size(), 2);
    EXPECT_TRUE(colours.contains(Studio::panel().rgba()));
}

TEST_F(EqualizerPage, APageChangeStopsThePoll)
{
    make();
    model->setTab(MainTab::equalizer);
    UpdateChecker::Options options;
    options.clock = clock;
    options.store = store;
    options.feedURL = QUrl("https://127.0.0.1:1/feed");
    UpdateChecker updater(options);
    auto* view = new MainView(*model, updater);
    window.reset(view);
    view->resize(1100, 800);
    view->show();
    QCoreApplication::processEvents();
    QPointer<EqualizerPanel> panel = view->page()->findChild<EqualizerPanel*>();
    ASSERT_TRUE(panel);
    SpectrumModel* spectrum = &panel->spectrumModel();
    // Processing off: nothing to read, no poll.
    EXPECT_FALSE(spectrum->isPolling());
    activate(48000);
    EXPECT_TRUE(spectrum->isPolling());
    EXPECT_TRUE(readings->spectrumWanted());
    model->setTab(MainTab::settings);
    if (panel) {
        EXPECT_FALSE(spectrum->isPolling());
    }
    EXPECT_FALSE(readings->spectrumWanted());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(panel.isNull());
    // Coming back builds a new spectrum model.
    model->setTab(MainTab::equalizer);
    auto* again = view->page()->findChild<EqualizerPanel*>();
    ASSERT_TRUE(again);
    // Fresh: nothing read yet (checked before any event, so no poll can have run).
    EXPECT_FALSE(again->spectrumModel().live());
    QCoreApplication::processEvents();
    EXPECT_TRUE(again->spectrumModel().isPolling());
    EXPECT_TRUE(readings->spectrumWanted());
    // Processing off stops the poll; on again, it resumes and the chain is asked again.
    deactivate();
    EXPECT_FALSE(again->spectrumModel().isPolling());
    activate(48000);
    EXPECT_TRUE(again->spectrumModel().isPolling());
    EXPECT_TRUE(readings->spectrumWanted());
}

TEST_F(EqualizerPage, PortugueseTextsAndLiteralMarks)
{
    make();
    setLanguage(AppLanguage::portuguese);
    auto* panel = new EqualizerPanel(*model);
    auto* detail = new DetailPanels(*model);
    show(panel, 780);
    EXPECT_EQ(panel->legendLabels()[2]->text(), "Curva do EQ");
    EXPECT_EQ(panel->fader(17)->label(), "Equalizador 1k Hz");
    EXPECT_EQ(panel->bassCutButton(0)->text(), "Desligado");
    EXPECT_EQ(panel->bandLabel(18)->text(), "1.2k");
    EXPECT_EQ(detail->ceilingValue()->text(), "-1,0 dBFS");
    EXPECT_EQ(detail->badge()->text(), "PROTEÇÃO DE PICOS");
    setLanguage(AppLanguage::english);
    EXPECT_EQ(panel->legendLabels()[2]->text(), "EQ curve");
    EXPECT_EQ(detail->ceilingValue()->text(), "-1.0 dBFS");
    EXPECT_EQ(detail->badge()->text(), "PEAK PROTECTION");
    delete detail;
}

TEST_F(EqualizerPage, LimiterSlidersWriteTheirFieldOnly)
{
    make();
    auto* detail = new DetailPanels(*model);
    show(detail, 780);
    EXPECT_EQ(detail->releaseValue()->text(), "80 ms");
    detail->releaseSlider()->setFocus();
    QTest::keyClick(detail->releaseSlider(), Qt::Key_Right);
    EXPECT_EQ(model->settings().limiterReleaseMS, 90.0f);
    EXPECT_EQ(detail->releaseValue()->text(), "90 ms");
    QTest::keyClick(detail->releaseSlider(), Qt::Key_End);
    detail->ceilingSlider()->setFocus();
    QTest::keyClick(detail->ceilingSlider(), Qt::Key_Left);
    EXPECT_NEAR(model->settings().limiterCeilingDB, -1.1, 1e-5);
    model->change([](DSPSettings& s) { s.limiterReleaseMS = 75.5f; });
    EXPECT_EQ(detail->releaseValue()->text(), "75 ms");
}

TEST_F(EqualizerPage, ACanvasUnderSixtyPointsDrawsNothing)
{
    make();
    SpectrumModel spectrum;
    EqualizerSpectrum overlay(spectrum);
    overlay.setBands(std::vector<float>(31, 6.0f));
    overlay.resize(59, 100);
    QImage image = overlay.grab().toImage();
    // The card's colour alone.
    bool blank = true;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) blank = blank && image.pixel(x, y) == Studio::panel().rgba();
    EXPECT_TRUE(blank);
    EXPECT_EQ(overlay.curveRenders(), 0);
    overlay.resize(120, 100);
    image = overlay.grab().toImage();
    EXPECT_EQ(overlay.curveRenders(), 1);
    // +6 dB everywhere: the curve runs above the middle line.
    bool drawnAbove = false;
    for (int y = 5; y < 50; ++y)
        drawnAbove = drawnAbove || image.pixelColor(60, y).blue() > Studio::panel().blue() + 60;
    EXPECT_TRUE(drawnAbove);
}
