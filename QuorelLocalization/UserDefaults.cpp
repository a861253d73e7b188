#include "UserDefaults.h"

#include "AtomicFile.h"
#include "StoreLeftovers.h"
#include "StoreLock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>

namespace quorel {

// Every value is written as text, so what a later process reads back (QSettings keeps no types
// in INI files) is exactly what this process sees. QSettings quotes texts holding commas, so a
// JSON value never comes back as a list.

namespace {

// Says once per process and path that the store is refused.
void reportRefused(const QString& path)
{
    static std::mutex mutex;
    static std::set<QString> reported;
    const std::lock_guard lock(mutex);
    if (!reported.insert(path).second) return;
    const QByteArray note =
        QStringLiteral("Quorel: the settings file %1 is not a regular file; it is not used.\n").arg(path).toUtf8();
    std::fputs(note.constData(), stderr);
}

// A key as it stands in the INI file, or empty when QSettings would escape any of its
// characters (our keys are dotted ASCII names, which it writes as they are).
QByteArray plainIniKey(const QString& key)
{
    QByteArray bytes;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        const bool plain = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'.'
                           || u == u'_' || u == u'-';
        if (!plain) return {};
        bytes.append(char(u));
    }
    return bytes;
}

// A value QSettings hands back as it was written: plain text, not a list or a typed variant.
bool isPlainText(const QVariant& value) { return value.typeId() == QMetaType::QString; }

// The lines of the [General] section (where keys without a slash live) as they stand in the
// file: key to the text after "=". The last line of a key wins, as in QSettings. A byte-order
// mark an editor put in front is no part of the first line.
std::map<QByteArray, QByteArray> rawLines(const QString& path)
{
    std::map<QByteArray, QByteArray> result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return result;
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    const QList<QByteArray> lines = bytes.split('\n');
    bool general = true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.startsWith('[')) {
            general = line == "[General]";
            continue;
        }
        if (!general || line.startsWith(';')) continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) continue;
        QByteArray value = line.mid(equals + 1).trimmed();
        // A line ending in a backslash goes on in the next one.
        while (value.endsWith('\\') && i + 1 < lines.size()) value += '\n' + lines[++i];
        result[line.left(equals).trimmed()] = value;
    }
    return result;
}

// Where a value of `key` is (or would be) kept aside: the first of "<key>.unreadable",
// "<key>.unreadable2", ... that is free, or none when one of them already holds `value`.
std::optional<QString> backupKeyFor(const QSettings& settings, const QString& key, const QString& value)
{
    QString backupKey = key + QStringLiteral(".unreadable");
    for (int n = 2; settings.contains(backupKey); ++n) {
        if (settings.value(backupKey).toString() == value) return std::nullopt;
        backupKey = key + QStringLiteral(".unreadable") + QString::number(n);
    }
    return backupKey;
}

void noteKeptAside(const QString& key, const QString& backupKey, bool report)
{
    if (!report) return;
    const QByteArray note = QStringLiteral("Quorel: the stored value of %1 could not be read; it is kept as %2.\n")
                                .arg(key, backupKey)
                                .toUtf8();
    std::fputs(note.constData(), stderr);
}

// QSettings writes every value of the file anew when it writes one, and a line it took for a
// list or a typed value ("@Variant(...)", "@Invalid()") comes out changed or empty. Before any
// write, the text of each such line is kept aside, and the line itself turned into that text,
// both as plain text, so no write loses it.
void keepTypedValuesAside(QSettings& settings, const QString& path, bool report)
{
    std::optional<std::map<QByteArray, QByteArray>> lines;
    for (const QString& key : settings.allKeys()) {
        if (isPlainText(settings.value(key))) continue;
        const QByteArray plain = plainIniKey(key);
        if (plain.isEmpty()) continue;
        if (!lines) lines = rawLines(path);
        const auto found = lines->find(plain);
        if (found == lines->end()) continue;
        const QString text = QString::fromUtf8(found->second);
        if (const std::optional<QString> backupKey = backupKeyFor(settings, key, text)) {
            settings.setValue(*backupKey, text);
            noteKeptAside(key, *backupKey, report);
        }
        // The value itself becomes the plain text it reads as (string() gives the same), so
        // the write keeps it as it was and it is never taken for a typed value again.
        settings.setValue(key, text);
    }
}

// The bytes of the file at `path`, or none when there is no file to read.
std::optional<QByteArray> fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

