#include "StudioSlider.h"

#include "LocalizationModel.h"
#include "TestSupport.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace quorel;

namespace {

// A slider in a shown window, bound to `bound` the way an owner binds it.
struct Rig {
    QWidget window;
    StudioSlider* slider;
    QPushButton* other;
    float bound = 6.0f;
    int writes = 0;

    explicit Rig(Qt::Orientation orientation = Qt::Horizontal, float lo = 0, float hi = 12, float step = 0.5f)
    {
        other = new QPushButton("other", &window);
        other->setGeometry(10, 220, 80, 30);
        slider = new StudioSlider(orientation, &window);
        slider->setValueRange(lo, hi);
        slider->setStep(step);
        slider->setLabel("Boost");
        slider->setUnit("dB");
        slider->setValue(bound);
        if (orientation == Qt::Horizontal)
            slider->setGeometry(10, 10, 200, 30);
        else
            slider->setGeometry(10, 10, 40, 200);
        window.resize(260, 260);
        QObject::connect(slider, &StudioSlider::valueEdited, slider, [this](float v) {
            bound = v;
            ++writes;
            slider->setValue(v);
        });
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        other->setFocus();
    }

    QAccessibleInterface* accessible() const { return QAccessible::queryAccessibleInterface(slider); }
    QStringList actions() const { return accessible()->actionInterface()->actionNames(); }
    void act(const QString& name) const { accessible()->actionInterface()->doAction(name); }
};

const QString increase = QAccessibleActionInterface::increaseAction();
const QString decrease = QAccessibleActionInterface::decreaseAction();

}  // namespace

TEST(StudioSlider, AccessibleActionsMoveByOneStep)
{
    test::TemporaryHome home;
    Rig rig;
    ASSERT_TRUE(rig.actions().contains(increase));
    rig.act(increase);
    EXPECT_FLOAT_EQ(rig.bound, 6.5f);
    rig.act(decrease);
    EXPECT_FLOAT_EQ(rig.bound, 6.0f);
    for (int i = 0; i < 40; ++i) rig.act(increase);
    EXPECT_EQ(rig.bound, 12.0f);
    for (int i = 0; i < 40; ++i) rig.act(decrease);
    EXPECT_EQ(rig.bound, 0.0f);
}

TEST(StudioSlider, ArrowKeysMoveByTheIncrementAndOtherKeysGoToTheSlider)
{
    test::TemporaryHome home;
    Rig rig;
    rig.slider->setFocus();
    QTest::keyClick(rig.slider, Qt::Key_Right);
    EXPECT_FLOAT_EQ(rig.bound, 6.5f);
    QTest::keyClick(rig.slider, Qt::Key_Up);
    EXPECT_FLOAT_EQ(rig.bound, 7.0f);
    QTest::keyClick(rig.slider, Qt::Key_Left);
    QTest::keyClick(rig.slider, Qt::Key_Down);
    EXPECT_FLOAT_EQ(rig.bound, 6.0f);
    QTest::keyClick(rig.slider, Qt::Key_End);
    EXPECT_EQ(rig.bound, 12.0f);
    QTest::keyClick(rig.slider, Qt::Key_Home);
    EXPECT_EQ(rig.bound, 0.0f);
}

