#pragma once

#include "AutomationModel.h"
#include "BuiltInPresets.h"
#include "ManualClock.h"
#include "PanelsTest.h"
#include "PresetLibrary.h"
#include "SystemBoostEngine.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

namespace quorel::test {

// The shared root-model fixture with a window to show a page in and its pictures.
class PagesTest : public PanelsTest {
protected:
    ~PagesTest() override { window.reset(); }

    // A new root model; the window of the one before goes first.
    BoostModel& make()
    {
        window.reset();
        return PanelsTest::make();
    }
    // Shows `widget` at `width` in a window of the studio background and lays it out.
    void show(QWidget* widget, int width);
    // The widget's picture, saved as snapshots/<name>-<language>.png in the build tree, with what
    // it shows checked (expectDrawn).
    QImage snapshot(QWidget* widget, const QString& name);

    std::unique_ptr<QWidget> window;
};

}  // namespace quorel::test