// Whether `bytes`, read as the store's INI file by a QSettings that has never seen it, hold
// every key of `settings` with the same value and nothing else.
bool holdsEverything(const QByteArray& bytes, const QSettings& settings)
{
    QTemporaryFile copy;
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush()) return false;
    copy.close();
    const QSettings written(copy.fileName(), QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    if (written.status() != QSettings::NoError || written.allKeys().size() != keys.size()) return false;
    for (const QString& key : keys)
        if (written.value(key) != settings.value(key)) return false;
    return true;
}

// Whether a QSettings that has never seen `bytes` takes them whole: it reads them without a
// format error (a line without "=", a "#" comment, a byte-order mark, a header or key cut
// short), it can read the value of every key it lists (it lists "/a" or "a//b" as they stand
// but looks up "a" and "a/b"), and what it writes back when it writes the file again holds the
// same (a key made of quotes and percent signs can come back as another). None when that
// cannot be told (no temporary file could be written).
std::optional<bool> takesWhole(const QByteArray& bytes)
{
    QTemporaryFile copy;
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush()) return std::nullopt;
    copy.close();
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    // A section's lines are read only when its keys are first asked for.
    QStringList keys = settings.allKeys();
    keys.removeAll(QString());  // "=x" is kept as it stands, and cannot be asked for
    if (settings.status() == QSettings::FormatError) return false;
    if (!std::all_of(keys.begin(), keys.end(), [&](const QString& key) { return settings.contains(key); }))
        return false;
    // Written as every write of the store does (typed values turned into their text), with one
    // more key, since only a change makes QSettings write the file again.
    keepTypedValuesAside(settings, copy.fileName(), false);
    QString probe = QStringLiteral("Quorel.WriteProbe");
    while (settings.contains(probe)) probe += QLatin1Char('_');
    settings.setValue(probe, QString());
    settings.sync();
    if (settings.status() != QSettings::NoError) return std::nullopt;
    return holdsEverything(fileBytes(copy.fileName()).value_or(QByteArray()), settings);
}

// The bytes each store was last found whole with (or written with), so that an unchanged
// store is not checked again.
std::mutex wholeMutex;
std::map<QString, QByteArray> wholeBytesByPath;

void noteWhole(const QString& path, const QByteArray& bytes)
{
    const std::lock_guard guard(wholeMutex);
    wholeBytesByPath[path] = bytes;
}

bool knownWhole(const QString& path, const QByteArray& bytes)
{
    const std::lock_guard guard(wholeMutex);
    const auto found = wholeBytesByPath.find(path);
    return found != wholeBytesByPath.end() && found->second == bytes;
}

void noteNotWritten(const QString& path)
{
    const QByteArray note =
        QStringLiteral("Quorel: the settings file %1 could not be written whole; it is kept as it was.\n")
            .arg(path)
            .toUtf8();
    std::fputs(note.constData(), stderr);
}

// One change to the store, made on `settings`, whose file is `file`; it notes on standard error
// only when `report` is set (the trial run below stays silent).
using Change = std::function<void(QSettings& settings, const QString& file, bool report)>;

