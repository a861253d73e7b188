#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QWidget;

namespace quorel {

class UserDefaults;

// Styles a top-level window the way the interface wants it, while the desktop keeps drawing
// the title bar and buttons: title "Quorel", Studio background, close/minimise/maximise hints,
// dragging by the background (QWindow::startSystemMove), the first-layout rule (content of
// 1120 x 640, a menu bar not counted; centred where the platform lets us place windows, once
// per layout version), and the window
// geometry saved under "Quorel.WindowGeometry" on close (and on quit) and restored at the next start.
// Lives as a child of the window.
class WindowChrome : public QObject {
    Q_OBJECT

public:
    static constexpr int layoutVersion = 3;
    static constexpr const char* layoutVersionKey = "Corvanta.WindowLayout.version";
    static constexpr const char* geometryKey = "Quorel.WindowGeometry";
    static constexpr QSize firstSize{1120, 640};

    // Applies the chrome to `window` (a top-level widget) before it is shown. With `logStats`
    // the state line is printed to standard output at once.
    static WindowChrome* attach(QWidget* window, bool logStats);
    // The same, reading "--log-stats" from the application's arguments.
    static WindowChrome* attach(QWidget* window);

    // Whether `window` is one the chrome styles: the application's main window.
    static bool isStyled(const QWidget* window);
    // The window size that gives `content` to the window's content: a main window's menu bar
    // (drawn inside the window) comes on top.
    static QSize windowSize(const QWidget* window, QSize content);

    // "window chrome: titleHidden=... movableByBackground=..." for the window as it is.
    static QString stateLine(const QWidget* window);

    // The stored layout version (a missing or unreadable value counts as 0).
    static int storedLayoutVersion(const UserDefaults& store);
    // The stored geometry, if present and readable.
    static std::optional<QByteArray> storedGeometry(const UserDefaults& store);
    // Whether `frame` lies on some current screen (intersects its available area).
    static bool fitsAScreen(const QRect& frame);

    // Saves the window's geometry now (also done on close and when the application quits).
    void saveGeometry();
    bool firstLayoutScheduled() const { return firstLayout_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowChrome(QWidget* window);
    void applyFirstLayoutOrRestore();

    QWidget* window_;
    bool firstLayout_ = false;
};

}  // namespace quorel
