#include "DesignCommands.h"

#include "AtomicFile.h"
#include "Brand.h"
#include "ControlChecks.h"
#include "L10n.h"
#include "UserFile.h"

#include <QBuffer>
#include <QImageWriter>

#include <cstdio>
#include <cstring>

namespace quorel::DesignCommands {

bool wanted(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--check-controls") == 0 || std::strcmp(argv[i], "--export-glyph") == 0) return true;
    return false;
}

bool exportGlyph(const QString& path)
{
    // Other failures stay silent; a FIFO or a device in the way is told, and left as it is.
    if (const std::optional<LocalizedMessage> refused = UserFile::refusedTarget(path)) {
        const QString message = L10n::text("Could not write {0}: {1}", L10n::language(), path, refused->text());
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        std::fflush(stderr);
        return false;
    }
    QImage glyph = Brand::templateImage(144, 1.0);
    glyph.setDevicePixelRatio(1.0);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setText(QStringLiteral("Description"), QStringLiteral("Quorel"));
        if (!writer.write(glyph)) return false;
    }
    return !AtomicFile::write(path, png);
}

std::optional<int> run(const QStringList& arguments)
{
    bool handled = false;
    if (arguments.contains(QStringLiteral("--check-controls"))) {
        if (ControlChecks::run() != 0) return 1;
        handled = true;
    }
    const qsizetype at = arguments.indexOf(QStringLiteral("--export-glyph"));
    if (at >= 0) {
        // The path is the next argument, whatever it begins with; export failures are silent.
        if (at + 1 < arguments.size()) exportGlyph(arguments.at(at + 1));
        handled = true;
    }
    if (!handled) return std::nullopt;
    return 0;
}

}  // namespace quorel::DesignCommands
