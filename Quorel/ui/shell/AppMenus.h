#pragma once

#include <QObject>

#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace quorel {

class BoostModel;
class UpdateChecker;

// The main window's menus: "Quorel" (check for updates, close window, quit), "Processing"
// (the processing switch, the A/B comparison, system volume to maximum, reset) and "Section"
// (one page per Ctrl+1 to Ctrl+5), every text with a mnemonic; F10 opens the first menu.
// Texts follow the language, the first "Processing" item follows the system model's activity
// and the volume item follows whether the output's volume can be set, all live. No command
// opens a new window.
class AppMenus : public QObject {
    Q_OBJECT
public:
    AppMenus(BoostModel& model, UpdateChecker& updater, QMenuBar* bar, QWidget* window);

    QMenu* applicationMenu() const { return application_; }
    QMenu* processingMenu() const { return processing_; }
    QMenu* sectionMenu() const { return section_; }
    QAction* checkForUpdatesAction() const { return checkUpdates_; }
    QAction* closeWindowAction() const { return closeWindow_; }
    QAction* quitAction() const { return quit_; }
    QAction* toggleAction() const { return toggle_; }
    QAction* compareAction() const { return compare_; }
    QAction* volumeAction() const { return volume_; }
    QAction* resetAction() const { return reset_; }
    QAction* openMenuBarAction() const { return openMenuBar_; }
    const std::vector<QAction*>& sectionActions() const { return sections_; }

    void refresh();

signals:
    // Quit (Ctrl+Q): the application shuts processing down (the stored choice stays) and ends.
    void quitRequested();

private:
    BoostModel& model_;
    UpdateChecker& updater_;
    QWidget* window_;
    QMenu* application_;
    QMenu* processing_;
    QMenu* section_;
    QAction* checkUpdates_;
    QAction* closeWindow_;
    QAction* quit_;
    QAction* toggle_;
    QAction* compare_;
    QAction* volume_;
    QAction* reset_;
    QAction* openMenuBar_;
    std::vector<QAction*> sections_;
};

}  // namespace quorel
