#include "EqualizerPage.h"

#include "DetailPanels.h"
#include "EqualizerPanel.h"
#include "PresetsPanel.h"

#include <QVBoxLayout>
#include <QWidget>

namespace quorel::EqualizerPage {

QWidget* build(BoostModel& model, QWidget* parent)
{
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("equalizerPage"));
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(14);
    stack->addWidget(new PresetsPanel(model, page));
    stack->addWidget(new EqualizerPanel(model, page));
    stack->addWidget(new DetailPanels(model, page));
    return page;
}

}  // namespace quorel::EqualizerPage
