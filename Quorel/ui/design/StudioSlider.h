#pragma once

#include <QSlider>
#include <QString>

namespace quorel {

// The one slider of the interface, on QSlider (Qt's tracking and knob rectangle, our painting).
//
// The float value, range and step are ours; QSlider's integer position only follows them. The
// owner keeps the value ("the binding"): it shows a value with setValue() (shown as it is, even
// off the step grid, never written back), and learns of user input through valueEdited(), which
// carries the snapped, clamped value and fires only when it differs from the shown value by more
// than 0.00001. Input comes from the mouse (a click also focuses), the arrow keys (one increment;
// other keys go to QSlider) and assistive technologies (name = label, value text = the spoken
// value, increase/decrease actions, a value interface that snaps). A disabled slider refuses
// focus, keys, mouse and actions (it then lists no actions).
class StudioSlider : public QSlider {
    Q_OBJECT

public:
    // The integer resolution of QSlider's position.
    static constexpr int resolution = 10000;

    explicit StudioSlider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);
    ~StudioSlider() override;

    // The bound value as shown (may be off the grid, out of range or not finite).
    float value() const { return value_; }
    // Shows `value` from the owner; writes nothing back and emits nothing.
    void setValue(float value);
    float lower() const { return lo_; }
    float upper() const { return hi_; }
    void setValueRange(float lo, float hi);
    float step() const { return step_; }
    void setStep(float step);  // 0 or less: no grid
    QString label() const { return label_; }
    void setLabel(const QString& label);  // already rendered by the caller
    QString unit() const { return unit_; }
    void setUnit(const QString& unit);  // "%" selects percent formatting
    bool isBipolar() const { return bipolar_; }
    void setBipolar(bool bipolar);
    bool isCyan() const { return cyan_; }
    void setCyan(bool cyan);
    bool isCompact() const { return compact_; }
    void setCompact(bool compact);
    bool isVertical() const { return orientation() == Qt::Vertical; }

    // The slider's own position as a float (lo...hi); follows value() unless they already match.
    double nativeValue() const { return native_; }
    // The spoken value in the saved interface language.
    QString spokenValue() const;

    // One arrow key or accessible action; virtual so checks can be tried on faulty sliders.
    virtual double increment() const;
    // Whether input is taken now (false while disabled).
    virtual bool acceptsInput() const;
    // Moves the position by `delta` (clamped) and runs the user-input path; false (and nothing
    // changes) when input is refused.
    virtual bool adjust(double delta);
    bool increase() { return adjust(+increment()); }
    bool decrease() { return adjust(-increment()); }
    // A value from an assistive technology: snapped like any user input; false when refused.
    bool setFromAccessibility(double value);

    // Bar and knob rectangles (widget coordinates) that the drawing works in.
    QRectF barRect() const;
    QRectF knobRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // User input only: the snapped value the binding should take.
    void valueEdited(float value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void userInput(double position);
    void syncPosition();
    int positionFor(double value) const;
    double valueForPosition(int position) const;
    void onSliderValueChanged(int position);
    void announceValue();

    float value_ = 0;
    float lo_ = 0;
    float hi_ = 1;
    float step_ = 0;
    double native_ = 0;
    QString label_;
    QString unit_;
    bool bipolar_ = false;
    bool cyan_ = false;
    bool compact_ = false;
    bool syncing_ = false;
};

}  // namespace quorel
