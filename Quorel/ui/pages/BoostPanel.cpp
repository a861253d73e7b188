#include "BoostPanel.h"

#include "BoostDial.h"
#include "BoostModel.h"
#include "ComparisonSwitch.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelFormat.h"
#include "PanelHeading.h"
#include "ShownRefresh.h"
#include "PanelWidgets.h"
#include "StatusDot.h"
#include "Studio.h"
#include "StudioPanel.h"
#include "StudioSlider.h"
#include "SystemModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace quorel {

using PanelWidgets::label;

BoostPanel::BoostPanel(BoostModel& model, SystemModel& system, QWidget* parent)
    : QWidget(parent), model_(model), system_(system)
{
    StudioPanel* card = StudioPanel::filling(this);
    auto* row = new QHBoxLayout;
    row->setSpacing(25);
    card->contentLayout()->addLayout(row);

    // Dial column.
    auto* dialColumn = new QWidget(card);
    dialColumn->setFixedWidth(220);
    auto* dialLayout = new QVBoxLayout(dialColumn);
    dialLayout->setContentsMargins(0, 0, 0, 0);
    dialLayout->setSpacing(5);
    heading_ = new PanelHeading(QString(), QStringLiteral("speaker.wave.3"), std::nullopt, dialColumn);
    dialLayout->addWidget(heading_, 0, Qt::AlignLeft);
    dial_ = new BoostDial(164, dialColumn);
    dialLayout->addWidget(dial_, 0, Qt::AlignLeft);
    row->addWidget(dialColumn, 0, Qt::AlignVCenter);
    connect(dial_, &BoostDial::valueWritten, this,
            [this](float value) { model_.change([value](DSPSettings& s) { s.boostDB = value; }); });

    // Divider, inset 6 at its top and bottom.
    auto* dividerBox = new QVBoxLayout;
    dividerBox->setContentsMargins(0, 6, 0, 6);
    dividerBox->addWidget(PanelWidgets::hairline(Qt::Vertical, card));
    row->addLayout(dividerBox);

    // Controls column.
    auto* controls = new QVBoxLayout;
    controls->setSpacing(18);
    auto* headlineBlock = new QVBoxLayout;
    headlineBlock->setSpacing(5);
    headline_ = label(24, QFont::DemiBold, Studio::text(), card);
    PanelWidgets::setTracking(headline_, -0.6);
    tagline_ = label(12, QFont::Normal, Studio::secondary(), card);
    headlineBlock->addWidget(headline_);
    headlineBlock->addWidget(tagline_);
    controls->addLayout(headlineBlock);

    loudness_ = makeCard(card, false, false);
    drive_ = makeCard(card, true, false);
    leveler_ = makeCard(card, false, true);
    for (const EffectCard* effect : {&loudness_, &drive_, &leveler_}) controls->addWidget(effect->card);
    connect(loudness_.slider, &StudioSlider::valueEdited, this,
            [this](float value) { model_.change([value](DSPSettings& s) { s.loudness = value; }); });
    connect(drive_.slider, &StudioSlider::valueEdited, this,
            [this](float value) { model_.change([value](DSPSettings& s) { s.driveAmount = value; }); });
    connect(leveler_.slider, &StudioSlider::valueEdited, this,
            [this](float value) { model_.change([value](DSPSettings& s) { s.levelerStrength = value; }); });

    switch_ = new ComparisonSwitch(model_, card);
    controls->addWidget(switch_);
    row->addLayout(controls, 1);

    connect(&model_, &BoostModel::settingsChanged, this, &BoostPanel::refreshSettings);
    auto* readings = new ShownRefresh(this, [this] { refreshReadings(); });
    connect(&system_, &SystemModel::activeChanged, readings, &ShownRefresh::request);
    connect(&system_, &SystemModel::metersChanged, readings, &ShownRefresh::request);
    LanguageBinding::follow(this, &BoostPanel::refreshTexts);
    refreshTexts();
    refreshSettings();
}

BoostPanel::EffectCard BoostPanel::makeCard(QWidget* parent, bool withDot, bool withReadout)
{
    EffectCard effect;
    effect.card = new QWidget(parent);
    auto* column = new QVBoxLayout(effect.card);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(9);

    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(withDot || withReadout ? 6 : 8);
    effect.title = label(13, QFont::Medium, Studio::text(), effect.card);
    titleRow->addWidget(effect.title);
    if (withDot) {
        driveDot_ = new StatusDot(5, effect.card);
        titleRow->addWidget(driveDot_, 0, Qt::AlignVCenter);
    }
    titleRow->addStretch(1);
    if (withReadout) {
        readout_ = PanelWidgets::monoLabel(10, QFont::Normal, Studio::secondary(), effect.card);
        titleRow->addWidget(readout_);
    }
    effect.percent = label(15, QFont::DemiBold, Studio::violet(), effect.card);
    titleRow->addWidget(effect.percent);
    column->addLayout(titleRow);

    effect.slider = new StudioSlider(Qt::Horizontal, effect.card);
    effect.slider->setValueRange(0, 1);
    effect.slider->setStep(0.05f);
    effect.slider->setUnit(QStringLiteral("%"));
    effect.slider->setFixedHeight(20);
    column->addWidget(effect.slider);

    auto* ends = new QHBoxLayout;
    effect.left = label(10, QFont::Normal, Studio::secondary(), effect.card);
    effect.right = label(10, QFont::Normal, Studio::secondary(), effect.card);
    ends->addWidget(effect.left);
    ends->addStretch(1);
    ends->addWidget(effect.right);
    column->addLayout(ends);
    return effect;
}

