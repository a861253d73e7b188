#pragma once

class QWidget;

namespace quorel {

class BoostModel;

// The Boost and Output pages: their cards stacked top to bottom, spacing 14, each built anew
// for the page (so the cards' own state starts afresh whenever the page is shown).
namespace FeaturePages {

// BoostPanel, MonitorPanel, BlindTestPanel.
QWidget* boost(BoostModel& model, QWidget* parent);
// OutputPanel, HeadphonePanel, MonitorPanel.
QWidget* output(BoostModel& model, QWidget* parent);

}  // namespace FeaturePages
}  // namespace quorel