// Makes `change` to the store at `path` and writes it. QSettings reports success even when its
// file could be written only part-way (a full disk, a file size limit), and then puts the cut
// file in place of the whole one. So the change is first made on a copy beside the file, and
// the store is written only when the copy came out whole; the store is then read back too, and
// when it does not hold every setting (something changed between the two) the bytes it had
// before are put back. False when the change could not be saved.
bool writeChecked(const QString& path, const Change& change)
{
    const QFileInfo info(path);
    const std::optional<QByteArray> before = fileBytes(path);
    {
        QTemporaryFile copy(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
        if (!copy.open()) return false;
        if (before && (copy.write(*before) != before->size() || !copy.flush())) {
            noteNotWritten(path);
            return false;
        }
        copy.close();
        QSettings trial(copy.fileName(), QSettings::IniFormat);
        change(trial, copy.fileName(), false);
        trial.sync();
        if (trial.status() != QSettings::NoError) return false;
        if (!holdsEverything(fileBytes(copy.fileName()).value_or(QByteArray()), trial)) {
            noteNotWritten(path);
            return false;
        }
    }

    {
        QSettings settings(path, QSettings::IniFormat);
        std::map<QString, QVariant> held;
        for (const QString& key : settings.allKeys()) held[key] = settings.value(key);
        change(settings, path, true);
        settings.sync();
        const std::optional<QByteArray> written = fileBytes(path);
        if (settings.status() == QSettings::NoError && written && holdsEverything(*written, settings)) {
            noteWhole(path, *written);
            return true;
        }
        // QSettings keeps an unwritten change in its per-process cache of the file, where every
        // later read would see it and the next successful write would store it after all: take
        // it back.
        for (const QString& key : settings.allKeys())
            if (!held.contains(key)) settings.remove(key);
        for (const auto& [key, value] : held)
            if (!settings.contains(key) || settings.value(key) != value) settings.setValue(key, value);
        settings.sync();
    }
    const std::optional<QByteArray> after = fileBytes(path);
    if (!before)
        QFile::remove(path);
    else if (after != before)
        AtomicFile::write(path, *before);
    if (after != before) noteNotWritten(path);
    return false;
}

// Whether QSettings takes the file whole: it reads it without a format error, and it reads
// every key that stands as a line of the [General] section. A damaged line (a quote whose
// escape was lost) makes it read on into the lines after it, as part of that value, without
// any error: their keys are then missing. A store that cannot be checked (no temporary file
// can be written) counts as whole: mending it could not read it either, and a write that
// follows refuses a file that does not come back whole.
bool readWhole(const QString& path)
{
    const std::optional<QByteArray> bytes = fileBytes(path);
    if (!bytes || bytes->isEmpty()) return true;
    if (knownWhole(path, *bytes)) return true;
    const std::optional<bool> takes = takesWhole(*bytes);
    if (takes == false) return false;
    const std::map<QByteArray, QByteArray> lines = rawLines(path);
    const QSettings settings(path, QSettings::IniFormat);
    for (const auto& [key, value] : lines) {
        const QString name = QString::fromLatin1(key);
        // Keys QSettings writes escaped are not compared.
        if (plainIniKey(name) != key) continue;
        if (!settings.contains(name)) return false;
    }
    if (takes) noteWhole(path, *bytes);
    return true;
}

// Every key line of the file read on its own, so a damaged one takes nothing else with it.
std::map<QString, QVariant> valuesLineByLine(const QString& path)
{
    std::map<QString, QVariant> values;
    for (const auto& [key, value] : rawLines(path)) {
        QTemporaryFile line;
        if (!line.open()) continue;
        line.write("[General]\n" + key + '=' + value + '\n');
        line.close();
        const QSettings alone(line.fileName(), QSettings::IniFormat);
        const QString name = plainIniKey(QString::fromLatin1(key)).isEmpty() ? QString() : QString::fromLatin1(key);
        const QStringList keys = alone.allKeys();
        if (!name.isEmpty() && alone.contains(name))
            values[name] = alone.value(name);
        else if (keys.size() == 1 && !keys.first().isEmpty() && alone.contains(keys.first()))
            values[keys.first()] = alone.value(keys.first());
    }
    return values;
}

// Every setting that can be read from a damaged store, each as the text it reads as: what a
// QSettings that has never seen the file reads of it (in every section), with each key line of
// the [General] section read on its own in place of what QSettings made of it. A value it takes
// for a list or a typed one is kept as its line stands in the file, as UserDefaults::string()
// reads it, so that the store written from them reads back the same.
std::map<QString, QString> readableValues(const QString& path, const QByteArray& bytes)
{
    std::map<QString, QVariant> values;
    QTemporaryFile copy;
    if (copy.open() && copy.write(bytes) == bytes.size() && copy.flush()) {
        copy.close();
        const QSettings whole(copy.fileName(), QSettings::IniFormat);
        for (const QString& key : whole.allKeys())
            if (!key.isEmpty() && whole.contains(key)) values[key] = whole.value(key);
    }
    for (const auto& [key, value] : valuesLineByLine(path)) values[key] = value;
    const std::map<QByteArray, QByteArray> lines = rawLines(path);
    std::map<QString, QString> texts;
    for (const auto& [key, value] : values) {
        const QByteArray plain = plainIniKey(key);
        const auto line = plain.isEmpty() ? lines.end() : lines.find(plain);
        if (isPlainText(value))
            texts[key] = value.toString();
        else if (line != lines.end())
            texts[key] = QString::fromUtf8(line->second);
        else if (value.typeId() == QMetaType::QStringList)
            texts[key] = value.toStringList().join(QStringLiteral(", "));
        else
            texts[key] = value.toString();
    }
    return texts;
}

// The copy of a damaged store kept beside it ("<name>.damaged-<UTC time>"): one that already
// holds these bytes (an earlier attempt to mend it that could not write the store), else a new
// one. None when it could not be written.
std::optional<QString> damagedCopy(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    const QString prefix = info.fileName() + QStringLiteral(".damaged-");
    for (const QFileInfo& kept :
         info.absoluteDir().entryInfoList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden))
        if (kept.size() == bytes.size() && fileBytes(kept.filePath()) == bytes) return kept.filePath();
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(copy); ++n) copy = path + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    if (AtomicFile::write(copy, bytes)) return std::nullopt;
    return copy;
}

