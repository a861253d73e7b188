#include "StatisticsLine.h"

#include "SystemModel.h"

#include <charconv>

namespace quorel {

namespace {

// "%.1f" without a locale: std::to_chars never reads it, and rounds as printf does.
QString decimal(double value)
{
    char text[64];
    const std::to_chars_result result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 1);
    return QString::fromLatin1(text, result.ptr - text);
}

}  // namespace

QByteArray StatisticsLine::text() const
{
    const QString line =
        QStringLiteral("%1 sys: active=%2 callbacks=%3 rendered=%4s errors=%5 mismatches=%6/%7/%8 overloads=%9 "
                       "in=%10 out=%11 limiter=%12 running=%13 status=%14 error=%15\n")
            .arg(date.toUTC().toString(Qt::ISODate), active ? "1" : "0", QString::number(stats.callbacks),
                 decimal(stats.renderedSeconds()), QString::number(stats.renderErrors),
                 QString::number(stats.inputMismatches), QString::number(stats.outputMismatches),
                 QString::number(stats.oversizedBuffers), QString::number(stats.overloads))
            .arg(decimal(inputDB), decimal(outputDB), decimal(limiterDB),
                 sourceRunning ? (*sourceRunning ? "1" : "0") : "-", status, error ? *error : QString("-"));
    return line.toUtf8();
}

StatisticsLine StatisticsLine::read(const SystemModel& system, const QDateTime& now)
{
    StatisticsLine line;
    line.date = now;
    line.active = system.isActive();
    line.stats = system.stats();
    line.inputDB = system.meters().inputDB;
    line.outputDB = system.meters().outputDB;
    line.limiterDB = system.meters().limiterDB;
    line.sourceRunning = system.isSourceRunningSomewhere();
    line.status = system.status().text();
    if (system.errorMessage()) line.error = system.errorMessage()->text();
    return line;
}

}  // namespace quorel
