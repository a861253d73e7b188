#include "StudioSlider.h"

#include "L10n.h"
#include "LanguageBinding.h"
#include "SliderGeometry.h"
#include "SliderPainter.h"
#include "StudioSliderAccessible.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

namespace quorel {

namespace {

// Fusion's slider tracking with knob lengths that match our knobs, and a click that jumps
// straight to the clicked place.
class StudioSliderStyle : public QProxyStyle {
public:
    StudioSliderStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_SliderLength) {
            const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
            return slider && slider->orientation == Qt::Vertical ? 11 : 14;
        }
        if (metric == PM_SliderThickness) return 14;
        if (metric == PM_SliderTickmarkOffset) return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        if (hint == SH_Slider_PageSetButtons) return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

QStyle* sliderStyle()
{
    static QStyle* style = new StudioSliderStyle;  // lives as long as the process
    return style;
}

}  // namespace

StudioSlider::StudioSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent)
{
    StudioSliderAccessible::installFactory();
    setStyle(sliderStyle());
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover, false);
    syncing_ = true;
    QSlider::setRange(0, resolution);
    setSingleStep(1);
    setPageStep(resolution / 10);
    setTracking(true);
    syncing_ = false;
    syncPosition();
    connect(this, &QSlider::valueChanged, this, &StudioSlider::onSliderValueChanged);
    LanguageBinding::follow(this, [this] {
        update();
        announceValue();
    });
    setSizePolicy(orientation == Qt::Horizontal ? QSizePolicy::Expanding : QSizePolicy::Fixed,
                  orientation == Qt::Horizontal ? QSizePolicy::Fixed : QSizePolicy::Expanding);
}

StudioSlider::~StudioSlider() = default;

void StudioSlider::setValue(float value)
{
    value_ = value;
    const double shown = SliderMath::displayed(value, lo_, hi_);
    if (SliderMath::differs(native_, shown)) native_ = shown;
    syncPosition();
    update();
}

void StudioSlider::setValueRange(float lo, float hi)
{
    lo_ = lo;
    hi_ = std::max(lo, hi);
    native_ = SliderMath::displayed(native_, lo_, hi_);
    setValue(value_);
}

void StudioSlider::setStep(float step) { step_ = step; }

void StudioSlider::setLabel(const QString& label)
{
    if (label_ == label) return;
    label_ = label;
    setAccessibleName(label);
}

void StudioSlider::setUnit(const QString& unit)
{
    unit_ = unit;
    announceValue();
}

void StudioSlider::setBipolar(bool bipolar)
{
    bipolar_ = bipolar;
    update();
}
void StudioSlider::setCyan(bool cyan)
{
    cyan_ = cyan;
    update();
}

void StudioSlider::setCompact(bool compact)
{
    compact_ = compact;
    updateGeometry();
    update();
}

QString StudioSlider::spokenValue() const { return SliderMath::spokenValue(value_, unit_, L10n::language()); }

double StudioSlider::increment() const { return SliderMath::increment(lo_, hi_, step_); }

bool StudioSlider::acceptsInput() const { return isEnabled(); }

bool StudioSlider::adjust(double delta)
{
    if (!acceptsInput()) return false;
    userInput(std::min(std::max(native_ + delta, double(lo_)), double(hi_)));
    return true;
}

bool StudioSlider::setFromAccessibility(double value)
{
    if (!acceptsInput()) return false;
    userInput(SliderMath::displayed(value, lo_, hi_));
    return true;
}

void StudioSlider::userInput(double position)
{
    native_ = position;
    const float x = SliderMath::snapped(float(position), lo_, hi_, step_);
    if (SliderMath::differs(value_, x)) {
        value_ = x;
        emit valueEdited(x);
        announceValue();
    }
    // What the owner's update does: the position follows the value unless they already match.
    const double shown = SliderMath::displayed(value_, lo_, hi_);
    if (SliderMath::differs(native_, shown)) native_ = shown;
    syncPosition();
    update();
}

int StudioSlider::positionFor(double value) const
{
    const double span = std::max(double(hi_) - double(lo_), 0.00001);
    const double f = std::clamp((SliderMath::displayed(value, lo_, hi_) - lo_) / span, 0.0, 1.0);
    return int(std::lround(f * resolution));
}

double StudioSlider::valueForPosition(int position) const
{
    return double(lo_) + (double(hi_) - double(lo_)) * double(position) / resolution;
}

void StudioSlider::syncPosition()
{
    const bool was = syncing_;
    syncing_ = true;
    const bool blocked = blockSignals(true);
    QSlider::setValue(positionFor(native_));
    blockSignals(blocked);
    syncing_ = was;
}

void StudioSlider::onSliderValueChanged(int position)
{
    if (syncing_) return;
    // Mouse tracking and the keys QSlider handles itself: user input.
    if (!acceptsInput()) {
        syncPosition();
        return;
    }
    userInput(valueForPosition(position));
}

void StudioSlider::announceValue()
{
    QAccessibleValueChangeEvent event(this, double(value_));
    QAccessible::updateAccessibility(&event);
    // The spoken value also travels as the description (see StudioSliderAccessible).
    QAccessibleEvent described(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

void StudioSlider::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        adjust(-increment());
        event->accept();
        return;
    case Qt::Key_Right:
    case Qt::Key_Up:
        adjust(+increment());
        event->accept();
        return;
    default:
        if (!acceptsInput()) {
            event->ignore();
            return;
        }
        QSlider::keyPressEvent(event);
    }
}

void StudioSlider::mousePressEvent(QMouseEvent* event)
{
    if (!acceptsInput()) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    QSlider::mousePressEvent(event);
}

void StudioSlider::changeEvent(QEvent* event)
{
    QSlider::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        QAccessible::State changed;
        changed.disabled = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
        update();
    }
}

QRectF StudioSlider::knobRect() const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
}

QRectF StudioSlider::barRect() const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRectF groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    opt.sliderPosition = opt.minimum;
    opt.sliderValue = opt.minimum;
    const QRectF atMin = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    opt.sliderPosition = opt.maximum;
    opt.sliderValue = opt.maximum;
    const QRectF atMax = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    // The bar runs between the knob's extreme centres, padded so that the track (inset 2 across a
    // horizontal bar, 5 along a vertical one) ends exactly there: the fill meets the knob's centre.
    if (isVertical()) {
        const double top = std::min(atMin.center().y(), atMax.center().y());
        const double bottom = std::max(atMin.center().y(), atMax.center().y());
        return QRectF(groove.left(), top - 5, groove.width(), bottom - top + 10);
    }
    const double left = std::min(atMin.center().x(), atMax.center().x());
    const double right = std::max(atMin.center().x(), atMax.center().x());
    return QRectF(left - 2, groove.top(), right - left + 4, groove.height());
}

QSize StudioSlider::sizeHint() const
{
    if (isVertical()) return {compact_ ? 28 : 44, 180};
    return {180, 24};
}

QSize StudioSlider::minimumSizeHint() const
{
    if (isVertical()) return {compact_ ? 24 : 36, 60};
    return {60, 24};
}

void StudioSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SliderPaintState st;
    st.bar = barRect();
    st.knob = knobRect();
    st.value = native_;
    st.lo = lo_;
    st.hi = hi_;
    st.vertical = isVertical();
    st.bipolar = bipolar_;
    st.cyan = cyan_;
    st.compact = compact_;
    st.enabled = isEnabled();
    st.focused = hasFocus();
    SliderPainter::draw(painter, st);
}

}  // namespace quorel