// The bytes of a store holding exactly `values`, as QSettings writes them (on a new file beside
// the store), checked to read back whole; none when they could not be made.
std::optional<QByteArray> storeBytes(const QString& path, std::map<QString, QString> values)
{
    const QFileInfo info(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QTemporaryFile file(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
        if (!file.open()) return std::nullopt;
        file.close();
        QSettings settings(file.fileName(), QSettings::IniFormat);
        for (const auto& [key, value] : values) settings.setValue(key, value);
        settings.sync();
        if (settings.status() != QSettings::NoError) return std::nullopt;
        const std::optional<QByteArray> bytes = fileBytes(file.fileName());
        if (!bytes) return std::nullopt;
        if (holdsEverything(*bytes, settings)) return bytes;
        // A key QSettings cannot write so that it reads back (one made of quotes and percent
        // signs) stays only in the kept copy; the rest is written once more without it.
        QTemporaryFile copy;
        if (!copy.open() || copy.write(*bytes) != bytes->size() || !copy.flush()) return std::nullopt;
        copy.close();
        const QSettings readBack(copy.fileName(), QSettings::IniFormat);
        std::erase_if(values, [&](const auto& entry) { return readBack.value(entry.first) != entry.second; });
    }
    return std::nullopt;
}

// A store that QSettings did not read whole is never written as it read it (QSettings would
// write back only what it made of it): the whole file is first kept beside it, then replaced by
// one written anew with every setting that can be read. False when that could not be done; the
// store is then left as it is.
bool repairIfDamaged(const QString& path)
{
    if (readWhole(path)) return true;
    const std::optional<QByteArray> bytes = fileBytes(path);
    if (!bytes) return false;
    const std::optional<QString> copy = damagedCopy(path, *bytes);
    if (!copy) return false;
    const std::optional<QByteArray> mended = storeBytes(path, readableValues(path, *bytes));
    const bool written = mended && !AtomicFile::write(path, *mended);
    const QByteArray note =
        (written ? QStringLiteral("Quorel: the settings file %1 could not be read whole; it is kept "
                                  "as %2, and every setting that could be read was kept.\n")
                 : QStringLiteral("Quorel: the settings file %1 could not be read whole; it is kept "
                                  "as %2, and it was not written.\n"))
            .arg(path, *copy)
            .toUtf8();
    std::fputs(note.constData(), stderr);
    return written;
}

// Values of the application's state that could not be written yet (none: removed), per store.
using Unsaved = std::map<QString, std::optional<QString>>;
std::mutex unsavedMutex;
std::map<QString, Unsaved> unsavedByPath;

Unsaved unsaved(const QString& path)
{
    const std::lock_guard guard(unsavedMutex);
    const auto found = unsavedByPath.find(path);
    return found == unsavedByPath.end() ? Unsaved() : found->second;
}

bool update(const QString& path, const Change& change)
{
    const StoreLock lock(path);
    if (!lock.isLocked()) return false;
    StoreLeftovers::remove(path);
    if (!repairIfDamaged(path)) return false;
    // What waits to be written goes first, so the change itself (newer) wins.
    const Unsaved waiting = unsaved(path);
    const bool written = writeChecked(path, [&](QSettings& settings, const QString& file, bool report) {
        for (const auto& [key, value] : waiting) {
            if (value)
                settings.setValue(key, *value);
            else
                settings.remove(key);
        }
        change(settings, file, report);
    });
    if (written && !waiting.empty()) {
        const std::lock_guard guard(unsavedMutex);
        Unsaved& now = unsavedByPath[path];
        for (const auto& [key, value] : waiting) {
            const auto found = now.find(key);
            if (found != now.end() && found->second == value) now.erase(found);
        }
    }
    return written;
}

// Before a read: a store that was not read whole is mended first (where it can be written).
void prepareRead(const QString& path)
{
    if (readWhole(path)) return;
    const StoreLock lock(path);
    if (lock.isLocked()) repairIfDamaged(path);
}

}  // namespace

UserDefaults UserDefaults::standard()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative path here.
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return UserDefaults(base + QStringLiteral("/Quorel/Quorel.conf"));
}

