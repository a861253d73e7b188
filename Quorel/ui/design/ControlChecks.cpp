#include "ControlChecks.h"

#include "L10n.h"
#include "StudioSlider.h"
#include "UserFile.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSlider>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <memory>

namespace quorel::ControlChecks {

namespace {

// The first slider in the tree, depth first, pre-order.
QSlider* findSlider(QObject* node)
{
    if (auto* slider = qobject_cast<QSlider*>(node)) return slider;
    for (QObject* child : node->children())
        if (QSlider* found = findSlider(child)) return found;
    return nullptr;
}

// An accessible action as assistive technologies perform it; false when the slider does not
// offer the action (a disabled slider offers none).
bool perform(QWidget* slider, const QString& action)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(slider);
    QAccessibleActionInterface* actions = iface ? iface->actionInterface() : nullptr;
    if (!actions || !actions->actionNames().contains(action)) return false;
    actions->doAction(action);
    return true;
}

bool near(float value, float expected) { return std::abs(value - expected) <= 0.001f; }

}  // namespace

int check(const SliderFactory& factory)
{
    float bound = 6.0f;

    // A window that is never shown, 200 x 30, holding the slider.
    auto window = std::make_unique<QWidget>();
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->resize(200, 30);
    QWidget* made = nullptr;
    if (factory) {
        made = factory(window.get());
    } else {
        auto* slider = new StudioSlider(Qt::Horizontal, window.get());
        slider->setLabel(QStringLiteral("Boost"));
        slider->setUnit(QStringLiteral("dB"));
        made = slider;
    }
    if (made) made->setGeometry(0, 0, 200, 30);

    auto* slider = qobject_cast<StudioSlider*>(findSlider(window.get()));
    if (!slider) return noSlider;
    slider->setValueRange(0, 12);
    slider->setStep(0.5f);
    slider->setCyan(false);
    slider->setBipolar(false);
    slider->setCompact(false);
    slider->setEnabled(true);
    slider->setValue(bound);
    QObject::connect(slider, &StudioSlider::valueEdited, slider, [&bound, slider](float v) {
        bound = v;
        slider->setValue(v);  // the owner's update
    });

    const QString increase = QAccessibleActionInterface::increaseAction();
    const QString decrease = QAccessibleActionInterface::decreaseAction();

    // 1. Increment by one step.
    if (!perform(slider, increase) || !near(bound, 6.5f)) return 1;
    // 2. Decrement back.
    if (!perform(slider, decrease) || !near(bound, 6.0f)) return 2;
    // 3. Keyboard focus: the window gives it only to a slider that takes focus.
    if (slider->focusPolicy() != Qt::NoFocus) slider->setFocus(Qt::OtherFocusReason);
    if (window->focusWidget() != slider) return 3;
    // 4. The right arrow key.
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QCoreApplication::sendEvent(slider, &right);
    if (!near(bound, 6.5f)) return 4;
    // 5. The limits, exactly.
    for (int i = 0; i < 40; ++i) perform(slider, increase);
    if (bound != 12.0f) return 5;
    for (int i = 0; i < 40; ++i) perform(slider, decrease);
    if (bound != 0.0f) return 5;
    // 6. Disabled: the action is refused and nothing moves.
    slider->setEnabled(false);
    if (perform(slider, increase) || bound != 0.0f) return 6;
    return 0;
}

QString resultFolder(const QString& executableFolder)
{
    if (QFileInfo(executableFolder).isDir() && QFileInfo(executableFolder).isWritable()) return executableFolder;
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Quorel");
}

int run(const QString& resultFolder, std::FILE* out, std::FILE* err)
{
    const int failed = check();
    if (failed == noSlider) qFatal("Slider ausente na hierarquia de widgets");
    if (failed != 0) return 1;

    const QByteArray line = QByteArray(successLine);
    std::fwrite(line.constData(), 1, size_t(line.size()), out);
    std::fputs("\n", out);
    std::fflush(out);

    const QString path = QDir(resultFolder).filePath(QString::fromLatin1(resultFileName));
    if (const std::optional<QString> reason = UserFile::write(path, line)) {
        const QString message = L10n::text("Could not write {0}: {1}", L10n::language(), path, *reason);
        std::fprintf(err, "%s\n", message.toUtf8().constData());
        std::fflush(err);
        return 1;
    }
    return 0;
}

int run()
{
    const QString folder = resultFolder(QCoreApplication::applicationDirPath());
    QDir().mkpath(folder);
    return run(folder);
}

}  // namespace quorel::ControlChecks
