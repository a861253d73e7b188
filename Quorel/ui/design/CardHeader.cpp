#include "CardHeader.h"

#include "PanelHeading.h"
#include "StudioPanel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace quorel {

CardHeader addCardHeader(StudioPanel* card, const QString& symbol, std::optional<QString> detail)
{
    auto* row = new QHBoxLayout;
    auto* heading = new PanelHeading(QString(), symbol, std::move(detail), card);
    row->addWidget(heading);
    row->addStretch(1);
    card->contentLayout()->addLayout(row);
    return {heading, row};
}

}  // namespace quorel
