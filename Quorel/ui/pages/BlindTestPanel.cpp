#include "BlindTestPanel.h"

#include "BlindTestModel.h"
#include "BoostModel.h"
#include "CardHeader.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelHeading.h"
#include "PanelWidgets.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioPanel.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorel {

using PanelWidgets::label;

BlindTestPanel::BlindTestPanel(BoostModel& model, std::shared_ptr<RandomSource> random, QWidget* parent)
    : QWidget(parent), model_(model), test_(new BlindTestModel(std::move(random), this))
{
    StudioPanel* card = StudioPanel::filling(this);
    card->contentLayout()->setSpacing(12);

    const CardHeader header = addCardHeader(card, QStringLiteral("eye.slash"));
    heading_ = header.heading;
    counter_ = label(11, QFont::Medium, Studio::secondary(), card);
    header.row->addWidget(counter_);

    // Idle.
    idle_ = new QWidget(card);
    auto* idleRow = new QHBoxLayout(idle_);
    idleRow->setContentsMargins(0, 0, 0, 0);
    explanation_ = label(11, QFont::Normal, Studio::secondary(), idle_);
    explanation_->setWordWrap(true);
    idleRow->addWidget(explanation_, 1);
    idleRow->addSpacing(12);
    start_ = new StudioButton(QString(), true, idle_);
    idleRow->addWidget(start_, 0, Qt::AlignVCenter);
    card->contentLayout()->addWidget(idle_);
    connect(start_, &QAbstractButton::clicked, this, [this] { test_->start(model_); });

    // Running.
    running_ = new QWidget(card);
    auto* runningColumn = new QVBoxLayout(running_);
    runningColumn->setContentsMargins(0, 0, 0, 0);
    runningColumn->setSpacing(12);
    auto* choices = new QHBoxLayout;
    choices->setSpacing(10);
    listenA_ = new StudioButton(QString(), false, running_);
    listenB_ = new StudioButton(QString(), false, running_);
    for (StudioButton* listen : {listenA_, listenB_}) {
        listen->setFixedWidth(90 + 2 * StudioButtonStyle::horizontalPadding);
        choices->addWidget(listen);
    }
    choices->addStretch(1);
    preferA_ = new StudioButton(QString(), false, running_);
    preferB_ = new StudioButton(QString(), false, running_);
    noDifference_ = new StudioButton(QString(), false, running_);
    choices->addWidget(preferA_);
    choices->addWidget(preferB_);
    choices->addWidget(noDifference_);
    cancel_ = PanelWidgets::textButton(11, QFont::Normal, Studio::secondary(), running_);
    choices->addWidget(cancel_);
    runningColumn->addLayout(choices);
    note_ = label(10, QFont::Normal, Studio::withOpacity(Studio::secondary(), 0.8), running_);
    note_->setWordWrap(true);
    runningColumn->addWidget(note_);
    card->contentLayout()->addWidget(running_);
    connect(listenA_, &QAbstractButton::clicked, this, [this] { test_->listen(QStringLiteral("A")); });
    connect(listenB_, &QAbstractButton::clicked, this, [this] { test_->listen(QStringLiteral("B")); });
    connect(preferA_, &QAbstractButton::clicked, this, [this] { test_->choose(QStringLiteral("A")); });
    connect(preferB_, &QAbstractButton::clicked, this, [this] { test_->choose(QStringLiteral("B")); });
    connect(noDifference_, &QAbstractButton::clicked, this, [this] { test_->choose(std::nullopt); });
    connect(cancel_, &QPushButton::clicked, this, [this] { test_->cancel(); });

    // Done.
    done_ = new QWidget(card);
    auto* doneColumn = new QVBoxLayout(done_);
    doneColumn->setContentsMargins(0, 0, 0, 0);
    doneColumn->setSpacing(6);
    summary_ = label(12, QFont::Medium, Studio::text(), done_);
    summary_->setWordWrap(true);
    doneColumn->addWidget(summary_);
    auto* verdictRow = new QHBoxLayout;
    verdict_ = label(11, QFont::Normal, Studio::secondary(), done_);
    verdict_->setWordWrap(true);
    verdictRow->addWidget(verdict_, 1);
    tryAgain_ = new StudioButton(QString(), false, done_);
    close_ = new StudioButton(QString(), false, done_);
    verdictRow->addWidget(tryAgain_);
    verdictRow->addWidget(close_);
    doneColumn->addLayout(verdictRow);
    card->contentLayout()->addWidget(done_);
    connect(tryAgain_, &QAbstractButton::clicked, this, [this] { test_->start(model_); });
    connect(close_, &QAbstractButton::clicked, this, [this] { test_->cancel(); });

    connect(test_, &BlindTestModel::changed, this, &BlindTestPanel::refresh);
    LanguageBinding::follow(this, &BlindTestPanel::refresh);
    refresh();
}

BlindTestPanel::~BlindTestPanel() { dropRunningTest(); }

void BlindTestPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    dropRunningTest();
}

void BlindTestPanel::dropRunningTest()
{
    // A test left unseen must not keep the side hidden; the sound stays as the user last heard it.
    if (test_->phase() == BlindTestModel::Phase::running) test_->discard();
}

void BlindTestPanel::refresh()
{
    const AppLanguage language = L10n::language();
    const BlindTestModel::Phase phase = test_->phase();
    heading_->setTitle(L10n::text(QStringLiteral("Blind A/B test"), language));
    counter_->setVisible(phase == BlindTestModel::Phase::running);
    counter_->setText(L10n::text(QStringLiteral("Round {0} of {1}"), language, QString::number(test_->round() + 1),
                                 QString::number(BlindTestModel::rounds)));
    idle_->setVisible(phase == BlindTestModel::Phase::idle);
    running_->setVisible(phase == BlindTestModel::Phase::running);
    done_->setVisible(phase == BlindTestModel::Phase::done);

    explanation_->setText(L10n::text(
        QStringLiteral("Five rounds. In each round, A and B are randomly assigned to original and processed audio. "
                       "Choose what sounds better without knowing which is which."),
        language));
    start_->setText(L10n::text(QStringLiteral("Start"), language));

    const std::optional<QString>& listening = test_->listening();
    const std::pair<StudioButton*, QString> sides[] = {{listenA_, QStringLiteral("A")},
                                                       {listenB_, QStringLiteral("B")}};
    for (const auto& [button, side] : sides) {
        const bool heard = listening == side;
        button->setText(L10n::text(QStringLiteral("Listen to {0}"), language, side));
        button->setSymbol(heard ? QStringLiteral("speaker.wave.2.fill") : QStringLiteral("speaker.wave.2"));
        button->setProminent(heard);
    }
    preferA_->setText(L10n::text(QStringLiteral("I prefer A"), language));
    preferB_->setText(L10n::text(QStringLiteral("I prefer B"), language));
    noDifference_->setText(L10n::text(QStringLiteral("No difference"), language));
    cancel_->setText(L10n::text(QStringLiteral("Cancel"), language));
    note_->setText(L10n::text(
        QStringLiteral("Keep something playing. Listen to A and B as often as you like before choosing."), language));

    summary_->setText(test_->summary(language));
    verdict_->setText(test_->verdict(language));
    tryAgain_->setText(L10n::text(QStringLiteral("Try again"), language));
    close_->setText(L10n::text(QStringLiteral("Close"), language));
}

}  // namespace quorel
