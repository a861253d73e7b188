#pragma once

#include <QAbstractButton>

namespace quorel {

// A switch-style toggle: a 32 x 18 capsule, violet with the knob at the right when on. Its
// state is shown with setChecked() (which writes nothing anywhere); a user's click toggles it
// and emits clicked(bool), the one signal owners write from. Assistive technologies see a
// check box with the accessible name the owner sets.
class StudioSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit StudioSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {32, 18}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quorel
