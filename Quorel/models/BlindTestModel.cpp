#include "BlindTestModel.h"

#include "BoostModel.h"
#include "L10n.h"

namespace quorel {

BlindTestModel::BlindTestModel(std::shared_ptr<RandomSource> random, QObject* parent)
    : QObject(parent), random_(std::move(random))
{
}

BlindTestModel::~BlindTestModel()
{
    // A test that goes away unfinished must not leave the answer hidden for ever.
    if (phase_ == Phase::running && model_) model_->setBlindTestRunning(false);
}

void BlindTestModel::start(BoostModel& model)
{
    model_ = &model;
    RandomSource& random = random_ ? *random_ : *model.random();
    processedIsA_.clear();
    for (int i = 0; i < rounds; ++i) processedIsA_.push_back(random.coinToss());
    preferredProcessed_ = 0;
    preferredOriginal_ = 0;
    undecided_ = 0;
    round_ = 0;
    listening_.reset();
    phase_ = Phase::running;
    model.setBlindTestRunning(true);
    emit changed();
    // Only switch processing on: asking a running engine to start again stops and restarts it,
    // a drop-out in the sound and a new default output just as the listening begins.
    if (!model.system().isActive()) model.system().setActive(true);
}

void BlindTestModel::listen(const QString& side)
{
    if (phase_ != Phase::running || !model_) return;
    listening_ = side;
    const bool processed = (side == QLatin1String("A")) == processedIsA_[static_cast<size_t>(round_)];
    model_->setProcessed(processed);
    emit changed();
    model_->configureSystem();
}

void BlindTestModel::choose(const std::optional<QString>& side)
{
    if (phase_ != Phase::running) return;
    if (!side)
        ++undecided_;
    else if ((*side == QLatin1String("A")) == processedIsA_[static_cast<size_t>(round_)])
        ++preferredProcessed_;
    else
        ++preferredOriginal_;
    listening_.reset();
    if (round_ + 1 >= rounds) {
        phase_ = Phase::done;
        if (model_) model_->setBlindTestRunning(false);
        emit changed();
        selectProcessed();
    } else {
        ++round_;
        emit changed();
    }
}

void BlindTestModel::cancel()
{
    const bool wasRunning = phase_ == Phase::running;
    phase_ = Phase::idle;
    listening_.reset();
    if (wasRunning && model_) model_->setBlindTestRunning(false);
    emit changed();
    selectProcessed();
}

void BlindTestModel::discard()
{
    if (phase_ == Phase::running && model_) model_->setBlindTestRunning(false);
    phase_ = Phase::idle;
    listening_.reset();
    emit changed();
}

void BlindTestModel::selectProcessed()
{
    if (!model_) return;
    model_->setProcessed(true);
    model_->configureSystem();
}

AppLanguage BlindTestModel::savedLanguage() const
{
    return model_ ? appLanguage::saved(model_->store()) : L10n::language();
}

QString BlindTestModel::summary(AppLanguage language) const
{
    return L10n::render(
        QStringLiteral("You preferred processed audio in {0} of {1} rounds, original audio in {2}, and heard no "
                       "difference in {3}."),
        {QString::number(preferredProcessed_), QString::number(rounds), QString::number(preferredOriginal_),
         QString::number(undecided_)},
        language);
}

QString BlindTestModel::summary() const { return summary(savedLanguage()); }

QString BlindTestModel::verdictKey() const
{
    if (preferredProcessed_ >= 4) return QStringLiteral("A clear preference for your settings.");
    if (preferredOriginal_ >= 4) return QStringLiteral("The original won: reduce Boost or Loudness and try again.");
    return QStringLiteral("No consistent preference: the difference is subtle or the settings are neutral.");
}

QString BlindTestModel::verdict(AppLanguage language) const { return L10n::render(verdictKey(), {}, language); }
QString BlindTestModel::verdict() const { return verdict(savedLanguage()); }

QString BlindTestModel::phaseName(Phase phase)
{
    switch (phase) {
    case Phase::idle: return QStringLiteral("idle");
    case Phase::running: return QStringLiteral("running");
    case Phase::done: return QStringLiteral("done");
    }
    return {};
}

}  // namespace quorel
