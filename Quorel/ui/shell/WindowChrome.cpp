#include "WindowChrome.h"

#include "Studio.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cmath>
#include <cstdio>

namespace quorel {

namespace {

constexpr const char* chromeProperty = "quorelWindowChrome";

bool canPlaceWindows()
{
    // Wayland gives clients no say over where a window goes.
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

}  // namespace

WindowChrome::WindowChrome(QWidget* window) : QObject(window), window_(window) {}

WindowChrome* WindowChrome::attach(QWidget* window)
{
    return attach(window, QCoreApplication::arguments().contains(QStringLiteral("--log-stats")));
}

WindowChrome* WindowChrome::attach(QWidget* window, bool logStats)
{
    auto* chrome = new WindowChrome(window);
    window->setWindowTitle(QStringLiteral("Quorel"));
    QPalette p = window->palette();
    p.setColor(QPalette::Window, Studio::background());
    window->setPalette(p);
    window->setAutoFillBackground(true);
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                           | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    window->installEventFilter(chrome);
    // Quitting with the window still open saves too.
    connect(qApp, &QCoreApplication::aboutToQuit, chrome, &WindowChrome::saveGeometry);
    window->setProperty(chromeProperty, true);
    chrome->applyFirstLayoutOrRestore();
    if (logStats) {
        const QByteArray line = stateLine(window).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }
    return chrome;
}

bool WindowChrome::isStyled(const QWidget* window) { return window && window->property(chromeProperty).toBool(); }

QSize WindowChrome::windowSize(const QWidget* window, QSize content)
{
    const auto* main = qobject_cast<const QMainWindow*>(window);
    const QWidget* menu = main ? main->menuWidget() : nullptr;
    const auto* bar = qobject_cast<const QMenuBar*>(menu);
    if (!menu || !menu->isVisibleTo(window) || (bar && bar->isNativeMenuBar())) return content;
    const int height = menu->heightForWidth(content.width());
    return content + QSize(0, height > 0 ? height : menu->sizeHint().height());
}

QString WindowChrome::stateLine(const QWidget* window)
{
    auto truth = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    const Qt::WindowFlags f = window->windowFlags();
    // The desktop draws the title bar: the title shows, the bar is opaque, content starts below it.
    const bool titleHidden = window->windowTitle().isEmpty() || f.testFlag(Qt::FramelessWindowHint);
    const bool transparent = false;
    const bool fullSize = f.testFlag(Qt::FramelessWindowHint);
    const bool decorated = !f.testFlag(Qt::FramelessWindowHint);
    const bool close = decorated && f.testFlag(Qt::WindowCloseButtonHint);
    const bool minimise = decorated && f.testFlag(Qt::WindowMinimizeButtonHint);
    const bool maximise = decorated && f.testFlag(Qt::WindowMaximizeButtonHint);
    const bool movable = window->property(chromeProperty).toBool();
    return QStringLiteral("window chrome: titleHidden=%1 transparent=%2 fullSize=%3 "
                          "buttonsVisible=[%4, %5, %6] movableByBackground=%7")
        .arg(truth(titleHidden), truth(transparent), truth(fullSize), truth(close), truth(minimise), truth(maximise),
             truth(movable));
}

int WindowChrome::storedLayoutVersion(const UserDefaults& store)
{
    const auto n = store.number(QString::fromLatin1(layoutVersionKey));
    if (!n || std::floor(*n) != *n || std::abs(*n) > 1e9) return 0;
    return int(*n);
}

std::optional<QByteArray> WindowChrome::storedGeometry(const UserDefaults& store)
{
    const auto text = store.string(QString::fromLatin1(geometryKey));
    if (!text || text->isEmpty()) return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(text->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty()) return std::nullopt;
    return *decoded;
}

bool WindowChrome::fitsAScreen(const QRect& frame)
{
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(frame)) return true;
    return false;
}

void WindowChrome::applyFirstLayoutOrRestore()
{
    UserDefaults store = UserDefaults::standard();
    if (storedLayoutVersion(store) < layoutVersion) {
        store.setNumber(QString::fromLatin1(layoutVersionKey), layoutVersion);
        firstLayout_ = true;
        QPointer<QWidget> window = window_;
        // After the current pass, as the window gets its first layout.
        QTimer::singleShot(0, window_, [window] {
            if (!window) return;
            window->resize(windowSize(window, firstSize));
            if (!canPlaceWindows()) return;
            QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
            if (!screen) return;
            QRect frame(QPoint(0, 0), window->frameGeometry().size());
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        });
        return;
    }
    const auto geometry = storedGeometry(store);
    if (!geometry || !window_->restoreGeometry(*geometry)) return;
    if (!fitsAScreen(window_->frameGeometry()) && canPlaceWindows()) {
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            QRect frame = window_->frameGeometry();
            frame.setSize(frame.size().boundedTo(primary->availableGeometry().size()));
            frame.moveCenter(primary->availableGeometry().center());
            window_->resize(frame.size() - (window_->frameGeometry().size() - window_->size()));
            window_->move(frame.topLeft());
        }
    }
}

void WindowChrome::saveGeometry()
{
    UserDefaults::standard().setString(QString::fromLatin1(geometryKey),
                                       QString::fromLatin1(window_->saveGeometry().toBase64()));
}

bool WindowChrome::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_) return false;
    if (event->type() == QEvent::Close) {
        saveGeometry();
    } else if (event->type() == QEvent::MouseButtonPress) {
        // Presses that no child took reach the window itself: the background moves the window.
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton && window_->windowHandle()) {
            if (window_->windowHandle()->startSystemMove()) return true;
        }
    }
    return false;
}

}  // namespace quorel
