#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QProcess;
class QTemporaryDir;

namespace quorel {

// Plays half a second of digital silence through `pw-play`, so that the system's audio path is
// running and the capture starts delivering even while no application plays. One player at a
// time; its output is discarded; every problem (no player, an unwritable folder, a failed
// launch) ends a kick quietly. Main thread.
class CapturePrimer : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::optional<QString> player;  // none: `pw-play` found on PATH
        // none: $XDG_RUNTIME_DIR, or without one a folder of our own (mode 0700) made in the
        // temporary folder
        std::optional<QString> directory;
    };

    CapturePrimer();
    explicit CapturePrimer(Options options);
    ~CapturePrimer() override;

    // The application's primer.
    static std::shared_ptr<CapturePrimer> shared();

    static constexpr const char* fileName = "quorel-silence.wav";
    static constexpr qint64 fileSize = 96044;
    // The exact bytes of the silent file: 16-bit stereo PCM at 48 kHz, 24,000 zero frames.
    static QByteArray silence();

    // Starts the player unless one runs or there is none.
    void kick();
    bool isPlaying() const { return running_ != nullptr; }
    // Calls of kick(), and players started (diagnostics and tests).
    int kicks() const { return kicks_; }
    int launches() const { return launches_; }
    // Where the silent file lives; empty when no folder of our own could be made.
    QString filePath() const;

signals:
    // A player ended (or failed to launch).
    void finished();

private:
    std::optional<QString> player() const;
    // The silent file, written when missing or of another size; none when it cannot be written.
    std::optional<QString> silentFile() const;
    // The folder of our own in the temporary folder, made on first use.
    QString privateDirectory() const;

    Options options_;
    QProcess* running_ = nullptr;
    int kicks_ = 0;
    int launches_ = 0;
    mutable std::unique_ptr<QTemporaryDir> privateDirectory_;
};

}  // namespace quorel
