#include "ProductInfo.h"

#include <limits>

namespace quorel::ProductInfo {

namespace {

QString site()
{
    QString text = QStringLiteral(QUOREL_WEBSITE);
    while (text.endsWith(QLatin1Char('/'))) text.chop(1);
    return text;
}

}  // namespace

QUrl websiteURL()
{
    static const QUrl url(site() + QLatin1Char('/'));
    return url;
}

QUrl privacyURL()
{
    static const QUrl url(site() + QStringLiteral("/privacidade"));
    return url;
}

QUrl updateManifestURL()
{
    static const QUrl url(site() + QStringLiteral("/updates/appcast.json"));
    return url;
}

QString version()
{
    const QString text = QStringLiteral(QUOREL_VERSION);
    return text.isEmpty() ? QStringLiteral("dev") : text;
}

qint64 build() { return buildNumber(QStringLiteral(QUOREL_BUILD_NUMBER)); }

qint64 buildNumber(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i == text.size()) return 0;
    // Accumulate towards the negative side, which holds one value more than the positive one.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return 0;
        const int digit = c - u'0';
        if (value < (lowest + digit) / 10) return 0;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == lowest) return 0;
        value = -value;
    }
    return value;
}

}  // namespace quorel::ProductInfo
