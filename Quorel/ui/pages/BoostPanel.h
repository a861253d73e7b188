#pragma once

#include "AppLanguage.h"

#include <QWidget>

class QLabel;

namespace quorel {

class BoostDial;
class BoostModel;
class ComparisonSwitch;
class PanelHeading;
class StatusDot;
class StudioSlider;
class SystemModel;

// The Boost page's main card: the Boost dial beside the headline, the Loudness, Drive and
// Auto level amounts (each a slider with its percentage), the live Drive dot and leveler
// readout, and the A/B comparison switch. Holds no state: it shows the root model's settings
// and the engine controller's readings, and every control writes one field through change().
class BoostPanel : public QWidget {
    Q_OBJECT
public:
    BoostPanel(BoostModel& model, SystemModel& system, QWidget* parent = nullptr);

    // One effect card: title row, slider and end labels.
    struct EffectCard {
        QWidget* card = nullptr;
        QLabel* title = nullptr;
        QLabel* percent = nullptr;
        StudioSlider* slider = nullptr;
        QLabel* left = nullptr;
        QLabel* right = nullptr;
    };

    BoostDial* dial() const { return dial_; }
    const EffectCard& loudness() const { return loudness_; }
    const EffectCard& drive() const { return drive_; }
    const EffectCard& leveler() const { return leveler_; }
    StatusDot* driveDot() const { return driveDot_; }
    QLabel* levelerReadout() const { return readout_; }
    ComparisonSwitch* comparisonSwitch() const { return switch_; }
    QLabel* headline() const { return headline_; }

    // Whether the dot shows Drive at work and whether the readout is shown (and its text).
    bool driveShaping() const;
    bool levelerReadoutShown() const;

    void refreshSettings();
    void refreshReadings();
    void refreshTexts();

private:
    EffectCard makeCard(QWidget* parent, bool withDot, bool withReadout);

    BoostModel& model_;
    SystemModel& system_;
    AppLanguage language_ = AppLanguage::english;  // the texts' language, for the readings
    PanelHeading* heading_;
    BoostDial* dial_;
    QLabel* headline_;
    QLabel* tagline_;
    EffectCard loudness_;
    EffectCard drive_;
    EffectCard leveler_;
    StatusDot* driveDot_ = nullptr;
    QLabel* readout_ = nullptr;
    ComparisonSwitch* switch_;
};

}  // namespace quorel
