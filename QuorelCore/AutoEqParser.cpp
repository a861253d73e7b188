#include "AutoEqParser.h"

#include "AudioFailure.h"

#include <QRegularExpression>
#include <QUuid>

#include <charconv>
#include <optional>

namespace quorel {

namespace {

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x85:
    case 0x2028:
    case 0x2029: return true;
    default: return false;
    }
}

// Non-empty lines; "\r\n" splits once like any other break (the empty piece is dropped).
QStringList lines(const QString& text)
{
    QStringList result;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineBreak(text[i])) continue;
        if (i > start) result.append(text.mid(start, i - start));
        start = i + 1;
    }
    return result;
}

// Strips whitespace that is not a line break (spaces, tabs) from both ends.
QString trimmedSpaces(const QString& line)
{
    qsizetype begin = 0, end = line.size();
    while (begin < end && line[begin].isSpace() && !isLineBreak(line[begin])) ++begin;
    while (end > begin && line[end - 1].isSpace() && !isLineBreak(line[end - 1])) --end;
    return line.mid(begin, end - begin);
}

// A decimal number that the whole text spells, in the C locale; none otherwise.
std::optional<float> decimal(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    float value = 0;
    const char* end = bytes.constData() + bytes.size();
    const auto [stop, error] = std::from_chars(bytes.constData(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::optional<HeadphoneFilter::Kind> kindOfToken(const QString& token)
{
    if (token == u"PK") return HeadphoneFilter::Kind::peak;
    if (token == u"LSC" || token == u"LS") return HeadphoneFilter::Kind::lowShelf;
    if (token == u"HSC" || token == u"HS") return HeadphoneFilter::Kind::highShelf;
    return std::nullopt;
}

QString firstWord(const QString& name)
{
    const QStringList words = name.split(u' ', Qt::SkipEmptyParts);
    return words.isEmpty() ? QString() : words.first();
}

}  // namespace

HeadphoneProfile parseAutoEQ(const QString& text, const QString& name)
{
    static const QRegularExpression preampPattern(QStringLiteral(R"(^Preamp:\s*(-?[0-9.]+)\s*dB)"),
                                                  QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression filterPattern(
        QStringLiteral(R"(^Filter\s*[0-9]+:\s*(ON|OFF)\s+([A-Z]+)\s+Fc\s+([0-9.]+)\s*Hz\s+)"
                       R"(Gain\s+(-?[0-9.]+)\s*dB\s+Q\s+([0-9.]+))"),
        QRegularExpression::UseUnicodePropertiesOption);

    float preampDB = 0;
    std::vector<HeadphoneFilter> filters;
    for (const QString& rawLine : lines(text)) {
        const QString line = trimmedSpaces(rawLine);
        if (const QRegularExpressionMatch preamp = preampPattern.match(line); preamp.hasMatch()) {
            preampDB = decimal(preamp.captured(1)).value_or(0.0f);
            continue;
        }
        const QRegularExpressionMatch filter = filterPattern.match(line);
        if (!filter.hasMatch() || filter.captured(1) != u"ON") continue;
        const std::optional<HeadphoneFilter::Kind> kind = kindOfToken(filter.captured(2));
        const std::optional<float> frequency = decimal(filter.captured(3));
        const std::optional<float> gainDB = decimal(filter.captured(4));
        const std::optional<float> q = decimal(filter.captured(5));
        if (!kind || !frequency || !gainDB || !q) continue;
        filters.push_back(HeadphoneFilter{*kind, *frequency, *gainDB, *q});
    }
    if (filters.empty()) throw AudioFailure::localized(LocalizedMessage("No AutoEq filters found in this file."));

    HeadphoneProfile profile;
    profile.id = QStringLiteral("import.") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    profile.name = name.trimmed();
    profile.brand = firstWord(profile.name);
    profile.form = QStringLiteral("over-ear");
    profile.source = QStringLiteral("import");
    profile.preampDB = preampDB;
    profile.filters = std::move(filters);
    return profile.sanitized();
}

}  // namespace quorel
