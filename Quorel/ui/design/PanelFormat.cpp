#include "PanelFormat.h"

#include "HeadphoneProfile.h"
#include "L10n.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace quorel::PanelFormat {

QString printf(const char* format, ...)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const locale_t previous = uselocale(cLocale);
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    uselocale(previous);
    if (length < 0) return QString();
    return QString::fromUtf8(text, std::min<qsizetype>(length, qsizetype(sizeof text) - 1));
}

float dialAngle(float decibels) { return -135.0f + 22.5f * decibels; }

int litTickLimit(float decibels) { return static_cast<int>(decibels * 3.0f); }

bool isTallTick(int tick) { return tick % 6 == 0; }

bool driveShaping(bool active, float driveAmount, float driveActivity)
{
    const float threshold = driveAmount * -0.5f + 1.0f;
    return active && driveAmount > 0 && driveActivity > threshold;
}

// In single precision, so an amount written as a decimal half (0.575) reads as that half (58%).
int percent(float amount) { return static_cast<int>(std::lround(amount * 100.0f)); }

QString percentText(float amount)
{
    if (!std::isfinite(amount * 100.0f)) return QStringLiteral("%");
    return QString::number(percent(amount)) + u'%';
}

QString signedNumber(float value, int digits, AppLanguage language)
{
    const QString text = L10n::number(value, digits, language);
    if (std::isnan(value) || text.startsWith(u'-')) return text;
    return u'+' + text;
}

QString levelerReadout(bool measuring, float loudness, float gain, AppLanguage language)
{
    if (!measuring) return L10n::text(QStringLiteral("waiting for sound"), language);
    return L10n::text(QStringLiteral("{0} LUFS · {1} dB"), language, L10n::number(loudness, 0, language),
                      signedNumber(gain, 1, language));
}

float segmentThreshold(int segment) { return -60.0f + 2.5f * static_cast<float>(segment); }

bool segmentLit(float level, int segment) { return level > segmentThreshold(segment); }

QString levelText(float level, AppLanguage language)
{
    if (level <= -119) return QStringLiteral("\u2212\u221E");
    return L10n::number(level, 1, language);
}

bool reductionWarning(float limiterDB) { return limiterDB < -6; }

QString deviceSymbol(const QString& deviceName)
{
    const QString name = deviceName.toLower();
    if (name.contains(QLatin1String("airpods"))) return QStringLiteral("earbuds");
    if (name.contains(QLatin1String("head"))) return QStringLiteral("headphones");
    if (name.contains(QLatin1String("fone"))) return QStringLiteral("headphones");
    if (name.contains(QLatin1String("macbook"))) return QStringLiteral("laptopcomputer");
    if (name.contains(QLatin1String("built"))) return QStringLiteral("laptopcomputer");
    return QStringLiteral("hifispeaker");
}

QString volumeText(float volume, bool muted, AppLanguage language)
{
    if (muted) return L10n::text(QStringLiteral("Muted"), language);
    return percentText(volume);
}

bool maximumEnabled(bool supportsVolume, float volume, bool muted)
{
    return supportsVolume && !(volume >= 0.999f && !muted);
}

bool restartShown(bool active, bool canRestart, bool restarting) { return !active && (canRestart || restarting); }

QString headphoneDetail(const HeadphoneProfile& profile, AppLanguage language)
{
    const QString source =
        profile.source == QLatin1String("import") ? L10n::text(QStringLiteral("imported"), language) : profile.source;
    return L10n::text(QStringLiteral("{0} filters · {1}"), language, QString::number(profile.filters.size()), source);
}

bool showsPreGainNote(float preampDB) { return preampDB < -0.05f; }

}  // namespace quorel::PanelFormat
