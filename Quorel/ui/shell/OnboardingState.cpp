#include "OnboardingState.h"

#include "UserDefaults.h"

namespace quorel {

OnboardingState::OnboardingState(QObject* parent) : QObject(parent)
{
    step_ = 0;
    presented_ = !UserDefaults::standard().boolean(key).value_or(false);
}

void OnboardingState::setPresented(bool presented)
{
    if (presented_ == presented) return;
    presented_ = presented;
    emit presentedChanged(presented_);
}

void OnboardingState::setStep(int step)
{
    if (step_ == step) return;
    step_ = step;
    emit stepChanged(step_);
}

void OnboardingState::complete()
{
    UserDefaults::standard().setBoolean(key, true);
    setPresented(false);
}

}  // namespace quorel
