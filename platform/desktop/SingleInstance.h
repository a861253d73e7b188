#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace quorel {

// One running Quorel per session. The first instance owns "app.quorel.Quorel" on the session
// bus and serves org.freedesktop.Application at /app/quorel/Quorel; a later launch hands its
// URLs and files to it and exits. Without a session bus every launch runs alone.
//
//     SingleInstance instance;
//     switch (instance.claim()) {
//     case SingleInstance::Role::Secondary:
//         return instance.handOff(SingleInstance::urisFromArguments(files)) ? 0 : 1;
//     case SingleInstance::Role::Primary:   // connect openRequested / activateRequested
//     case SingleInstance::Role::Alone:     // run without hand-off
//         ...
//     }
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char* serviceName = "app.quorel.Quorel";
    static constexpr const char* objectPath = "/app/quorel/Quorel";
    static constexpr int defaultHandOffTimeoutMS = 5000;
    // At most this many URIs of one Open are handled (each may change and store the settings):
    // a call asking for more cannot hold the window up for seconds.
    static constexpr int maximumOpenedURIs = 64;

    enum class Role {
        Undecided,  // claim() not called yet
        Primary,    // we own the name and serve Open/Activate
        Secondary,  // another instance owns it: hand off and exit
        Alone,      // no session bus (one warning logged): run without single-instance
    };

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Tries to become the instance of this session; asks the bus once and remembers the answer.
    Role claim();
    Role role() const { return role_; }

    // Secondary: calls Open with `uris` on the running instance, or Activate when there are none,
    // and waits at most `timeoutMS` for the answer. False (with errorMessage() set, an English
    // detail for the log) when no answer came or the call failed.
    bool handOff(const QStringList& uris, int timeoutMS = defaultHandOffTimeoutMS);
    QString errorMessage() const { return error_; }

    // The URIs for command-line arguments (options already removed): a URL ("quorel://on",
    // "file:///x.json") stays as given; a path becomes a file URL, a relative one resolved
    // against `workingFolder` (the caller's own).
    static QStringList urisFromArguments(const QStringList& arguments, const QString& workingFolder);

    // Called by the D-Bus adaptor (and usable directly): emit the signals below. Of more than
    // maximumOpenedURIs URIs only the first are handed on; standard error says so.
    void open(const QStringList& uris, const QVariantMap& platformData);
    void activate(const QVariantMap& platformData);

signals:
    // Another launch handed these URIs over (as sent; the receiver checks them).
    void openRequested(const QStringList& uris);
    // Another launch had nothing to open: bring the application forward.
    void activateRequested();

private:
    QDBusConnection bus_;
    Role role_ = Role::Undecided;
    bool objectRegistered_ = false;
    QString error_;
};

}  // namespace quorel