UserDefaults::UserDefaults(const QString& filePath) : path_(filePath) {}

bool UserDefaults::isUsable() const
{
    // Something other than a regular file (a FIFO would block every read forever, a folder
    // can never be written) is refused before QSettings opens it.
    struct stat status {};
    if (::stat(QFile::encodeName(path_).constData(), &status) != 0) return errno == ENOENT || errno == ENOTDIR;
    if (S_ISREG(status.st_mode)) return true;
    reportRefused(path_);
    return false;
}

bool UserDefaults::contains(const QString& key) const
{
    if (!isUsable()) return false;
    prepareRead(path_);
    return QSettings(path_, QSettings::IniFormat).contains(key);
}

void UserDefaults::remove(const QString& key)
{
    if (!contains(key)) return;
    update(path_, [&](QSettings& settings, const QString& file, bool report) {
        keepTypedValuesAside(settings, file, report);
        settings.remove(key);
    });
}

std::optional<QString> UserDefaults::rawText(const QString& key) const
{
    const QByteArray wanted = plainIniKey(key);
    if (wanted.isEmpty() || !isUsable()) return std::nullopt;
    const std::map<QByteArray, QByteArray> lines = rawLines(path_);
    const auto found = lines.find(wanted);
    if (found == lines.end()) return std::nullopt;
    return QString::fromUtf8(found->second);
}

std::optional<QString> UserDefaults::string(const QString& key) const
{
    if (!isUsable()) return std::nullopt;
    prepareRead(path_);
    const QSettings settings(path_, QSettings::IniFormat);
    const QVariant value = settings.value(key);
    if (isPlainText(value)) return value.toString();
    if (!settings.contains(key)) return std::nullopt;
    // A hand-edited line with unquoted commas reads as a list, and one QSettings takes for a
    // typed value ("@Variant(...)", "@Invalid()") has no text of its own: the text is the line
    // as it stands in the file.
    if (const std::optional<QString> raw = rawText(key)) return raw;
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

std::optional<bool> UserDefaults::boolean(const QString& key) const
{
    const std::optional<QString> text = string(key);
    if (text == QStringLiteral("true")) return true;
    if (text == QStringLiteral("false")) return false;
    return std::nullopt;
}

std::optional<double> UserDefaults::number(const QString& key) const
{
    const std::optional<QString> text = string(key);
    if (!text) return std::nullopt;
    bool ok = false;
    const double value = text->trimmed().toDouble(&ok);  // QString::toDouble ignores the locale
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool UserDefaults::setString(const QString& key, const QString& value)
{
    if (!isUsable()) return false;
    return update(path_, [&](QSettings& settings, const QString& file, bool report) {
        keepTypedValuesAside(settings, file, report);
        settings.setValue(key, value);
    });
}

bool UserDefaults::setBoolean(const QString& key, bool value)
{
    return setString(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

bool UserDefaults::setNumber(const QString& key, double value)
{
    return setString(key, QString::number(value, 'g', QLocale::FloatingPointShortest));
}

void UserDefaults::setAsideUnreadable(const QString& key)
{
    if (!contains(key)) return;
    // Plain text is kept as it reads; anything else as its line stands in the file (which
    // keepTypedValuesAside does itself).
    update(path_, [&](QSettings& settings, const QString& file, bool report) {
        const QVariant stored = settings.value(key);
        if (!isPlainText(stored)) {
            keepTypedValuesAside(settings, file, report);
            return;
        }
        if (const std::optional<QString> backupKey = backupKeyFor(settings, key, stored.toString())) {
            keepTypedValuesAside(settings, file, report);
            settings.setValue(*backupKey, stored.toString());
            noteKeptAside(key, *backupKey, report);
        }
    });
}

bool UserDefaults::save(const QString& key, const std::optional<QString>& value)
{
    {
        const std::lock_guard guard(unsavedMutex);
        unsavedByPath[path_][key] = value;
    }
    bool written = false;
    if (isUsable()) {
        written = update(path_, [&](QSettings& settings, const QString& file, bool report) {
            keepTypedValuesAside(settings, file, report);
        });
    }
    if (!written) {
        const QByteArray note = QStringLiteral("Quorel: Could not save the settings file %1.\n").arg(path_).toUtf8();
        std::fputs(note.constData(), stderr);
    }
    return written;
}

bool UserDefaults::hasUnsavedChanges() const { return !unsaved(path_).empty(); }

void UserDefaults::sync()
{
    if (isUsable()) QSettings(path_, QSettings::IniFormat).sync();
}

}  // namespace quorel
