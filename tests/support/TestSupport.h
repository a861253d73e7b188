#pragma once

#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace quorel::test {

// Points the settings store (and every other XDG path the code reads) at a fresh temporary
// folder for the lifetime of the object, so tests never touch the user's configuration.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    QString path() const { return dir_.path(); }
    QString configHome() const;

private:
    QTemporaryDir dir_;
    QByteArray previousConfig_;
    QByteArray previousState_;
    bool hadConfig_ = false;
    bool hadState_ = false;
};

// Sets the process locale (LC_ALL) for the lifetime of the object and restores the previous
// one afterwards. Check active(): a locale that is not installed leaves the process unchanged.
class ProcessLocale {
public:
    explicit ProcessLocale(const char* name);
    ~ProcessLocale();
    ProcessLocale(const ProcessLocale&) = delete;
    ProcessLocale& operator=(const ProcessLocale&) = delete;

    bool active() const { return active_; }

private:
    QByteArray previous_;
    bool active_ = false;
};

// The bytes of the file at `path`; empty when it cannot be read.
QByteArray fileBytes(const QString& path);
// All the bytes of an open file, read from its start.
QByteArray fileBytes(std::FILE* file);

// Sets (or clears) the immutable attribute of a file or folder with chattr: then nobody, root
// included, can change it. False where the file system or the user does not allow it.
bool setImmutable(const QString& path, bool immutable);

// A time-out of `ms` as this build needs it: the ThreadSanitizer build's code, and the children
// it starts, run several times slower, so there every wait for something that must come is
// longer by the factor tests/CMakeLists.txt sets. The one place the waits scale.
constexpr int scaledWait(int ms) { return ms * QUOREL_TEST_WAIT_SCALE; }

// Checks `done` until it holds or `timeoutMS` (scaled) passed, running this thread's event loop
// (where it has one) in between; gives `done()`. Generous by default: a loaded machine is slow.
bool waitUntil(const std::function<bool()>& done, int timeoutMS = 20000);

// Runs this thread's event loop for about `ms` (to let events that must not come have their chance).
void processEventsFor(int ms);

// Runs `body` in a forked child whose files may grow to at most `bytes` (RLIMIT_FSIZE, with
// SIGXFSZ ignored, so an over-long write fails with EFBIG part-way instead of killing the
// child) and gives the exit code it returned; -1 when the child could not run or crashed.
int exitCodeWithFileSizeLimit(long bytes, const std::function<int()>& body);

// Runs `body` in a forked child and gives the exit code it returned; -1 when the child crashed
// or was still running after `seconds` (it is then killed), so a body that would wait for ever
// fails the test instead of hanging it.
int exitCodeWithin(int seconds, const std::function<int()>& body);

// Absolute path of a file under tests/data.
QString testDataPath(const QString& relative);

// Absolute path of a file in the source tree.
QString sourcePath(const QString& relative);

// Absolute path of a file in the build tree (the tool, the probes, snapshots/).
QString buildPath(const QString& relative);

}  // namespace quorel::test
