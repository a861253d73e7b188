#include "StringTable.h"

#include <optional>

namespace quorel {

namespace {

// Reads one quoted string starting at `pos` (which must hold the opening quote) and moves `pos`
// past the closing quote.
std::optional<QString> readQuoted(const QString& line, qsizetype& pos)
{
    if (pos >= line.size() || line[pos] != u'"') return std::nullopt;
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == u'"') {
            ++pos;
            return out;
        }
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (++pos >= line.size()) return std::nullopt;
        switch (line[pos].unicode()) {
        case u'"': out += u'"'; break;
        case u'\\': out += u'\\'; break;
        case u'n': out += u'\n'; break;
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

void skipSpaces(const QString& line, qsizetype& pos)
{
    while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t')) ++pos;
}

}  // namespace

StringTable StringTable::parse(const QByteArray& text, QStringList* problems)
{
    StringTable table;
    const QList<QByteArray> lines = (text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text).split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const QString line = QString::fromUtf8(lines[index]).trimmed();
        if (line.isEmpty()) continue;
        const int number = int(index + 1);
        qsizetype pos = 0;
        std::optional<QString> key = readQuoted(line, pos);
        std::optional<QString> value;
        if (key) {
            skipSpaces(line, pos);
            if (pos < line.size() && line[pos] == u'=') {
                ++pos;
                skipSpaces(line, pos);
                value = readQuoted(line, pos);
            }
        }
        if (value) skipSpaces(line, pos);
        if (!value || pos + 1 != line.size() || line[pos] != u';') {
            if (problems) problems->append(QStringLiteral("line %1: not a \"key\" = \"value\"; entry").arg(number));
            continue;
        }
        table.entries_.push_back({*key, *value, number});
        table.values_.insert(*key, *value);
    }
    return table;
}

const QString* StringTable::find(const QString& key) const
{
    const auto it = values_.constFind(key);
    return it == values_.constEnd() ? nullptr : &it.value();
}

}  // namespace quorel
