#pragma once

#include "QRSystemIOStats.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace quorel {

class SystemModel;

// The values of one "--log-stats" line, read from the system model when the line is built.
struct StatisticsLine {
    QDateTime date;
    bool active = false;
    QRSystemIOStats stats;  // as the engine gave it
    float inputDB = -120;
    float outputDB = -120;
    float limiterDB = 0;
    std::optional<bool> sourceRunning;  // none: the engine cannot tell
    QString status;
    std::optional<QString> error;

    // The line with its newline. Numbers are written in the C locale whatever the process's
    // locale is; the date is UTC ISO 8601 ("2026-12-08T10:00:00Z").
    QByteArray text() const;

    static StatisticsLine read(const SystemModel& system, const QDateTime& now);
};

}  // namespace quorel
