#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QAbstractButton;
class QMenu;
class QPushButton;

namespace quorel {

class BoostModel;
class ComparisonSwitch;
class PowerButton;
class PresetMenuButton;
class StudioButton;
class StudioSlider;
struct DSPSettings;

// The tray panel: processing on and off, Boost, Loudness, Drive and Auto level, the preset,
// the A/B comparison, a way to the main window and Quit. Keeps no state: everything is read
// from the models when they change, and every control writes straight back to them.
class MenuBarPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 340;

    explicit MenuBarPanel(BoostModel& model, QWidget* parent = nullptr);

    // The status line under the product name.
    QString statusText() const;
    QColor statusDotColour() const;
    // The value texts of the four rows, in order (Boost, Loudness, Drive, Auto level).
    QStringList valueTexts() const;
    StudioSlider* slider(int row) const;
    PowerButton* powerButton() const { return power_; }
    PresetMenuButton* presetButton() const { return presetButton_; }
    ComparisonSwitch* comparisonSwitch() const { return comparison_; }
    StudioButton* openButton() const { return open_; }
    QAbstractButton* quitButton() const;
    // The preset menu as it would open now.
    QMenu* presetMenu() const;

    void refresh();

    // "0.125" as "13%": the value times 100, rounded half away from zero, then "%".
    static QString percentText(float value);

signals:
    // "Open Quorel": the application shows the main window and brings it forward.
    void openRequested();
    // "Quit", after the system model's shutdown().
    void quitRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Row {
        QLabel* title;
        QLabel* value;
        StudioSlider* slider;
        float DSPSettings::*field;
        const char* titleKey;
    };

    void addRow(const char* titleKey, float DSPSettings::*field, float lo, float hi, float step, const QString& unit);
    void rebuildPresetMenu();

    BoostModel& model_;
    QLabel* statusText_;
    QWidget* statusDot_;
    PowerButton* power_;
    std::vector<Row> rows_;
    PresetMenuButton* presetButton_;
    QMenu* presetMenu_;
    ComparisonSwitch* comparison_;
    StudioButton* open_;
    QPushButton* quit_;
};

}  // namespace quorel
