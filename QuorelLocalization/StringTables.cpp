#include "StringTables.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace quorel {

namespace {

void warn(const QString& text)
{
    const QByteArray bytes = QStringLiteral("Quorel: %1\n").arg(text).toUtf8();
    std::fputs(bytes.constData(), stderr);
}

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

}  // namespace

const StringTables& StringTables::shared()
{
    static const StringTables tables = load(QString::fromLatin1(resourceFolder));
    return tables;
}

StringTables StringTables::load(const QString& folder)
{
    StringTables result;
    if (!QDir(folder).exists()) {
        warn(QStringLiteral("the string tables are missing (%1); texts are shown in English.").arg(folder));
        return result;
    }
    for (AppLanguage language : appLanguage::allCases) {
        const QString path =
            folder + u'/' + appLanguage::rawValue(language) + QStringLiteral(".lproj/Localizable.strings");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        QStringList problems;
        result.tables_.emplace(language, StringTable::parse(file.readAll(), &problems));
        for (const QString& problem : problems) warn(path + QStringLiteral(", ") + problem);
    }
    return result;
}

const StringTable* StringTables::table(AppLanguage language) const
{
    const auto it = tables_.find(language);
    return it == tables_.end() ? nullptr : &it->second;
}

QString StringTables::render(const QString& key, const QStringList& arguments, AppLanguage language) const
{
    QString text = key;
    if (const StringTable* english = table(AppLanguage::english)) {
        if (const QString* found = english->find(key)) text = *found;
    }
    if (const StringTable* own = table(language)) {
        if (const QString* found = own->find(key)) text = *found;
    }
    if (arguments.isEmpty()) return text;
    return fillPlaceholders(text, arguments);
}

QString StringTables::fillPlaceholders(const QString& text, const QStringList& arguments)
{
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(u'{', pos);
        if (open < 0) break;
        qsizetype end = open + 1;
        while (end < text.size() && isAsciiDigit(text[end])) ++end;
        out += QStringView(text).mid(pos, open - pos);
        if (end == open + 1 || end >= text.size() || text[end] != u'}') {
            // Not a placeholder: keep the brace and scan on from the next character.
            out += u'{';
            pos = open + 1;
            continue;
        }
        bool fits = false;
        const qlonglong n = QStringView(text).mid(open + 1, end - open - 1).toLongLong(&fits);
        if (fits && n < arguments.size()) {
            // A reason that is a sentence of its own, placed in parentheses, gives up its full
            // stop there: "(systemctl did not finish within 30 s)." never "(... 30 s.).".
            QStringView argument = arguments[qsizetype(n)];
            if (end + 1 < text.size() && text[end + 1] == u')' && argument.endsWith(u'.')
                && !argument.endsWith(u"..")) {
                argument.chop(1);
            }
            out += argument;
        } else {
            out += QStringView(text).mid(open, end + 1 - open);
        }
        pos = end + 1;
    }
    out += QStringView(text).mid(pos);
    return out;
}

}  // namespace quorel
