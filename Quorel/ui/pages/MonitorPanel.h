#pragma once

#include "AppLanguage.h"

#include <QWidget>

class QLabel;

namespace quorel {

class BoostModel;
class LevelMeter;
class PanelHeading;
class StatusDot;
class SymbolView;
class SystemModel;

// The level monitor card: "LIVE" or "STOPPED", the input and output meters in dBFS and the peak
// limiter's reduction with its shield. Shows the engine controller's readings; writes nothing.
// While a blind test runs the output meter and the reduction rest at "—": on the original side
// the output would read the input's level and no reduction, and so name the side being heard.
// The input reads the same on both sides and stays live.
class MonitorPanel : public QWidget {
    Q_OBJECT
public:
    explicit MonitorPanel(BoostModel& model, QWidget* parent = nullptr);

    LevelMeter* inputMeter() const { return input_; }
    LevelMeter* outputMeter() const { return output_; }
    QLabel* badge() const { return badge_; }
    StatusDot* badgeDot() const { return badgeDot_; }
    QLabel* reduction() const { return reduction_; }
    SymbolView* shield() const { return shield_; }
    QWidget* reductionColumn() const { return column_; }

    void refreshReadings();
    void refreshTexts();

    // The text of a reading held back during a blind test.
    static QString withheld();

private:
    BoostModel& model_;
    SystemModel& system_;
    AppLanguage language_ = AppLanguage::english;  // the texts' language, for the readings
    PanelHeading* heading_;
    StatusDot* badgeDot_;
    QLabel* badge_;
    LevelMeter* input_;
    LevelMeter* output_;
    QWidget* column_;
    QLabel* reductionTitle_;
    QLabel* reduction_;
    SymbolView* shield_;
};

}  // namespace quorel
