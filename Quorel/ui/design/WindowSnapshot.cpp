#include "WindowSnapshot.h"

#include "L10n.h"
#include "UserFile.h"

#include <QApplication>
#include <QBuffer>
#include <QPixmap>
#include <QWidget>

namespace {
// The shell marks its main window with this property when it dresses it.
bool isMainWindow(const QWidget* window) { return window && window->property("quorelWindowChrome").toBool(); }
}  // namespace

namespace quorel::WindowSnapshot {

namespace {

void write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The main window (the one the chrome styles) while it is visible: the active one first. Never
// another window (the tray icon's, a popup panel, a dialog): hidden, the main window has no
// picture to give.
QWidget* chooseWindow()
{
    QWidget* active = QApplication::activeWindow();
    if (active && active->isVisible() && isMainWindow(active)) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isWindow() && isMainWindow(w)) return w;
    return nullptr;
}

}  // namespace

bool save(const QString& path) { return save(path, stdout, stderr); }

bool save(const QString& path, std::FILE* out, std::FILE* err)
{
    QWidget* window = chooseWindow();
    const QPixmap image = window ? window->grab() : QPixmap();
    if (!window || image.isNull()) {
        write(err, L10n::render(QStringLiteral("snapshot: no visible window\n"), {}, L10n::language()));
        return false;
    }
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG") || png.isEmpty()) return false;
    }
    if (const std::optional<QString> reason = UserFile::write(path, png)) {
        write(err, QStringLiteral("snapshot: ") + *reason + QStringLiteral("\n"));
        return false;
    }
    write(out, QStringLiteral("snapshot: ") + path + QStringLiteral("\n"));
    return true;
}

}  // namespace quorel::WindowSnapshot
