#include "UpdateChecker.h"

#include "FeedSignature.h"
#include "ProductInfo.h"
#include "UpdateFeedError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QVariant>

#include <limits>

namespace quorel {

namespace {

[[noreturn]] void refuse(UpdateFeedError::Code code) { throw UpdateFeedError::make(code); }

QString isoText(const QDateTime& date) { return date.toUTC().toString(Qt::ISODateWithMs); }

}  // namespace

UpdateChecker::UpdateChecker(QObject* parent) : UpdateChecker(Options{}, parent) {}

UpdateChecker::UpdateChecker(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)),
      store_(options_.store ? *options_.store : UserDefaults::standard()),
      clock_(options_.clock ? options_.clock : Clock::system())
{
    if (options_.feedURL.isEmpty()) options_.feedURL = ProductInfo::updateManifestURL();
    automatic_ = store_.boolean(QLatin1String(automaticKey)).value_or(true);
    timer_ = clock_->schedule(
        timerInterval, [this] { checkIfDue(); }, true);
}

UpdateChecker::~UpdateChecker()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void UpdateChecker::clearAvailable()
{
    if (!available_) return;
    available_.reset();
    emit availableChanged();
}

void UpdateChecker::clearLocalizedMessage()
{
    if (!localizedMessage_) return;
    localizedMessage_.reset();
    emit localizedMessageChanged();
}

void UpdateChecker::setAutomatic(bool automatic)
{
    const bool changed = automatic != automatic_;
    automatic_ = automatic;
    if (!store_.setBoolean(QLatin1String(automaticKey), automatic)) saveFailed();
    if (changed) emit automaticChanged();
}

void UpdateChecker::setChecking(bool checking)
{
    if (checking == checking_) return;
    checking_ = checking;
    emit checkingChanged();
}

void UpdateChecker::setMessage(const LocalizedMessage& message)
{
    localizedMessage_ = message;
    emit localizedMessageChanged();
}

void UpdateChecker::saveFailed()
{
    setMessage(LocalizedMessage::make("Could not save the settings file {0}.", store_.filePath()));
}

std::optional<QDateTime> UpdateChecker::lastCheck() const
{
    const std::optional<QString> text = store_.string(QLatin1String(lastCheckKey));
    if (!text) return std::nullopt;
    const QDateTime date = QDateTime::fromString(*text, Qt::ISODateWithMs);
    // Only a date with its zone (Z or an offset) says which moment it was.
    if (!date.isValid() || date.timeSpec() == Qt::LocalTime) return std::nullopt;
    return date;
}

void UpdateChecker::checkIfDue()
{
    if (!automatic_) return;
    std::optional<QDateTime> last = lastCheck();
    if (unsavedLastCheck_ && (!last || *unsavedLastCheck_ > *last)) last = unsavedLastCheck_;
    // A date in the future gives a negative elapsed time: nothing is due until a day after it.
    const double elapsed =
        last ? double(last->msecsTo(clock_->currentDateTime())) / 1000.0 : std::numeric_limits<double>::infinity();
    if (elapsed > checkInterval) check(false);
}

void UpdateChecker::check(bool manual)
{
    if (checking_) return;
    setChecking(true);
    manual_ = manual;

    // The date is written before the request leaves, whatever the outcome.
    const QDateTime now = clock_->currentDateTime();
    if (store_.setString(QLatin1String(lastCheckKey), isoText(now))) {
        unsavedLastCheck_.reset();
    } else {
        unsavedLastCheck_ = now;
        saveFailed();
    }

    if (!network_) network_ = new QNetworkAccessManager(this);
    QNetworkRequest request(options_.feedURL);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(options_.transferTimeoutMs);
    body_.clear();
    refused_ = false;
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, &UpdateChecker::readBody);
    connect(reply_, &QNetworkReply::finished, this, &UpdateChecker::finish);
    // The transfer time-out counts only idle time: a server sending a byte now and then would
    // hold the check open for ever, and every later check with it. The whole check is bounded
    // too; the abort ends it as a time-out. The timer goes with the reply.
    QTimer::singleShot(options_.checkTimeoutMs, reply_, [reply = reply_] { reply->abort(); });
}

void UpdateChecker::readBody()
{
    if (!reply_ || refused_) return;
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int code = status.isValid() ? status.toInt() : 200;
    if (code != 200 && (code < 300 || code > 399)) {
        // The body of a refused response is not read (a redirection is followed, not refused).
        refused_ = true;
        reply_->abort();
        return;
    }
    if (code != 200) {
        reply_->readAll();  // a redirection's own body is not the feed
        return;
    }
    body_ += reply_->read(maximumFeedSize + 1 - body_.size());
    if (body_.size() > maximumFeedSize) {
        refused_ = true;
        reply_->abort();
    }
}

