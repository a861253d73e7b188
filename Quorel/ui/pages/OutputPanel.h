#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace quorel {

class PanelHeading;
class StudioButton;
class StudioSlider;
class SymbolView;
class SystemModel;
class SystemVolumeController;

// The Output page's first card: the device that processed audio plays to (picker with "System
// default", the devices and a disconnected stored choice), the device the capture reads from,
// the sound-server restart while advised, and the system volume of the followed device with
// its slider and "Maximum". Holds no state; every action is one call on the models. The
// picker and the slider write only on the user's action, never while the card follows a change.
class OutputPanel : public QWidget {
    Q_OBJECT
public:
    // `volume` may be null (no volume control): the volume column is then disabled.
    OutputPanel(SystemModel& system, SystemVolumeController* volume, QWidget* parent = nullptr);

    SymbolView* deviceSymbol() const { return symbol_; }
    QLabel* deviceName() const { return name_; }
    QLabel* sourceLine() const { return source_; }
    QComboBox* picker() const { return picker_; }
    StudioButton* restartButton() const { return restart_; }
    QLabel* capturing() const { return capturing_; }
    QLabel* volumeTitle() const { return volumeTitle_; }
    QLabel* volumeValue() const { return volumeValue_; }
    StudioSlider* volumeSlider() const { return slider_; }
    QLabel* volumeHint() const { return hint_; }
    QPushButton* maximumButton() const { return maximum_; }

    void refresh();

private:
    void refreshPicker();
    void pick(int index);

    SystemModel& system_;
    SystemVolumeController* volume_;
    PanelHeading* heading_;
    SymbolView* symbol_;
    QLabel* name_;
    QLabel* source_;
    QComboBox* picker_;
    StudioButton* restart_;
    QLabel* capturing_;
    QLabel* volumeTitle_;
    QLabel* volumeValue_;
    StudioSlider* slider_;
    QLabel* hint_;
    QPushButton* maximum_;
};

}  // namespace quorel
