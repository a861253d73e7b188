#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QVariantAnimation;

namespace quorel {

// One segmented level meter of the monitor card: a header (title, then the value and " dBFS")
// over a bar of 24 segments. A change of level cross-fades the segments that change over
// 0.15 s with an ease-out curve, unless the desktop asks to reduce motion; the header never
// animates. To assistive technologies it is one element, "Title: value dBFS". It paints its
// own background in the card colour (it belongs inside a card).
class LevelMeter : public QWidget {
    Q_OBJECT
public:
    LevelMeter(const QColor& accent, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    // Shows `level` (dBFS); `valueText` is its rendered text.
    void setLevel(float level, const QString& valueText);

    QString title() const { return title_; }
    float level() const { return level_; }
    QString valueText() const { return valueText_; }
    bool isEasing() const;
    // The colour segment `segment` is drawn with now.
    QColor segmentColour(int segment) const;
    QRectF barRect() const;
    // The width of one segment for a bar `barWidth` wide (at least 1).
    static qreal segmentWidth(qreal barWidth);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor restingColour(float level, int segment) const;
    QRectF segmentRect(int segment) const;
    // The segments whose colour differs between the levels `a` and `b`, as one rectangle (empty
    // when none does).
    QRect changedSegments(float a, float b) const;
    void updateAccessibleName();

    QColor accent_;
    QString title_;
    QString valueText_;
    float level_ = -120;
    float from_ = -120;
    qreal progress_ = 1;
    QRect fading_;  // the segments the running fade repaints
    QVariantAnimation* ease_;
};

}  // namespace quorel
