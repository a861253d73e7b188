#include "DesignCommands.h"

#include "AtomicFile.h"
#include "Brand.h"
#include "ControlChecks.h"

#include <QBuffer>
#include <QImageWriter>

#include <cstring>

namespace quorel::DesignCommands {

bool wanted(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--check-controls") == 0 || std::strcmp(argv[i], "--export-glyph") == 0)
            return true;
    return false;
}

bool exportGlyph(const QString& path)
{
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
