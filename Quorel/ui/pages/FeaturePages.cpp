#include "FeaturePages.h"

#include "BlindTestPanel.h"
#include "BoostModel.h"
#include "BoostPanel.h"
#include "HeadphonePanel.h"
#include "MonitorPanel.h"
#include "OutputPanel.h"

#include <QVBoxLayout>
#include <QWidget>

namespace quorel::FeaturePages {

namespace {

QWidget* stack(QWidget* parent, std::initializer_list<QWidget*> cards)
{
    auto* page = new QWidget(parent);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    for (QWidget* card : cards) {
        card->setParent(page);
        column->addWidget(card);
    }
    return page;
}

}  // namespace

QWidget* boost(BoostModel& model, QWidget* parent)
{
    return stack(parent, {new BoostPanel(model, model.system()), new MonitorPanel(model), new BlindTestPanel(model)});
}

QWidget* output(BoostModel& model, QWidget* parent)
{
    return stack(parent, {new OutputPanel(model.system(), model.system().volume()),
                          new HeadphonePanel(model, model.headphones()), new MonitorPanel(model)});
}

}  // namespace quorel::FeaturePages
