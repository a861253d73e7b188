#pragma once

#include "Clock.h"
#include "LocalizedMessage.h"
#include "UserDefaults.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace quorel {

// Tells the user when a newer build exists: fetches the signed update feed from the product's
// web site, verifies its Ed25519 signature with the built-in public key, and compares the feed's
// build with the running one. Automatic checks run at most once a day (an hourly timer and the
// start-up task call checkIfDue()); manual checks also publish their outcome as a message.
// Main thread only; one exists per process, owned by the root model.
class UpdateChecker : public QObject {
    Q_OBJECT
public:
    // One release named by the feed.
    struct Release {
        QString version;
        qint64 build = 0;
        QUrl url;                                               // always an https address
        QString notes;                                          // empty when the feed has none
        QString minimumSystemVersion = QStringLiteral("14.2");  // carried, not evaluated
        bool operator==(const Release&) const = default;
    };

    struct Options {
        std::shared_ptr<Clock> clock;       // none: Clock::system()
        std::optional<UserDefaults> store;  // none: UserDefaults::standard()
        int transferTimeoutMs = 15000;      // a transfer idle this long fails
        int checkTimeoutMs = 30000;         // a check still running this long fails
        QUrl feedURL;                       // empty: ProductInfo::updateManifestURL()
        std::optional<QString> publicKey;   // Base64 raw Ed25519 key; none: the built-in key
    };

    static constexpr const char* automaticKey = "Corvanta.Updates.Automatic";
    static constexpr const char* lastCheckKey = "Corvanta.Updates.LastCheck";
    static constexpr double checkInterval = 86400;  // seconds between automatic checks
    static constexpr double timerInterval = 3600;   // seconds between checkIfDue() ticks
    static constexpr qint64 maximumFeedSize = 1024 * 1024;

    explicit UpdateChecker(QObject* parent = nullptr);
    explicit UpdateChecker(Options options, QObject* parent = nullptr);
    ~UpdateChecker() override;

    // The release of the last check that saw a higher build; the window clears it.
    const std::optional<Release>& available() const { return available_; }
    void clearAvailable();
    // The outcome of the last manual check that found nothing newer (or a failed settings
    // write); the window clears it.
    const std::optional<LocalizedMessage>& localizedMessage() const { return localizedMessage_; }
    void clearLocalizedMessage();
    // True from the start of a check until its outcome is published.
    bool checking() const { return checking_; }

    // Automatic checks on or off; every assignment is stored. Switching on starts no check.
    bool automatic() const { return automatic_; }
    void setAutomatic(bool automatic);

    // Starts an automatic check when automatic checks are on and the last check lies more than
    // a day back. Writes nothing itself.
    void checkIfDue();
    // Starts a check (manual: started by the user) unless one runs; returns at once. The
    // outcome arrives on the main thread: `checking` becomes false after it is published.
    void check(bool manual);

    // The last check's date as stored (ISO 8601 UTC text); none when absent or unreadable.
    std::optional<QDateTime> lastCheck() const;

    // Verifies one feed document and reads its release. Throws UpdateFeedError.
    static Release parse(const QByteArray& bytes);
    static Release parse(const QByteArray& bytes, const QString& publicKeyBase64);
    // The key built into this program (QUOREL_FEED_PUBLIC_KEY).
    static QString builtInPublicKey();

signals:
    void availableChanged();
    void localizedMessageChanged();
    void checkingChanged();
    void automaticChanged();

private:
    void setChecking(bool checking);
    void setMessage(const LocalizedMessage& message);
    void saveFailed();
    void readBody();
    void finish();
    void conclude(bool manual, const std::optional<Release>& release, const std::exception* error);

    Options options_;
    UserDefaults store_;
    std::shared_ptr<Clock> clock_;
    std::optional<Release> available_;
    std::optional<LocalizedMessage> localizedMessage_;
    bool checking_ = false;
    bool automatic_ = true;
    std::unique_ptr<ClockTimer> timer_;

    // The check in flight.
    QNetworkAccessManager* network_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    QByteArray body_;
    bool manual_ = false;
    bool refused_ = false;  // we stopped the transfer: a status other than 200 or too large a body
    // The date of a check whose write to the store failed, so a broken store cannot make every
    // hourly tick check again.
    std::optional<QDateTime> unsavedLastCheck_;
};

}  // namespace quorel
