#pragma once

class QWidget;

namespace quorel {

class BoostModel;

// The Equalizer page: the presets card, the equalizer card and the peak protection card, top
// to bottom, spaced 14 apart. Each card's own state starts afresh with the page.
namespace EqualizerPage {
QWidget* build(BoostModel& model, QWidget* parent);
}

}  // namespace quorel
