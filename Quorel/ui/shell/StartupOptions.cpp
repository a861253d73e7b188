#include "StartupOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

namespace quorel {

namespace {

// Reads the options the usage lists into `parser` and returns the "--log-stats" file.
// A word of one dash is one name too ("-h", "-help"), so "-xh" stays unknown. Unknown options
// are ignored (a desktop launcher or a session manager may hand over its own), as is an option
// missing its value.
std::optional<QString> read(QCommandLineParser& parser, QStringList arguments)
{
    // "--log-stats" takes the next argument as its file unless that begins with "--": a value
    // that may be left out, which the parser does not know. It is taken out before parsing, so it
    // is neither a file to open nor an option ("--log-stats -h" writes a file named -h).
    std::optional<QString> logStatsFile;
    const qsizetype at = arguments.indexOf(QStringLiteral("--log-stats"), 1);
    if (at > 0 && at + 1 < arguments.size() && !arguments[at + 1].startsWith(QStringLiteral("--")))
        logStatsFile = arguments.takeAt(at + 1);

    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* flag : {"system", "check-controls", "preview", "no-prime", "log-stats", "version"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(flag)));
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    for (const char* option : {"export-glyph", "snapshot"})
        parser.addOption(QCommandLineOption(QString::fromLatin1(option), QString(), QStringLiteral("FILE")));
    parser.parse(arguments);
    return parser.isSet("log-stats") ? logStatsFile : std::nullopt;
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
    QCommandLineParser parser;
    const std::optional<QString> logStatsFile = read(parser, arguments);
    // An option's value is the one at its first occurrence.
    auto value = [&](const QString& option) -> std::optional<QString> {
        const QStringList values = parser.values(option);
        if (values.isEmpty()) return std::nullopt;
        return values.first();
    };

    StartupOptions options;
    options.system = parser.isSet("system");
    options.checkControls = parser.isSet("check-controls");
    options.preview = parser.isSet("preview");
    options.noPrime = parser.isSet("no-prime");
    options.logStats = parser.isSet("log-stats");
    options.logStatsPath = logStatsFile;
    options.exportGlyphPath = value("export-glyph");
    options.snapshotPath = value("snapshot");

    for (const QString& argument : parser.positionalArguments()) {
        if (argument.isEmpty() || argument.startsWith('-')) continue;  // "-", or after "--"
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
    QCommandLineParser parser;
    read(parser, arguments);
    return parser.isSet("help");
}

bool StartupOptions::asksForVersion(const QStringList& arguments)
{
    QCommandLineParser parser;
    read(parser, arguments);
    return parser.isSet("version");
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
