#include "L10n.h"

#include "StringTables.h"
#include "UserDefaults.h"

#include <algorithm>
#include <charconv>

namespace quorel::L10n {

AppLanguage language() { return appLanguage::saved(UserDefaults::standard()); }

QString render(const QString& key, const QStringList& arguments, AppLanguage language)
{
    return StringTables::shared().render(key, arguments, language);
}

QString number(float value, int digits, AppLanguage language)
{
    // std::to_chars never consults the locale: it writes what "%.*f" writes in the C locale.
    // A negative precision means six digits, as in printf; more than 100 is not formatted.
    const int precision = digits < 0 ? 6 : std::min(digits, 100);
    char buffer[512];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, double(value), std::chars_format::fixed, precision);
    if (error != std::errc()) return QString();
    QString text = QString::fromLatin1(buffer, end - buffer);
    // A value that rounds to zero reads "0.0", never "-0.0": a negative zero or a small negative
    // number has nothing to show a sign for.
    if (text.startsWith(u'-') && text.size() > 1 && text.at(1).isDigit()
        && std::all_of(text.cbegin() + 1, text.cend(), [](QChar c) { return c == u'0' || c == u'.'; }))
        text.remove(0, 1);
    if (language == AppLanguage::portuguese) text.replace(u'.', u',');
    return text;
}

}  // namespace quorel::L10n
