#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace quorel::test {

// A private PipeWire server (scripts/pipewire-headless) for end-to-end tests: started in the
// constructor, its environment exported into this process, stopped by pid in the destructor,
// which gives the environment back as it was. So a test may run one of its own inside a server
// that its whole executable shares, and the next test finds the shared one again.
// The stand-in speaker is "test_speakers", the default sink.
class HeadlessServer {
public:
    explicit HeadlessServer(int quantum = 1024);
    ~HeadlessServer();
    HeadlessServer(const HeadlessServer&) = delete;
    HeadlessServer& operator=(const HeadlessServer&) = delete;

    bool isRunning() const { return !directory_.isEmpty(); }
    QString directory() const { return directory_; }
    QString error() const { return error_; }

    // Stops the server early (tests of a missing server).
    void stop();

    // The pid of the session manager (WirePlumber) of the server this process uses, 0 when none
    // is known; tests stop it (SIGSTOP) to see a server that does not answer.
    static qint64 sessionManagerPid();
    // The pid of the newest process of the server by its command name ("pipewire"), 0 when none.
    static qint64 processPid(const QString& command);
    // Starts a program in the server's environment (output in its logs folder); the server's stop
    // ends it with the rest. Returns its pid, 0 when it could not start.
    static qint64 startProcess(const QString& program);
    // Starts the server's daemons again as systemd's units do after PipeWire's daemon went away
    // (a crash takes WirePlumber and pipewire-pulse, its clients, with it): what is left of them
    // is ended, then PipeWire, WirePlumber and pipewire-pulse start, the quantum is forced again
    // as at the start, and it returns true once the pulse layer answers. The stand-in speaker,
    // made by hand at the start, does not come back; a speaker the session manager makes does.
    static bool restartDaemons(int quantum = 1024);
    // After a crash of the daemon: restartDaemons(), then the stand-in speaker made again (as a
    // sound card comes back when the server starts); true once the pulse layer lists it.
    static bool startAgainWithTheSpeaker(int quantum = 1024);

private:
    QString directory_;
    // The variables exported, with what they held before (none: unset).
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> previous_;
    QString error_;
};

// PipeWire 0.3.65's own daemon crashes now and then while links come and go on a loaded machine
// (SIGSEGV on its data thread: in the port mixer of libspa-audiomixer, on a buffer a link just
// gave back, or in do_activate_link, on a link whose port is gone), and every client goes with
// it: the players, WirePlumber, pipewire-pulse and Quorel's connection. On a desktop systemd
// starts the server again (its units restart on failure), and what the user needs is Quorel
// processing again by itself. Watches the daemon of the server this process uses from its
// making on: crashed() once that daemon is gone (a test that stops the server itself knows).
class DaemonWatch {
public:
    DaemonWatch() : pid_(HeadlessServer::processPid("pipewire")) {}
    bool crashed() const;

private:
    qint64 pid_;
};

// Runs a command in the environment of the server this process uses (pactl, pw-cli, ...) and
// returns its standard output (trimmed); `ok` tells whether it exited with status 0 within
// `timeoutMS` (scaled: TestSupport.h). The one runner of the end-to-end suites.
QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr, int timeoutMS = 10000);

}  // namespace quorel::test
