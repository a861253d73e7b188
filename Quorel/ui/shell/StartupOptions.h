#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace quorel {

// The command-line options, read once from the process's argument list (the first element is
// the executable) by QCommandLineParser: "--name" or "-name". An option's value is the argument
// right after its first occurrence, whatever it begins with ("--snapshot=FILE" too); the
// "--log-stats" file only when it does not begin with "--". Unknown arguments are ignored.
struct StartupOptions {
    bool system = false;                     // "--system": turn processing on 0.6 s after start
    bool checkControls = false;              // "--check-controls": run the control self-check, then quit
    bool preview = false;                    // "--preview": demonstration values, no audio
    bool noPrime = false;                    // "--no-prime": no wake-up playback
    bool logStats = false;                   // "--log-stats": a statistics line every 2 s
    std::optional<QString> logStatsPath;     // its file; none: standard output
    std::optional<QString> exportGlyphPath;  // "--export-glyph" FILE
    std::optional<QString> snapshotPath;     // "--snapshot" FILE
    // "quorel:" and "corvanta:" URLs, "file:" URLs and plain paths among the arguments, in order.
    // URLs of other schemes ("https:", "mailto:") are left out; option values are never taken
    // for files.
    QList<QUrl> urls;

    static StartupOptions parse(const QStringList& arguments);
    // Whether an argument asks for the usage ("--help" or "-h"): answered before anything starts.
    static bool asksForHelp(const QStringList& arguments);
    // Whether an argument asks for the version ("--version"): answered right after the usage.
    static bool asksForVersion(const QStringList& arguments);
    // The usage: every option and the URL and file arguments, one per line.
    static QString helpText();

    // Whether this launch may run beside a running instance (it never drives the audio then
    // either: a design preview or a self-check).
    bool standsAlone() const { return preview || checkControls; }
    // Whether an option reports on this very process ("--snapshot", "--log-stats"): beside a
    // running instance such a launch has nothing to report on.
    bool describesItsOwnProcess() const { return snapshotPath.has_value() || logStats; }
};

}  // namespace quorel
