#include "ComparisonSwitch.h"

#include "BoostModel.h"
#include "L10n.h"
#include "LocalizationModel.h"
#include "SelectableButton.h"
#include "FocusRing.h"
#include "Studio.h"
#include "Symbols.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace quorel {

namespace {

// One segment: an optional symbol and the title, sharing the switch's width equally.
class Segment : public SelectableButton {
public:
    Segment(bool withSymbol, QWidget* parent) : SelectableButton(parent), withSymbol_(withSymbol)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setCursor(Qt::PointingHandCursor);
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(Studio::font(11, QFont::DemiBold));
        const int symbol = withSymbol_ ? 10 + 5 : 0;
        return {symbol + metrics.horizontalAdvance(text()) + 16, metrics.height() + 18};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = QRectF(rect());
        if (isSelected()) {
            QPainterPath shape;
            shape.addRoundedRect(bounds, 8, 8);
            painter.fillPath(shape, Studio::raised());
            QPainterPath outline;
            outline.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 7.5, 7.5);
            painter.setPen(QPen(Studio::line(), 1));
            painter.drawPath(outline);
        }
        const QColor colour = isSelected() ? Studio::text() : Studio::secondary();
        const QFont font = Studio::font(11, QFont::DemiBold);
        const QFontMetricsF metrics(font);
        const qreal textWidth = metrics.horizontalAdvance(text());
        const qreal symbolWidth = withSymbol_ ? 10 + 5 : 0;
        qreal x = bounds.center().x() - (symbolWidth + textWidth) / 2;
        if (withSymbol_) {
            Symbols::draw(painter, "waveform", QRectF(x, bounds.center().y() - 5, 10, 10), colour);
            x += symbolWidth;
        }
        painter.setFont(font);
        painter.setPen(colour);
        painter.drawText(QRectF(x, bounds.top(), textWidth + 1, bounds.height()), Qt::AlignVCenter | Qt::AlignLeft,
                         text());
        FocusRing::drawIfFocused(painter, *this, 8);
    }

private:
    bool withSymbol_;
};

}  // namespace

ComparisonSwitch::ComparisonSwitch(BoostModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(3);
    original_ = new Segment(false, this);
    processed_ = new Segment(true, this);
    layout->addWidget(original_, 1);
    layout->addWidget(processed_, 1);
    connect(original_, &QAbstractButton::clicked, this, [this] { choose(false); });
    connect(processed_, &QAbstractButton::clicked, this, [this] { choose(true); });
    connect(&model_, &BoostModel::processedChanged, this, &ComparisonSwitch::refresh);
    connect(&model_, &BoostModel::blindTestRunningChanged, this, &ComparisonSwitch::refresh);
    connect(&LocalizationModel::shared(), &LocalizationModel::languageChanged, this, &ComparisonSwitch::refresh);
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
    const bool blind = model_.blindTestRunning();
    original_->setSelected(!blind && !model_.processed());
    processed_->setSelected(!blind && model_.processed());
    updateGeometry();
    update();
}

void ComparisonSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 11, 11);
    painter.fillPath(shape, QColor(0, 0, 0, qRound(0.22 * 255)));
}

}  // namespace quorel
