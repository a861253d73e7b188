#pragma once

#include <QString>

#include <optional>

class QHBoxLayout;

namespace quorel {

class PanelHeading;
class StudioPanel;

// The heading row on top of a card: the heading (its symbol; the owner renders title and detail
// through L10n), then a stretch. The owner adds its badges, switches and buttons to `row` after
// the stretch, or beside the heading with row->insertWidget(1, ...).
struct CardHeader {
    PanelHeading* heading;
    QHBoxLayout* row;
};

// Adds the heading row to `card`'s content.
CardHeader addCardHeader(StudioPanel* card, const QString& symbol, std::optional<QString> detail = std::nullopt);

}  // namespace quorel