bool BoostPanel::driveShaping() const
{
    return PanelFormat::driveShaping(system_.isActive(), model_.settings().driveAmount, system_.meters().driveActivity);
}

bool BoostPanel::levelerReadoutShown() const { return model_.settings().levelerStrength > 0 && system_.isActive(); }

void BoostPanel::refreshSettings()
{
    const DSPSettings& settings = model_.settings();
    dial_->setValue(settings.boostDB);
    const std::pair<const EffectCard*, float> amounts[] = {
        {&loudness_, settings.loudness}, {&drive_, settings.driveAmount}, {&leveler_, settings.levelerStrength}};
    for (const auto& [effect, amount] : amounts) {
        effect->slider->setValue(amount);
        const QString text = PanelFormat::percentText(amount);
        if (effect->percent->text() != text) effect->percent->setText(text);
    }
    refreshReadings();
}

void BoostPanel::refreshReadings()
{
    const AppLanguage language = language_;
    const bool shaping = driveShaping();
    const QColor dot = shaping ? Studio::warning() : Studio::withOpacity(Studio::secondary(), 0.25);
    if (driveDot_->colour() != dot) {
        driveDot_->setColour(dot);
        driveDot_->setToolTip(shaping ? L10n::text(QStringLiteral("Drive is shaping peaks right now."), language)
                                      : L10n::text(QStringLiteral("Drive is idle."), language));
    }
    const bool shown = levelerReadoutShown();
    if (shown) {
        const SystemModel::Meters& meters = system_.meters();
        const QString text =
            PanelFormat::levelerReadout(meters.levelerMeasuring, meters.levelerLoudness, meters.levelerGain, language);
        PanelWidgets::setReading(readout_, text);
    }
    if (readout_->isVisibleTo(this) != shown) readout_->setVisible(shown);
}

void BoostPanel::refreshTexts()
{
    const AppLanguage language = L10n::language();
    language_ = language;
    heading_->setTitle(L10n::text(QStringLiteral("Boost"), language));
    headline_->setText(L10n::text(QStringLiteral("Bring your sound\nto life."), language));
    tagline_->setText(L10n::text(QStringLiteral("More presence. Your way."), language));

    loudness_.title->setText(L10n::text(QStringLiteral("Loudness"), language));
    loudness_.slider->setLabel(L10n::text(QStringLiteral("Loudness intensity"), language));
    loudness_.left->setText(L10n::text(QStringLiteral("Natural"), language));
    loudness_.right->setText(L10n::text(QStringLiteral("Immersive"), language));
    loudness_.card->setToolTip(
        L10n::text(QStringLiteral("Brings out quieter passages to give your sound more presence."), language));

    drive_.title->setText(L10n::text(QStringLiteral("Drive"), language));
    drive_.slider->setLabel(L10n::text(QStringLiteral("Drive intensity"), language));
    drive_.left->setText(L10n::text(QStringLiteral("Clean"), language));
    drive_.right->setText(L10n::text(QStringLiteral("Dense"), language));
    drive_.card->setToolTip(L10n::text(
        QStringLiteral("Soft clipping before the limiter: flattens peaks instead of turning the whole signal down. "
                       "Louder and denser, with some distortion at high settings."),
        language));

    leveler_.title->setText(L10n::text(QStringLiteral("Auto level"), language));
    leveler_.slider->setLabel(L10n::text(QStringLiteral("Auto level strength"), language));
    leveler_.left->setText(L10n::text(QStringLiteral("Off"), language));
    leveler_.right->setText(L10n::text(QStringLiteral("Same level everywhere"), language));
    leveler_.card->setToolTip(L10n::text(
        QStringLiteral("Evens out loudness between apps and videos over a few seconds (target {0} LUFS). Quiet "
                       "sources rise, loud ones settle, pauses are left alone."),
        language, QString::number(std::lround(DSPSettings::levelerTargetLUFS))));

    // The dot's tooltip and the readout follow the language too.
    driveDot_->setColour(QColor());
    refreshReadings();
}

}  // namespace quorel
