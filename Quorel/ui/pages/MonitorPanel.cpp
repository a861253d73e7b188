#include "MonitorPanel.h"

#include "BoostModel.h"
#include "CardHeader.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "LevelMeter.h"
#include "PanelFormat.h"
#include "PanelHeading.h"
#include "ShownRefresh.h"
#include "PanelWidgets.h"
#include "StatusDot.h"
#include "Studio.h"
#include "StudioPanel.h"
#include "Symbols.h"
#include "SystemModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quorel {

using PanelWidgets::label;

QString MonitorPanel::withheld() { return QStringLiteral("\u2014"); }

MonitorPanel::MonitorPanel(BoostModel& model, QWidget* parent) : QWidget(parent), model_(model), system_(model.system())
{
    StudioPanel* card = StudioPanel::filling(this);
    card->contentLayout()->setSpacing(16);

    const CardHeader header = addCardHeader(card, QStringLiteral("waveform"));
    heading_ = header.heading;
    auto* badgeRow = new QHBoxLayout;
    badgeRow->setSpacing(6);
    badgeDot_ = new StatusDot(5, card);
    badgeRow->addWidget(badgeDot_, 0, Qt::AlignVCenter);
    badge_ = label(8, QFont::DemiBold, Studio::secondary(), card);
    PanelWidgets::setTracking(badge_, 1);
    badgeRow->addWidget(badge_, 0, Qt::AlignVCenter);
    header.row->addLayout(badgeRow);

    auto* meters = new QHBoxLayout;
    meters->setSpacing(26);
    input_ = new LevelMeter(Studio::violet(), card);
    output_ = new LevelMeter(Studio::cyan(), card);
    meters->addWidget(input_, 1, Qt::AlignTop);
    meters->addWidget(output_, 1, Qt::AlignTop);

    column_ = new QWidget(card);
    column_->setFixedWidth(150);
    auto* column = new QVBoxLayout(column_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    reductionTitle_ = label(11, QFont::Normal, Studio::secondary(), column_);
    column->addWidget(reductionTitle_);
    auto* valueRow = new QHBoxLayout;
    valueRow->setSpacing(4);
    reduction_ = label(26, QFont::Light, Studio::text(), column_);
    valueRow->addWidget(reduction_, 0, Qt::AlignBaseline);
    QLabel* unit = label(11, QFont::Normal, Studio::secondary(), column_);
    unit->setText(QStringLiteral("dB"));
    valueRow->addWidget(unit, 0, Qt::AlignBaseline);
    valueRow->addStretch(1);
    shield_ = new SymbolView(QStringLiteral("shield.lefthalf.filled"), 18, Studio::cyan(), column_);
    valueRow->addWidget(shield_, 0, Qt::AlignVCenter);
    column->addLayout(valueRow);
    meters->addWidget(column_, 0, Qt::AlignTop);
    card->contentLayout()->addLayout(meters);

    auto* readings = new ShownRefresh(this, [this] { refreshReadings(); });
    connect(&system_, &SystemModel::activeChanged, readings, &ShownRefresh::request);
    connect(&system_, &SystemModel::metersChanged, readings, &ShownRefresh::request);
    connect(&model_, &BoostModel::blindTestRunningChanged, this, &MonitorPanel::refreshReadings);
    LanguageBinding::follow(this, &MonitorPanel::refreshTexts);
    refreshTexts();
}

void MonitorPanel::refreshReadings()
{
    const AppLanguage language = language_;
    const bool active = system_.isActive();
    badgeDot_->setColour(active ? Studio::cyan() : Studio::withOpacity(Studio::secondary(), 0.4));
    const QString badge =
        active ? L10n::text(QStringLiteral("LIVE"), language) : L10n::text(QStringLiteral("STOPPED"), language);
    if (badge_->text() != badge) badge_->setText(badge);

    const SystemModel::Meters& meters = system_.meters();
    input_->setLevel(meters.inputDB, PanelFormat::levelText(meters.inputDB, language));
    const bool blind = model_.blindTestRunning();
    if (blind)
        output_->setLevel(-120, withheld());
    else
        output_->setLevel(meters.outputDB, PanelFormat::levelText(meters.outputDB, language));
    const QString reduction = blind ? withheld() : L10n::number(meters.limiterDB, 1, language);
    PanelWidgets::setReading(reduction_, reduction);
    const QColor shield = !blind && PanelFormat::reductionWarning(meters.limiterDB)
                              ? Studio::warning()
                              : Studio::withOpacity(Studio::cyan(), 0.7);
    if (shield_->colour() != shield) shield_->setColour(shield);
}

void MonitorPanel::refreshTexts()
{
    const AppLanguage language = L10n::language();
    language_ = language;
    heading_->setTitle(L10n::text(QStringLiteral("Monitor"), language));
    input_->setTitle(L10n::text(QStringLiteral("Input"), language));
    output_->setTitle(L10n::text(QStringLiteral("Output"), language));
    reductionTitle_->setText(L10n::text(QStringLiteral("Peak reduction"), language));
    column_->setToolTip(
        L10n::text(QStringLiteral("How much the limiter reduced the peaks. Distortion becomes more likely above 6 dB."),
                   language));
    refreshReadings();
}

}  // namespace quorel
