#pragma once

#include "SystemBoostEngine.h"

#include <QWidget>

#include <optional>
#include <vector>

class QHBoxLayout;
class QLabel;

namespace quorel {

class BoostModel;
class EqualizerFader;
class EqualizerSpectrum;
class PanelHeading;
class SelectableButton;
class SpectrumModel;
class StudioButton;
class StudioPanel;
class StudioSlider;

// The Equalizer page's tone card: 31 faders (one per third-octave band) over the live
// spectrum and the response curve, Reset, the bass-cut choice and the bass-harmonics slider.
// Reads the settings and the engine's rate from the root model on every change; writes only
// on a user action, each through BoostModel::change. The spectrum polls only while the fader
// area is on screen.
class EqualizerPanel : public QWidget {
    Q_OBJECT
public:
    explicit EqualizerPanel(BoostModel& model, QWidget* parent = nullptr);
    ~EqualizerPanel() override;

    // The value label of a fader: "0" for exactly 0, else "%+.0f" ("+3", "-12", "+0", "-0").
    static QString faderText(float gain);
    // Half the engine's rate while it reports information, else 24000 Hz.
    static float nyquist(const std::optional<SystemBoostEngine::Info>& info);
    // The engine's rate, else 48000 Hz.
    static double overlayRate(const std::optional<SystemBoostEngine::Info>& info);
    // Whether fader `band` takes input at that Nyquist frequency (centre strictly below).
    static bool faderEnabled(int band, float nyquist);
    // An amount as a whole percentage, halves away from zero ("35%").
    static QString percentText(float amount);

    SpectrumModel& spectrumModel() const { return *spectrum_; }
    EqualizerSpectrum* spectrumView() const { return overlay_; }
    QWidget* faderArea() const { return faderArea_; }
    EqualizerFader* fader(int band) const { return faders_.at(size_t(band)); }
    QLabel* faderLabel(int band) const { return valueLabels_.at(size_t(band)); }
    QLabel* bandLabel(int band) const { return bandLabels_.at(size_t(band)); }
    StudioButton* resetButton() const { return reset_; }
    SelectableButton* bassCutButton(int option) const { return bassCut_.at(size_t(option)); }
    StudioSlider* harmonicsSlider() const { return harmonics_; }
    QLabel* harmonicsValue() const { return harmonicsValue_; }
    QWidget* legend() const { return legend_; }
    QList<QLabel*> legendLabels() const { return legendTexts_; }

    void refresh();

private:
    void addHeader(StudioPanel* card);
    QHBoxLayout* buildFaders(StudioPanel* card);
    QHBoxLayout* buildBassCut(StudioPanel* card);
    QHBoxLayout* buildHarmonics(StudioPanel* card);
    void refreshTexts();
    void refreshLegendHelp();

    BoostModel& model_;
    SpectrumModel* spectrum_;
    PanelHeading* heading_;
    QWidget* legend_;
    QList<QLabel*> legendTexts_;
    StudioButton* reset_;
    QWidget* faderArea_;
    EqualizerSpectrum* overlay_;
    std::vector<EqualizerFader*> faders_;
    std::vector<QLabel*> valueLabels_;
    std::vector<QLabel*> bandLabels_;
    QLabel* bassCutTitle_;
    std::vector<SelectableButton*> bassCut_;
    QLabel* harmonicsTitle_;
    StudioSlider* harmonics_;
    QLabel* harmonicsValue_;
    bool lastLive_ = false;
};

}  // namespace quorel
