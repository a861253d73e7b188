// Keeps the Brazilian Portuguese table complete: every literal key the code renders must be in
// it, with the same placeholders, and both tables stay parseable and sorted so that parallel
// changes merge cleanly.

#include "StringTable.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <map>

using namespace quorel;

namespace {

const QStringList scannedFolders{"QuorelLocalization", "QuorelCore", "effects", "platform", "Quorel", "tools"};

struct FoundKey {
    QString key;
    QString where;
};

QString unescapeLiteral(QStringView body)
{
    QString out;
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] != u'\\' || i + 1 == body.size()) {
            out += body[i];
            continue;
        }
        const QChar next = body[++i];
        out += next == u'n' ? QChar(u'\n') : next == u't' ? QChar(u'\t') : next;
    }
    return out;
}

// The literal first arguments of LocalizedMessage(...), LocalizedMessage{...}, a declaration
// LocalizedMessage name(...), LocalizedMessage::make(...), L10n::text(...), L10n::render(...)
// and AudioFailure::localized({...}) in C++ source text, also when wrapped in
// QStringLiteral/QString or split into adjacent literals.
QList<std::pair<QString, qsizetype>> literalKeys(const QString& source)
{
    static const QRegularExpression call(
        R"re((?:\bLocalizedMessage(?:::make|\s+\w+)?|\bL10n::(?:text|render)|\bAudioFailure::localized))re"
        R"re(\s*[({]\s*(?:\{\s*)?)re"
        R"re((?:(?:QStringLiteral|QString::fromUtf8|QString)\s*\(\s*)?)re"
        R"re(((?:(?:u8|u)?"(?:[^"\\\n]|\\.)*"\s*)+))re");
    static const QRegularExpression literal(R"re("((?:[^"\\\n]|\\.)*)")re");
    QList<std::pair<QString, qsizetype>> keys;
    for (const QRegularExpressionMatch& match : call.globalMatch(source)) {
        QString key;
        for (const QRegularExpressionMatch& part : literal.globalMatch(match.captured(1)))
            key += unescapeLiteral(part.capturedView(1));
        keys.append({key, match.capturedStart(0)});
    }
    return keys;
}

std::vector<FoundKey> keysRenderedByTheCode(int& filesScanned)
{
    std::vector<FoundKey> found;
    filesScanned = 0;
    for (const QString& folder : scannedFolders) {
        QDirIterator it(test::sourcePath(folder), {"*.cpp", "*.h", "*.hpp", "*.cc"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) continue;
            ++filesScanned;
            const QString source = QString::fromUtf8(file.readAll());
            for (const auto& [key, offset] : literalKeys(source)) {
                const int line = int(QStringView(source).left(offset).count(u'\n')) + 1;
                found.push_back({key, QString("%1:%2").arg(path.mid(test::sourcePath("").size())).arg(line)});
            }
        }
    }
    return found;
}

QSet<QString> placeholders(const QString& text)
{
    static const QRegularExpression placeholder(R"(\{[0-9]+\})");
    QSet<QString> result;
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(text)) result.insert(match.captured(0));
    return result;
}

QByteArray tableText(const QString& language)
{
    QFile file(test::sourcePath("QuorelLocalization/resources/" + language + ".lproj/Localizable.strings"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    return file.readAll();
}

}  // namespace

TEST(TranslationTable, ScannerFindsEveryCallForm)
{
    const QString source = R"(
        throw AudioFailure::localized(LocalizedMessage::make("Could not open {0}.", name));
        status = LocalizedMessage("Off. Other \"apps\" play.");
        return LocalizedMessage{QStringLiteral("Braced")};
        L10n::text(QStringLiteral("Round {0} "
                                  "of {1}"), language, a, b);
        L10n::render(u"Wide", {}, language);
        const LocalizedMessage status("Declared");
        throw AudioFailure::localized({"Braced {0}", {name}});
        LocalizedMessage(key);  // not a literal
    )";
    QStringList keys;
    for (const auto& [key, offset] : literalKeys(source)) keys.append(key);
    EXPECT_EQ(keys, (QStringList{"Could not open {0}.", "Off. Other \"apps\" play.", "Braced", "Round {0} of {1}",
                                 "Wide", "Declared", "Braced {0}"}));
}

TEST(TranslationTable, PortugueseHoldsEveryKeyTheCodeRenders)
{
    const StringTable portuguese = StringTable::parse(tableText("pt-BR"));
    int filesScanned = 0;
    const std::vector<FoundKey> found = keysRenderedByTheCode(filesScanned);
    ASSERT_GT(filesScanned, 0) << "no sources found under " << test::sourcePath("").toStdString();
    QStringList missing;
    for (const FoundKey& f : found) {
        if (!portuguese.find(f.key)) missing.append(QString("%1  (%2)").arg(f.key, f.where));
    }
    missing.removeDuplicates();
    EXPECT_TRUE(missing.isEmpty()) << "keys missing from pt-BR.lproj/Localizable.strings:\n"
                                   << missing.join("\n").toStdString();
}

TEST(TranslationTable, TranslationsKeepThePlaceholders)
{
    for (const QString& language : QStringList{"en", "pt-BR"}) {
        const StringTable table = StringTable::parse(tableText(language));
        for (const StringTable::Entry& entry : table.entries()) {
            // The English table also holds id-based keys (presets), whose texts have no placeholders.
            if (language == "en" && !entry.key.contains(u' ')) continue;
            EXPECT_EQ(placeholders(entry.value), placeholders(entry.key))
                << language.toStdString() << " line " << entry.line << ": " << entry.key.toStdString();
        }
    }
}

TEST(TranslationTable, TablesParseCleanlyAreSortedAndUnique)
{
    for (const QString& language : QStringList{"en", "pt-BR"}) {
        const QByteArray text = tableText(language);
        QStringList problems;
        const StringTable table = StringTable::parse(text, &problems);
        EXPECT_TRUE(problems.isEmpty()) << language.toStdString() << ": " << problems.join("\n").toStdString();
        // Sorted as `LC_ALL=C sort` sorts the lines, so the table can be re-sorted mechanically.
        QList<QByteArray> lines = text.split('\n');
        lines.removeAll(QByteArray());
        for (qsizetype i = 1; i < lines.size(); ++i)
            EXPECT_LT(lines[i - 1], lines[i]) << language.toStdString() << ": out of order or repeated; run "
                                              << "LC_ALL=C sort -o FILE FILE";
        QSet<QString> keys;
        for (const StringTable::Entry& entry : table.entries()) {
            EXPECT_FALSE(keys.contains(entry.key))
                << language.toStdString() << ": key twice: " << entry.key.toStdString();
            keys.insert(entry.key);
        }
    }
}
