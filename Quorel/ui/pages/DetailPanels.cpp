#include "DetailPanels.h"

#include "BoostModel.h"
#include "CardHeader.h"
#include "DSPSettings.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelHeading.h"
#include "PanelText.h"
#include "Studio.h"
#include "StudioPanel.h"
#include "StudioSlider.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace quorel {

QString DetailPanels::releaseText(float milliseconds)
{
    return QString::number(static_cast<long long>(std::trunc(double(milliseconds)))) + QStringLiteral(" ms");
}

QString DetailPanels::ceilingText(float decibels, AppLanguage language)
{
    return L10n::number(decibels, 1, language) + QStringLiteral(" dBFS");
}

DetailPanels::DetailPanels(BoostModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    StudioPanel* card = StudioPanel::filling(this);
    QVBoxLayout* column = card->contentLayout();
    column->setSpacing(12);

    const CardHeader header = addCardHeader(card, QStringLiteral("shield.lefthalf.filled"));
    heading_ = header.heading;
    badge_ = PanelText::badge(0.7, card);
    header.row->addWidget(badge_);

    auto makeRow = [card](QWidget*& row, QLabel*& title, QLabel*& value, StudioSlider*& slider) {
        row = new QWidget(card);
        auto* stack = new QVBoxLayout(row);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(3);
        auto* line = new QHBoxLayout;
        title = PanelText::label(10, QFont::Normal, Studio::secondary(), row);
        value = PanelText::mono(10, QFont::Medium, Studio::text(), row);
        line->addWidget(title);
        line->addStretch(1);
        line->addWidget(value);
        stack->addLayout(line);
        slider = new StudioSlider(Qt::Horizontal, row);
        slider->setFixedHeight(18);
        stack->addWidget(slider);
    };
    makeRow(releaseRow_, releaseTitle_, releaseValue_, release_);
    makeRow(ceilingRow_, ceilingTitle_, ceilingValue_, ceiling_);
    release_->setValueRange(DSPSettings::limiterReleaseMin, DSPSettings::limiterReleaseMax);
    release_->setStep(10);
    release_->setUnit(QStringLiteral("ms"));
    ceiling_->setValueRange(DSPSettings::limiterCeilingMin, DSPSettings::limiterCeilingMax);
    ceiling_->setStep(0.1f);
    ceiling_->setUnit(QStringLiteral("dB"));
    auto* controls = new QHBoxLayout;
    controls->setSpacing(18);
    controls->addWidget(releaseRow_, 1, Qt::AlignTop);
    controls->addWidget(ceilingRow_, 1, Qt::AlignTop);
    column->addLayout(controls);

    connect(release_, &StudioSlider::valueEdited, this,
            [this](float value) { model_.change([value](DSPSettings& s) { s.limiterReleaseMS = value; }); });
    connect(ceiling_, &StudioSlider::valueEdited, this,
            [this](float value) { model_.change([value](DSPSettings& s) { s.limiterCeilingDB = value; }); });
    connect(&model_, &BoostModel::settingsChanged, this, &DetailPanels::refresh);
    LanguageBinding::follow(this, &DetailPanels::refreshTexts);
    refreshTexts();
}

void DetailPanels::refresh()
{
    const DSPSettings& settings = model_.settings();
    release_->setValue(settings.limiterReleaseMS);
    ceiling_->setValue(settings.limiterCeilingDB);
    releaseValue_->setText(releaseText(settings.limiterReleaseMS));
    ceilingValue_->setText(ceilingText(settings.limiterCeilingDB, L10n::language()));
}

void DetailPanels::refreshTexts()
{
    const AppLanguage language = L10n::language();
    heading_->setTitle(L10n::text("Limiter", language));
    badge_->setText(L10n::text("PEAK PROTECTION", language));
    const QString release = L10n::text("Release", language);
    const QString ceiling = L10n::text("Ceiling", language);
    releaseTitle_->setText(release);
    ceilingTitle_->setText(ceiling);
    release_->setLabel(release);
    ceiling_->setLabel(ceiling);
    releaseRow_->setToolTip(
        L10n::text("Recovery time: shorter adds presence; longer tends to sound smoother.", language));
    ceilingRow_->setToolTip(L10n::text("Maximum peak level in processed audio.", language));
    refresh();
}

}  // namespace quorel
