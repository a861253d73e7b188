#include "SegmentedControl.h"

#include "FocusRing.h"
#include "SelectableButton.h"
#include "Studio.h"
#include "Symbols.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

namespace quorel {

namespace {

QColor plateFill(SegmentedControl::Look look)
{
    return look == SegmentedControl::Look::raised ? QColor(0, 0, 0, qRound(0.22 * 255))
                                                  : QColor(0, 0, 0, int(0.16 * 255 + 0.5));
}

class Segment : public SelectableButton {
public:
    Segment(SegmentedControl::Look look, const QString& symbol, QWidget* parent)
        : SelectableButton(parent), look_(look), symbol_(symbol)
    {
        setCursor(Qt::PointingHandCursor);
        if (raised())
            setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        else
            setFont(Studio::font(10, QFont::Medium));
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(face());
        if (!raised()) return {metrics.horizontalAdvance(text()) + 16, metrics.height() + 12};
        return {symbolWidth() + metrics.horizontalAdvance(text()) + 16, metrics.height() + 18};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (raised())
            paintRaised(painter);
        else
            paintTinted(painter);
        FocusRing::drawIfFocused(painter, *this, raised() ? 8 : 6);
    }

private:
    bool raised() const { return look_ == SegmentedControl::Look::raised; }
    int symbolWidth() const { return symbol_.isEmpty() ? 0 : 10 + 5; }
    // The raised look draws in its own face; the tinted one in the widget's font.
    QFont face() const { return raised() ? Studio::font(11, QFont::DemiBold) : font(); }

    void paintRaised(QPainter& painter)
    {
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
        const QFont font = face();
        const qreal textWidth = QFontMetricsF(font).horizontalAdvance(text());
        qreal x = bounds.center().x() - (symbolWidth() + textWidth) / 2;
        if (!symbol_.isEmpty()) {
            Symbols::draw(painter, symbol_, QRectF(x, bounds.center().y() - 5, 10, 10), colour);
            x += symbolWidth();
        }
        painter.setFont(font);
        painter.setPen(colour);
        painter.drawText(QRectF(x, bounds.top(), textWidth + 1, bounds.height()), Qt::AlignVCenter | Qt::AlignLeft,
                         text());
    }

    void paintTinted(QPainter& painter)
    {
        if (isSelected()) {
            QPainterPath plate;
            plate.addRoundedRect(QRectF(rect()), 6, 6);
            painter.fillPath(plate, Studio::withOpacity(Studio::violet(), 0.13));
        }
        painter.setFont(font());
        painter.setPen(isSelected() ? Studio::violet() : Studio::secondary());
        painter.drawText(rect(), Qt::AlignCenter, text());
    }

    SegmentedControl::Look look_;
    QString symbol_;
};

}  // namespace

SegmentedControl::SegmentedControl(Look look, QWidget* parent)
    : Plate(look == Look::raised ? 11 : 8, plateFill(look), parent), look_(look), row_(new QHBoxLayout(this))
{
    const int margin = look == Look::raised ? 4 : 3;
    row_->setContentsMargins(margin, margin, margin, margin);
    row_->setSpacing(3);
}

SelectableButton* SegmentedControl::addSegment(const QString& symbol)
{
    auto* segment = new Segment(look_, symbol, this);
    row_->addWidget(segment, look_ == Look::raised ? 1 : 0);
    const int index = count();
    segments_.push_back(segment);
    connect(segment, &QAbstractButton::clicked, this, [this, index] { emit chosen(index); });
    return segment;
}

void SegmentedControl::select(int index)
{
    for (int i = 0; i < count(); ++i) segments_[size_t(i)]->setSelected(i == index);
}

}  // namespace quorel
