#include "StartupOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace quorel {

namespace {

// The options that take the next argument as their value. "--log-stats" takes it only when it
// does not begin with "--".
bool takesValue(const QString& option, const QString& next)
{
    if (option == "--export-glyph" || option == "--snapshot") return true;
    if (option == "--log-stats") return !next.startsWith("--");
    return false;
}

bool isCommandURL(const QString& argument)
{
    return argument.startsWith("quorel:", Qt::CaseInsensitive) || argument.startsWith("corvanta:", Qt::CaseInsensitive);
}

// "scheme:..." with a scheme as URLs spell it: a letter, then letters, digits, "+", "-" or ".".
bool hasScheme(const QString& argument)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    return scheme.match(argument).hasMatch();
}

}  // namespace

StartupOptions StartupOptions::parse(const QStringList& arguments)
{
    StartupOptions options;
    auto valueAfter = [&](const QString& option) -> std::optional<QString> {
        const qsizetype at = arguments.indexOf(option, 1);
        if (at < 0 || at + 1 >= arguments.size()) return std::nullopt;
        return arguments[at + 1];
    };

    options.system = arguments.indexOf("--system", 1) >= 0;
    options.checkControls = arguments.indexOf("--check-controls", 1) >= 0;
    options.preview = arguments.indexOf("--preview", 1) >= 0;
    options.noPrime = arguments.indexOf("--no-prime", 1) >= 0;
    options.logStats = arguments.indexOf("--log-stats", 1) >= 0;
    if (options.logStats) {
        if (auto path = valueAfter("--log-stats"); path && !path->startsWith("--")) options.logStatsPath = path;
    }
    options.exportGlyphPath = valueAfter("--export-glyph");
    options.snapshotPath = valueAfter("--snapshot");

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (i + 1 < arguments.size() && takesValue(argument, arguments[i + 1])) {
            ++i;  // the option's value, never a file
            continue;
        }
        if (argument.isEmpty() || argument.startsWith('-')) continue;
        if (isCommandURL(argument)) {
            options.urls.append(QUrl(argument));
        } else if (argument.startsWith("file:", Qt::CaseInsensitive)) {
            options.urls.append(QUrl(argument));
        } else if (hasScheme(argument) && !QFileInfo::exists(argument)) {
            continue;  // a URL of another scheme (https:, mailto:): not ours, ignored
        } else {
            options.urls.append(QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath()));
        }
    }
    return options;
}

bool StartupOptions::asksForHelp(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (i + 1 < arguments.size() && takesValue(arguments[i], arguments[i + 1]))
            ++i;  // the option's value ("--snapshot -h" writes a file named -h)
        else if (arguments[i] == "--help" || arguments[i] == "-h")
            return true;
    }
    return false;
}

QString StartupOptions::helpText()
{
    return QStringLiteral("Usage: quorel [OPTION...] [quorel:URL | FILE...]\n"
                          "\n"
                          "Processes all system audio through Quorel's chain.\n"
                          "\n"
                          "Options:\n"
                          "  --system             turn processing on after start\n"
                          "  --preview            show the window with demonstration values, no audio\n"
                          "  --no-prime           no wake-up playback at start\n"
                          "  --check-controls     run the slider self-check, then quit\n"
                          "  --log-stats [FILE]   write a statistics line every 2 s (to FILE, else standard output)\n"
                          "  --export-glyph FILE  write the application glyph to FILE\n"
                          "  --snapshot FILE      write a picture of the window to FILE\n"
                          "  --version            print the version and quit\n"
                          "  -h, --help           print this help and quit\n"
                          "\n"
                          "Arguments:\n"
                          "  quorel:URL           a command such as quorel://on, quorel://off or quorel://toggle\n"
                          "  FILE                 a preset file to import\n"
                          "\n"
                          "While Quorel runs, starting it again hands its URL or file to the running instance.\n");
}

}  // namespace quorel
