#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace quorel {

// The settings store: an INI file at $XDG_CONFIG_HOME/Quorel/Quorel.conf (QSettings), keyed by
// the same dotted names as everywhere in the system. JSON values are stored as strings.
// Cheap to construct; every call opens the store afresh, so a changed XDG_CONFIG_HOME is seen.
class UserDefaults {
public:
    // The store of this user (resolves XDG_CONFIG_HOME at the moment of the call).
    static UserDefaults standard();
    // A store at an explicit file path (tests).
    explicit UserDefaults(const QString& filePath);

    QString filePath() const { return path_; }

    bool contains(const QString& key) const;
    void remove(const QString& key);

    std::optional<QString> string(const QString& key) const;  // any stored value as text
    std::optional<bool> boolean(const QString& key) const;    // only "true" / "false"
    std::optional<double> number(const QString& key) const;   // only a finite C-locale number

    // Writes go to the file at once; false when the file could not be written.
    bool setString(const QString& key, const QString& value);
    bool setBoolean(const QString& key, bool value);
    bool setNumber(const QString& key, double value);

    // Stores (with none: removes) one value of the application's current state. A value that
    // cannot be written now is kept, in this process, and written with the next write to this
    // store that succeeds, so that write stores the whole current state; each failure says so on
    // standard error. False when it could not be written now.
    bool save(const QString& key, const std::optional<QString>& value);
    // Whether saved values of this process still wait to be written.
    bool hasUnsavedChanges() const;

    void sync();

    // False when something other than a regular file stands at the path (a FIFO, a folder):
    // such a store is never opened, reads find nothing and writes fail, and standard error
    // says so once. A path that does not exist yet is usable.
    bool isUsable() const;

    // The value of `key` as its line stands in the file (after "key="), for values that
    // QSettings reads as a list or a typed value; none when there is no such line.
    std::optional<QString> rawText(const QString& key) const;

    // Keeps a stored value that could not be read under "<key>.unreadable" (then
    // "<key>.unreadable2", ... for later distinct values) and says so on standard error, so the
    // next write of `key` loses nothing.
    void setAsideUnreadable(const QString& key);

private:
    QString path_;
};

}  // namespace quorel
