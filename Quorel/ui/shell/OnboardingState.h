#pragma once

#include <QObject>

namespace quorel {

// Whether the first-run sheet is shown and which of its three steps is current. The completion
// flag lives in the settings store under "Corvanta.Onboarding.v1"; a missing value, or one that
// is not a Boolean, reads as not completed. Main thread only.
class OnboardingState : public QObject {
    Q_OBJECT
public:
    static constexpr const char* key = "Corvanta.Onboarding.v1";

    explicit OnboardingState(QObject* parent = nullptr);

    bool presented() const { return presented_; }
    int step() const { return step_; }

    void setPresented(bool presented);
    void setStep(int step);

    // Skip and Finish: stores the flag, then closes the sheet; the step keeps its value.
    void complete();

signals:
    void presentedChanged(bool presented);
    void stepChanged(int step);

private:
    bool presented_ = false;
    int step_ = 0;
};

}  // namespace quorel
