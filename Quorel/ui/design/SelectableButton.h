#pragma once

#include <QAbstractButton>

namespace quorel {

// A button that can stand selected among its siblings (a sidebar row, a switch segment):
// assistive technologies see it as a selectable button whose selected state follows
// isSelected(). Subclasses draw it.
class SelectableButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SelectableButton(QWidget* parent = nullptr);

    bool isSelected() const { return selected_; }
    void setSelected(bool selected);

    bool isHovered() const { return hovered_; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool selected_ = false;
    bool hovered_ = false;
};

}  // namespace quorel
