#include "ComparisonSwitch.h"

#include "BoostModel.h"
#include "L10n.h"
#include "LanguageBinding.h"
#include "SelectableButton.h"

namespace quorel {

ComparisonSwitch::ComparisonSwitch(BoostModel& model, QWidget* parent)
    : SegmentedControl(Look::raised, parent), model_(model)
{
    original_ = addSegment();
    processed_ = addSegment(QStringLiteral("waveform"));
    connect(this, &SegmentedControl::chosen, this, [this](int index) { choose(index == 1); });
    connect(&model_, &BoostModel::processedChanged, this, &ComparisonSwitch::refresh);
    connect(&model_, &BoostModel::blindTestRunningChanged, this, &ComparisonSwitch::refresh);
    LanguageBinding::follow(this, &ComparisonSwitch::refresh);
    refresh();
}

void ComparisonSwitch::choose(bool processed)
{
    model_.setProcessed(processed);
    model_.system().configure(model_.settings(), processed);
}

void ComparisonSwitch::refresh()
{
    const AppLanguage language = L10n::language();
    original_->setText(L10n::text("Original", language));
    processed_->setText(L10n::text("Processed", language));
    setToolTip(L10n::text("Compare the original audio with your settings. Shortcut: Ctrl+B.", language));
    // While a blind test runs neither segment stands selected: the switch must not tell which
    // side of the test is heard.
    select(model_.blindTestRunning() ? -1 : model_.processed() ? 1 : 0);
    updateGeometry();
    update();
}

}  // namespace quorel
