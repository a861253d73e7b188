#pragma once

#include <QColor>

namespace quorel {

// What a button looks like in a given state.
struct StudioButtonLook {
    QColor text;
    QColor fill;
    QColor border;
    double opacity = 1.0;  // of the whole button
};

// The two button looks: prominent (violet) and plain. Font 12 px medium, padding 12 left and
// right and 8 top and bottom, corner radius 9, a 1 px border inside the edge. Pressing changes
// only the fill; a disabled button is drawn whole at opacity 0.4.
struct StudioButtonStyle {
    static constexpr int fontPixelSize = 12;
    static constexpr int horizontalPadding = 12;
    static constexpr int verticalPadding = 8;
    static constexpr double cornerRadius = 9;

    bool prominent = false;

    StudioButtonLook look(bool pressed, bool enabled) const;
};

}  // namespace quorel
