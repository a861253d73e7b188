#pragma once

#include "AppLanguage.h"
#include "StringTable.h"

#include <QString>
#include <QStringList>

#include <map>

namespace quorel {

// The string tables of every language, and the rendering of a key through them.
// The tables are compiled into the program as Qt resources under ":/quorel/strings", one
// folder "<raw value>.lproj" per language holding "Localizable.strings"; they are read once,
// on first use, and never change afterwards (safe to read from any thread).
class StringTables {
public:
    static constexpr const char* resourceFolder = ":/quorel/strings";

    // The tables of the program, loaded from `resourceFolder` on first use.
    static const StringTables& shared();

    // Loads the tables found in `folder`. A missing folder is not fatal: every text falls back
    // to its English key, and one warning goes to standard error. A missing language file is
    // simply absent; malformed lines are skipped with a warning.
    static StringTables load(const QString& folder);

    const StringTable* table(AppLanguage language) const;

    // The text of `key` in `language` (then English, then the key itself), with its numbered
    // placeholders filled from `arguments` in one pass.
    QString render(const QString& key, const QStringList& arguments, AppLanguage language) const;

    // Replaces every "{n}" with n below the argument count by arguments[n], left to right, in
    // one pass: replacement texts are not scanned again; other braces stay as written.
    static QString fillPlaceholders(const QString& text, const QStringList& arguments);

private:
    std::map<AppLanguage, StringTable> tables_;
};

}  // namespace quorel
