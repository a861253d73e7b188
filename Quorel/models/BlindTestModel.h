#pragma once

#include "AppLanguage.h"
#include "RandomSource.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace quorel {

class BoostModel;

// The blind A/B test: five rounds, in each of which a coin toss hides which side, A or B,
// plays the processed sound; the user names the side preferred or hears no difference. While
// a test runs, the root model's blindTestRunning flag is set so no view gives the answer away.
// Holds the root model weakly. Main thread only.
class BlindTestModel : public QObject {
    Q_OBJECT
public:
    enum class Phase { idle, running, done };
    static constexpr int rounds = 5;

    // `random` none: the root model's random source, read at start().
    explicit BlindTestModel(std::shared_ptr<RandomSource> random = nullptr, QObject* parent = nullptr);
    ~BlindTestModel() override;

    Phase phase() const { return phase_; }
    int round() const { return round_; }
    const std::optional<QString>& listening() const { return listening_; }
    const std::vector<bool>& processedIsA() const { return processedIsA_; }
    int preferredProcessed() const { return preferredProcessed_; }
    int preferredOriginal() const { return preferredOriginal_; }
    int undecided() const { return undecided_; }

    // Begins a new test (in any phase) and turns processing on.
    void start(BoostModel& model);
    // Plays side "A" or "B" (any other text counts as B) of the current round.
    void listen(const QString& side);
    // Records the answer of the current round; none means no difference.
    void choose(const std::optional<QString>& side);
    // Abandons the test; the processed sound is selected again.
    void cancel();
    // Drops the test as if it had never run (its card went away): back to idle with the
    // answer no longer hidden, the sound left as the last listen set it.
    void discard();

    // The result texts, in the saved interface language or in `language`.
    QString summary() const;
    QString summary(AppLanguage language) const;
    QString verdict() const;
    QString verdict(AppLanguage language) const;
    QString verdictKey() const;

    static QString phaseName(Phase phase);  // "idle", "running", "done"

signals:
    void changed();

private:
    void selectProcessed();
    AppLanguage savedLanguage() const;

    std::shared_ptr<RandomSource> random_;
    Phase phase_ = Phase::idle;
    int round_ = 0;
    std::optional<QString> listening_;
    std::vector<bool> processedIsA_;
    int preferredProcessed_ = 0;
    int preferredOriginal_ = 0;
    int undecided_ = 0;
    QPointer<BoostModel> model_;
};

}  // namespace quorel
