#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace quorel {

// One language's texts keyed by their English wording, as kept in a Localizable.strings file:
// one entry per line, `"key" = "value";`, with the escapes \" \\ and \n, blank lines ignored.
class StringTable {
public:
    struct Entry {
        QString key;
        QString value;
        int line;
    };

    // Reads every well-formed line; each malformed line is skipped and described in `problems`.
    static StringTable parse(const QByteArray& text, QStringList* problems = nullptr);

    // The value stored for `key`, or nullptr.
    const QString* find(const QString& key) const;
    // The entries in file order (duplicates included, for checks of the table itself).
    const std::vector<Entry>& entries() const { return entries_; }

private:
    std::vector<Entry> entries_;
    QHash<QString, QString> values_;
};

}  // namespace quorel