void UpdateChecker::finish()
{
    QNetworkReply* reply = reply_;
    if (!reply) return;
    reply_ = nullptr;
    reply->disconnect(this);
    reply->deleteLater();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    try {
        if (refused_ || (status.isValid() && status.toInt() != 200)) refuse(UpdateFeedError::Code::badServerResponse);
        if (error == QNetworkReply::OperationCanceledError) throw UpdateFeedError::timedOut();
        if (error != QNetworkReply::NoError) throw UpdateFeedError::transport(reply->errorString());
        if (!status.isValid()) refuse(UpdateFeedError::Code::badServerResponse);
        body_ += reply->read(maximumFeedSize + 1 - body_.size());
        if (body_.size() > maximumFeedSize) refuse(UpdateFeedError::Code::badServerResponse);
        const Release release = options_.publicKey ? parse(body_, *options_.publicKey) : parse(body_);
        body_.clear();
        conclude(manual_, release, nullptr);
    } catch (const std::exception& failure) {
        body_.clear();
        conclude(manual_, std::nullopt, &failure);
    }
}

void UpdateChecker::conclude(bool manual, const std::optional<Release>& release, const std::exception* error)
{
    if (release) {
        if (ProductInfo::build() >= release->build) {
            if (manual)
                setMessage(
                    LocalizedMessage::make("You already have the latest version ({0}).", ProductInfo::version()));
        } else {
            available_ = release;
            emit availableChanged();
        }
    } else if (error && manual) {
        setMessage(
            LocalizedMessage::make("Could not check for updates: {0}", LocalizedMessage::fromError(*error).text()));
    }
    setChecking(false);
}

QString UpdateChecker::builtInPublicKey() { return QStringLiteral(QUOREL_FEED_PUBLIC_KEY); }

UpdateChecker::Release UpdateChecker::parse(const QByteArray& bytes) { return parse(bytes, builtInPublicKey()); }

UpdateChecker::Release UpdateChecker::parse(const QByteArray& bytes, const QString& publicKeyBase64)
{
    using Code = UpdateFeedError::Code;
    QJsonParseError readError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &readError);
    if (readError.error != QJsonParseError::NoError) throw UpdateFeedError::notJSON(readError.errorString());
    if (!document.isObject()) refuse(Code::cannotParseResponse);
    QJsonObject object = document.object();
    const QJsonValue signatureValue = object.value(QStringLiteral("signature"));
    if (!signatureValue.isString()) refuse(Code::cannotParseResponse);
    const std::optional<QByteArray> signature = FeedSignature::decodeSignature(signatureValue.toString());
    if (!signature) refuse(Code::cannotParseResponse);

    object.remove(QStringLiteral("signature"));
    const QByteArray message = FeedSignature::canonicalBytes(object);

    const std::optional<QByteArray> key = FeedSignature::decodePublicKey(publicKeyBase64);
    if (!key || !FeedSignature::isUsablePublicKey(*key)) refuse(Code::secureConnectionFailed);
    if (!FeedSignature::verify(*key, *signature, message)) refuse(Code::secureConnectionFailed);

    Release release;
    const QJsonValue product = object.value(QStringLiteral("product"));
    if (!product.isString() || product.toString() != QStringLiteral("corvanta")) refuse(Code::cannotParseResponse);
    const QJsonValue version = object.value(QStringLiteral("version"));
    if (!version.isString()) refuse(Code::cannotParseResponse);
    release.version = version.toString();
    // Only a JSON integer (no fraction, no exponent, within 64 bits) is a build number.
    const QJsonValue build = object.value(QStringLiteral("build"));
    if (!build.isDouble() || build.toVariant().userType() != QMetaType::LongLong) refuse(Code::cannotParseResponse);
    release.build = build.toInteger();
    const QJsonValue url = object.value(QStringLiteral("url"));
    if (!url.isString()) refuse(Code::cannotParseResponse);
    const QString urlText = url.toString();
    const QUrl address(urlText, QUrl::StrictMode);
    // The scheme is compared as written: QUrl lower-cases it.
    if (!address.isValid() || address.isRelative() || !urlText.startsWith(QStringLiteral("https:"))
        || address.host().isEmpty())
        refuse(Code::cannotParseResponse);
    release.url = address;
    const QJsonValue notes = object.value(QStringLiteral("notes"));
    release.notes = notes.isString() ? notes.toString() : QString();
    const QJsonValue minimum = object.value(QStringLiteral("minimumSystemVersion"));
    release.minimumSystemVersion = minimum.isString() ? minimum.toString() : QStringLiteral("14.2");
    return release;
}

}  // namespace quorel
