#pragma once

#include "AppLanguage.h"

#include <QWidget>

class QLabel;

namespace quorel {

class BoostModel;
class PanelHeading;
class StudioSlider;

// The peak protection card of the Equalizer page: the limiter's release and ceiling, each a
// slider with its value. Shows the settings on every change; writes on a slider movement only.
class DetailPanels : public QWidget {
    Q_OBJECT
public:
    explicit DetailPanels(BoostModel& model, QWidget* parent = nullptr);

    // "75 ms": the integer part, plain digits.
    static QString releaseText(float milliseconds);
    // "-1.0 dBFS" ("-1,0 dBFS" in Brazilian Portuguese).
    static QString ceilingText(float decibels, AppLanguage language);

    StudioSlider* releaseSlider() const { return release_; }
    StudioSlider* ceilingSlider() const { return ceiling_; }
    QLabel* releaseValue() const { return releaseValue_; }
    QLabel* ceilingValue() const { return ceilingValue_; }
    QLabel* badge() const { return badge_; }

    void refresh();

private:
    void refreshTexts();

    BoostModel& model_;
    PanelHeading* heading_;
    QLabel* badge_;
    QWidget* releaseRow_;
    QWidget* ceilingRow_;
    QLabel* releaseTitle_;
    QLabel* ceilingTitle_;
    QLabel* releaseValue_;
    QLabel* ceilingValue_;
    StudioSlider* release_;
    StudioSlider* ceiling_;
};

}  // namespace quorel