TEST(StudioSlider, AClickFocusesAndSetsASnappedValue)
{
    test::TemporaryHome home;
    Rig rig;
    ASSERT_FALSE(rig.slider->hasFocus());
    const QRectF bar = rig.slider->barRect();
    // A quarter of the way along the track: 3.0 after snapping to the 0.5 grid.
    const QPoint at(int(bar.left() + 2 + (bar.width() - 4) * 0.26), rig.slider->height() / 2);
    QTest::mouseClick(rig.slider, Qt::LeftButton, {}, at);
    EXPECT_TRUE(rig.slider->hasFocus());
    EXPECT_EQ(rig.bound, 3.0f);
    // Dragging to the far end ends on the upper bound.
    QTest::mousePress(rig.slider, Qt::LeftButton, {}, at);
    QMouseEvent move(QEvent::MouseMove, QPointF(rig.slider->width() + 40, at.y()),
                     rig.slider->mapToGlobal(QPointF(rig.slider->width() + 40, at.y())), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(rig.slider, &move);
    QTest::mouseRelease(rig.slider, Qt::LeftButton, {}, QPoint(rig.slider->width() - 1, at.y()));
    EXPECT_EQ(rig.bound, 12.0f);
}

TEST(StudioSlider, VerticalFaderGoesUpWithHigherValues)
{
    test::TemporaryHome home;
    Rig rig(Qt::Vertical, -12, 12, 0.5f);
    rig.slider->setValue(0);
    const double middle = rig.slider->knobRect().center().y();
    rig.slider->setValue(6);
    EXPECT_LT(rig.slider->knobRect().center().y(), middle);
    const QRectF bar = rig.slider->barRect();
    QTest::mouseClick(rig.slider, Qt::LeftButton, {}, QPoint(20, int(bar.top() + 5 + 1)));
    EXPECT_EQ(rig.bound, 12.0f);
}

TEST(StudioSlider, DisabledRefusesActionsKeysAndMouse)
{
    test::TemporaryHome home;
    Rig rig;
    rig.slider->setEnabled(false);
    EXPECT_TRUE(rig.actions().isEmpty());
    rig.act(increase);
    EXPECT_FALSE(rig.slider->increase());
    rig.accessible()->valueInterface()->setCurrentValue(9.0);
    rig.slider->setFocus();
    EXPECT_FALSE(rig.slider->hasFocus());
    QTest::keyClick(rig.slider, Qt::Key_Right);
    QTest::keyClick(rig.slider, Qt::Key_End);
    QTest::mouseClick(rig.slider, Qt::LeftButton, {}, QPoint(rig.slider->width() - 2, 15));
    EXPECT_EQ(rig.bound, 6.0f);
    EXPECT_EQ(rig.writes, 0);
    EXPECT_TRUE(rig.accessible()->state().disabled);
}

TEST(StudioSlider, AValueFromTheOwnerStaysAsItIs)
{
    test::TemporaryHome home;
    Rig rig;
    QSignalSpy edits(rig.slider, &StudioSlider::valueEdited);
    rig.slider->setValue(-2.3f);
    EXPECT_EQ(rig.slider->value(), -2.3f);      // off the grid and below the range, still shown as given
    EXPECT_EQ(rig.slider->nativeValue(), 0.0);  // drawn clamped
    rig.slider->setValueRange(-6, 6);
    rig.slider->setValue(-2.3f);
    EXPECT_NEAR(rig.slider->nativeValue(), -2.3, 1e-6);
    rig.slider->repaint();
    EXPECT_EQ(edits.count(), 0);
    EXPECT_EQ(rig.slider->value(), -2.3f);
    rig.slider->setValue(std::nanf(""));
    rig.slider->repaint();
    EXPECT_EQ(edits.count(), 0);
}

TEST(StudioSlider, ANearlyEqualValueDoesNotMoveTheKnob)
{
    test::TemporaryHome home;
    Rig rig(Qt::Horizontal, 0, 12, 0);
    rig.slider->setValue(3.0f);
    rig.slider->setValue(3.000005f);
    EXPECT_DOUBLE_EQ(rig.slider->nativeValue(), 3.0);
    rig.slider->setValue(3.5f);
    EXPECT_DOUBLE_EQ(rig.slider->nativeValue(), 3.5);
}

TEST(StudioSlider, StepZeroMovesUnsnapped)
{
    test::TemporaryHome home;
    Rig rig(Qt::Horizontal, 10, 300, 0);
    rig.slider->setValue(10);
    rig.bound = 10;
    EXPECT_DOUBLE_EQ(rig.slider->increment(), 2.9);
    rig.act(increase);
    EXPECT_FLOAT_EQ(rig.bound, 12.9f);
}

TEST(StudioSlider, ValueInterfaceSnapsLikeUserInput)
{
    test::TemporaryHome home;
    Rig rig;
    QAccessibleValueInterface* value = rig.accessible()->valueInterface();
    ASSERT_NE(value, nullptr);
    value->setCurrentValue(3.3);
    EXPECT_EQ(rig.bound, 3.5f);
    value->setCurrentValue(99.0);
    EXPECT_EQ(rig.bound, 12.0f);
    EXPECT_DOUBLE_EQ(value->minimumValue().toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 12.0);
    EXPECT_DOUBLE_EQ(value->minimumStepSize().toDouble(), 0.5);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 12.0);
}

TEST(StudioSlider, AccessibleNameAndValueInBothLanguages)
{
    test::TemporaryHome home;
    Rig rig;
    auto* iface = rig.accessible();
    // The description carries the spoken value too: the AT-SPI bridge publishes no value text.
    EXPECT_EQ(iface->role(), QAccessible::Slider);
    EXPECT_EQ(iface->text(QAccessible::Name), "Boost");
    EXPECT_EQ(iface->text(QAccessible::Value), "6.0 dB");
    EXPECT_EQ(iface->text(QAccessible::Description), "6.0 dB");
    LocalizationModel::shared().setLanguage(AppLanguage::portuguese);
    rig.slider->setLabel("Reforço");
    EXPECT_EQ(iface->text(QAccessible::Name), "Reforço");
    EXPECT_EQ(iface->text(QAccessible::Value), "6,0 dB");
    EXPECT_EQ(iface->text(QAccessible::Description), "6,0 dB");
    rig.slider->setUnit("%");
    rig.slider->setValueRange(0, 1);
    rig.slider->setValue(0.125f);
    EXPECT_EQ(iface->text(QAccessible::Value), "13%");
    EXPECT_EQ(iface->text(QAccessible::Description), "13%");
    LocalizationModel::shared().setLanguage(AppLanguage::english);
}

TEST(StudioSlider, DrawsAFocusRing)
{
    test::TemporaryHome home;
    Rig rig;
    const QImage before = rig.slider->grab().toImage();
    rig.slider->setFocus();
    ASSERT_TRUE(rig.slider->hasFocus());
    const QImage after = rig.slider->grab().toImage();
    EXPECT_NE(before, after);
}
